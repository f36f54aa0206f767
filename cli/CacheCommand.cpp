// CacheCommand: prints what the cache survey and clean found.
#include "cli/CacheCommand.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "common/PathText.h"
#include "engine/run/UCacheClean.h"
#include "platform/ModArchive.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

std::string Size(std::uint64_t bytes) {
  char text[32];
  if (bytes < 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string When(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  ::localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// A file-system name for the terminal.
std::string Shown(const std::string& path) { return platform::TerminalText(PathText(path)); }

std::string Name(const TCacheCopy& copy) {
  const std::string name = copy.entry.archiveName.empty() ? "(archive unknown)" : copy.entry.archiveName;
  return "\"" + Shown(name) + "\" [" + copy.entry.sha256.substr(0, 12) + "]";
}

void List() {
  const TCacheSurvey survey = SurveyModCache(platform::ModCacheHome());
  std::cout << "Unpacked mod archives in \"" << Shown(survey.home.string()) << "\":\n";
  std::uint64_t total = 0;
  for (const TCacheCopy& copy : survey.copies) {
    total += copy.entry.bytes;
    std::cout << "  " << Name(copy) << "  " << Size(copy.entry.bytes) << ", last used " << When(copy.entry.lastUse);
    if (!copy.namedBy.empty())
      std::cout << ", installed in " << copy.namedBy.size() << " game folder(s)";
    else if (!copy.entry.games.empty())
      std::cout << ", no longer installed in the " << copy.entry.games.size() << " game folder(s) it served";
    else if (copy.unrecorded)
      std::cout << ", game folders unknown (unpacked by an earlier version)";
    else
      std::cout << ", never installed";
    if (!copy.entry.sound) std::cout << "; damaged or incomplete: unpacked again at its next use";
    std::cout << '\n';
    for (const std::string& game : copy.namedBy) std::cout << "      " << Shown(game) << '\n';
  }
  std::cout << survey.copies.size() << " unpacked archive(s), " << Size(total) << ".\n";
}

void Clean(bool dryRun, bool all) {
  const TCacheClean result = CleanModCache(platform::ModCacheHome(), dryRun, all);
  for (const TCacheCopy& copy : result.removed)
    std::cout << (dryRun ? "Would remove " : "Removed ") << Name(copy) << " (" << Size(copy.entry.bytes) << ")\n";
  for (const TCacheCopy& copy : result.kept)
    std::cout << "Kept " << Name(copy) << ": " << platform::TerminalText(WhyKept(copy, all)) << '\n';
  std::cout << (dryRun ? "Would free " : "Freed ") << Size(result.freed) << " (" << result.removed.size()
            << " unpacked archive(s)); " << result.kept.size() << " kept.\n";
  bool unrecorded = false;
  for (const TCacheCopy& copy : result.kept) unrecorded = unrecorded || (copy.unrecorded && copy.namedBy.empty());
  if (unrecorded && !all)
    std::cout << "Give --all to remove the copies unpacked by an earlier version too; a replay of a run installed "
                 "from one then needs its archive installed again.\n";
}

}  // namespace

void RegisterCacheCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("cache", "Show or clear the unpacked mod archives kept in the cache");
  command->require_subcommand(1);
  command->footer("The cache is $XDG_CACHE_HOME/veypatcher/mods (default ~/.cache/veypatcher/mods).\n"
                  "Exit status: 0 done; 2 the cache cannot be read or changed; 64 usage error.");
  auto* list = command->add_subcommand("list", "The unpacked archives: name, size, last use and the game folders "
                                               "installed from them");
  auto* clean = command->add_subcommand(
      "clean", "Remove the unpacked archives that no game folder they were installed into still names "
               "(an archive installed there and not uninstalled), and what unpacks cut short left");
  auto dryRun = std::make_shared<bool>(false);
  auto all = std::make_shared<bool>(false);
  clean->add_flag("--dry-run", *dryRun, "Say what would be removed, remove nothing");
  clean->add_flag("--all", *all, "Remove too the copies an earlier version unpacked, whose game folders are unknown");
  const auto guarded = [&exitCode](const std::function<void()>& work) {
    try {
      work();
      exitCode = kExitOk;
    } catch (const Exception& e) {
      std::cerr << platform::TerminalText(e.what()) << '\n';
      exitCode = kExitFailed;
    }
  };
  list->callback([guarded] { guarded(List); });
  clean->callback([guarded, dryRun, all] { guarded([&] { Clean(*dryRun, *all); }); });
}

}  // namespace vey::cli
