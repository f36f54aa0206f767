// UModIdentity: the installed mods read from the journal.
#include "engine/support/UModIdentity.h"

#include <algorithm>

#include "common/Win1252.h"

namespace vey {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kCopyPrefix = "copy ";

// The same mod by what it is called: a list entry by its name (a copy's run
// carries it as its caption), a mod on its own by its instruction file and
// caption.
bool SameMod(const TInstalledRun& run, const TModVersion& mod) {
  if (run.copy != mod.copy) return false;
  if (!mod.entry.empty()) return run.entry == mod.entry;
  if (mod.caption.empty() || mod.caption == kDefaultCaption) return false;
  return run.run.caption == mod.caption && EqualsNoCase(RunIniFile(run.run), mod.iniFile);
}

}  // namespace

std::string RunIniFile(const platform::RunRecord& run) {
  if (run.instructionFile.starts_with(kCopyPrefix)) return run.instructionFile;
  return fs::path(run.instructionFile).filename().string();
}

std::vector<TInstalledRun> InstalledRuns(const fs::path& gameFolder) {
  std::vector<TInstalledRun> installed;
  const fs::path runs = platform::JournalHome(gameFolder) / "runs";
  for (platform::RunRecord& run : platform::ListRuns(gameFolder, platform::RunDetail::Header)) {
    if (!run.Finished() || run.undone || run.verdict == "failed") continue;
    TInstalledRun r;
    r.copy = run.instructionFile.starts_with(kCopyPrefix);
    if (r.copy) {
      r.entry = run.caption;
    } else {
      std::string problem;
      r.source = ReadRunSource(runs / run.id, problem);
      if (r.source) r.entry = r.source->entry;
    }
    r.run = std::move(run);
    installed.push_back(std::move(r));
  }
  return installed;
}

bool SameVersion(const TInstalledRun& run, const TModVersion& mod) {
  if (run.copy != mod.copy) return false;
  const std::string& recorded = run.run.instructionSha256;
  if (mod.copy)
    return mod.digests.Matches(recorded) ||
           std::find(mod.olderDigests.begin(), mod.olderDigests.end(), recorded) != mod.olderDigests.end();
  if (recorded != mod.instructionSha256 || run.run.installationType != mod.installationType) return false;
  // A run recorded before its mod's files were digested is compared as it
  // was then: by its instructions alone.
  if (!run.source || run.source->digest.empty()) return true;
  return mod.digests.Matches(run.source->digest);
}

namespace {

bool LooksLikeDigest(std::string_view name) {
  return name.size() >= 32 && name.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

}  // namespace

std::string RunName(const platform::RunRecord& run, const std::optional<TRunSource>& source) {
  if (source && !source->entry.empty()) return source->entry;
  if (!run.caption.empty() && run.caption != kDefaultCaption) return Win1252ToUtf8(run.caption);
  if (source && !source->archive.empty()) {
    const fs::path archive(source->archive);
    std::string stem = archive.stem().string();
    // "mod.tar.gz" is "mod".
    if (fs::path(stem).extension() == ".tar") stem = fs::path(stem).stem().string();
    if (!stem.empty()) return stem;
  }
  fs::path folder(run.modFolder);
  if (!folder.has_filename()) folder = folder.parent_path();
  // A mod at the root of an unpacked archive: its folder is the digest.
  if (LooksLikeDigest(folder.filename().string()) || folder.filename().empty()) return "unnamed mod";
  return folder.filename().string();
}

std::string RunName(const fs::path& gameFolder, const platform::RunRecord& run) {
  const fs::path home = platform::JournalHome(gameFolder);
  std::string problem;
  std::optional<TRunSource> source = ReadRunSource(home / "runs" / run.id, problem);
  if (!source && run.undone) source = ReadRunSource(home / "undone" / run.id, problem);
  return RunName(run, source);
}

TInstalledMatch FindInstalled(const std::vector<TInstalledRun>& runs, const TModVersion& mod,
                              const std::string& legacyRun) {
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    const bool legacy = !legacyRun.empty() && it->entry.empty() && it->run.id == legacyRun && it->copy == mod.copy;
    if (!legacy && !SameMod(*it, mod)) continue;
    return {SameVersion(*it, mod) ? TInstalledState::kInstalled : TInstalledState::kChanged, &*it};
  }
  for (auto it = runs.rbegin(); it != runs.rend(); ++it)
    if (SameVersion(*it, mod)) return {TInstalledState::kInstalled, &*it};
  return {};
}

}  // namespace vey
