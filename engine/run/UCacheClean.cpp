// UCacheClean: the cache's copies matched against the journals of the game
// folders they served.
#include "engine/run/UCacheClean.h"

#include <algorithm>
#include <ctime>

#include "common/PathText.h"
#include "common/VeyException.h"
#include "engine/run/URunHistory.h"

namespace vey {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kRecentSeconds = 3600;

// True when a path of the journal lies in the copy named sha (its folder in
// any cache: the cache may have moved since).
bool InCopy(const std::string& path, const std::string& sha) {
  for (const auto& part : fs::path(path))
    if (part.string() == sha) return true;
  return false;
}

bool Names(const std::string& game, const std::string& sha) {
  std::error_code ec;
  if (!fs::is_directory(game, ec)) return false;
  try {
    for (const platform::RunRecord& run : TRunHistory(game).Runs())
      if (!run.undone && InCopy(run.modFolder, sha)) return true;
    return false;
  } catch (const Exception&) {
    // A journal that cannot be read may still need the copy.
    return true;
  }
}

}  // namespace

TCacheSurvey SurveyModCache(const fs::path& home) {
  TCacheSurvey survey;
  survey.home = home;
  const platform::ModCache cache(home);
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  for (platform::CacheEntry& entry : cache.Entries()) {
    TCacheCopy copy;
    copy.entry = std::move(entry);
    for (const std::string& game : copy.entry.games)
      if (Names(game, copy.entry.sha256)) copy.namedBy.push_back(game);
    copy.recent = now - copy.entry.lastUse < kRecentSeconds;
    copy.unrecorded = copy.entry.games.empty() && copy.entry.archiveName.empty();
    survey.copies.push_back(std::move(copy));
  }
  std::stable_sort(survey.copies.begin(), survey.copies.end(),
                   [](const TCacheCopy& a, const TCacheCopy& b) { return a.entry.lastUse > b.entry.lastUse; });
  return survey;
}

std::string WhyKept(const TCacheCopy& copy, bool all) {
  if (!copy.namedBy.empty()) return "installed in " + PathText(copy.namedBy.front()) +
                                    (copy.namedBy.size() > 1 ? " and " + std::to_string(copy.namedBy.size() - 1) +
                                                                   " more game folder(s)"
                                                             : std::string());
  if (copy.recent) return "used within the last hour";
  if (copy.unrecorded && !all) return "unpacked by an earlier version, which kept no note of the game folders it served";
  return {};
}

TCacheClean CleanModCache(const fs::path& home, bool dryRun, bool all) {
  TCacheClean result;
  const platform::ModCache cache(home);
  if (!dryRun) cache.RemoveLeftovers();
  for (TCacheCopy& copy : SurveyModCache(home).copies) {
    if (!WhyKept(copy, all).empty()) {
      result.kept.push_back(std::move(copy));
      continue;
    }
    if (!dryRun) cache.Remove(copy.entry.sha256);
    result.freed += copy.entry.bytes;
    result.removed.push_back(std::move(copy));
  }
  return result;
}

}  // namespace vey
