// ModListCommand: the mod list's subcommands on the command line.
#include "cli/ModListCommand.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <memory>
#include <optional>

#include "cli/BuildFileCommand.h"
#include "cli/CliCommon.h"
#include "cli/GameChoice.h"
#include "cli/InstallCommand.h"
#include "cli/ModListPrepare.h"
#include "cli/ModListRecord.h"
#include "cli/ModListReport.h"
#include "cli/ModListRun.h"
#include "cli/ProgressBar.h"
#include "cli/RunSignals.h"
#include "engine/support/URunReport.h"
#include "platform/Headless.h"
#include "platform/ModArchive.h"
#include "platform/OverlayFileSystem.h"
#include "platform/TerminalColour.h"

namespace vey::cli {
namespace {

constexpr int kListStopped = 3;

EntryRun WithVerdict(const std::string& verdict) {
  EntryRun run;
  run.verdict = verdict;
  return run;
}

struct ListOptions {
  std::string list;
  std::string game;
  std::string json;
  bool yes = false;
  bool keepGoing = false;
  std::string downloads, choices;  // build files only

  bool IsBuild() const { return IsBuildFileArgument(list); }
  BuildFileOptions Build() const { return {list, downloads, choices, json, game, yes, keepGoing}; }
};

std::optional<ModList> Load(const std::string& file, std::ostream& err) {
  try {
    return LoadModList(file);
  } catch (const EModListError& e) {
    err << e.what() << '\n';
    return std::nullopt;
  }
}

// The list checked; its findings printed under each entry.
std::vector<PreparedMod> CheckAll(const ModList& list, std::ostream& out, int& errors, int& warnings) {
  out << "Checking the " << list.mods.size() << " mods of \"" << list.name << "\"...\n";
  std::vector<PreparedMod> mods = PrepareList(list);
  errors = warnings = 0;
  for (const PreparedMod& m : mods) {
    errors += m.Errors();
    warnings += m.Warnings();
    for (const ListFinding& f : m.findings)
      out << "  " << m.entry->name << ": " << (f.error ? "error: " : "warning: ") << f.message << '\n';
  }
  return mods;
}

int CheckExit(int errors, int warnings) { return errors > 0 ? 2 : warnings > 0 ? 1 : 0; }

int RunCheck(const ListOptions& o) {
  if (o.IsBuild()) return RunBuildCheck(o.Build());
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  ListReport report("check", o.json);
  const auto list = Load(o.list, out);
  if (!list) return report.Finish(2, std::nullopt);
  const std::string game = o.game.empty() ? std::string() : CheckedGameOption(o.game);
  int errors = 0, warnings = 0;
  std::vector<PreparedMod> mods = CheckAll(*list, out, errors, warnings);
  std::vector<EntryRun> runs(mods.size());
  // What each entry would write, named after it, for the conflict report.
  std::vector<TRunPlaces> places;
  if (!game.empty()) {
    // Each mod sees what the ones before it would have changed.
    out << "Dry run of the whole list in order on \"" << game << "\"...\n";
    platform::OverlayFileSystem overlay;
    for (std::size_t i = 0; i < mods.size(); ++i) {
      if (!mods[i].ready) {
        runs[i].verdict = "not run";
        continue;
      }
      TRunReport changes(overlay, false);
      changes.SetGameFolder(game);
      runs[i] = RunListEntry(mods[i], RunSetting{overlay, game, false, nullptr, nullptr, false, nullptr, &changes});
      changes.Detach();
      TRunPlaces wrote{mods[i].entry->name, mods[i].entry->name, changes.Places()};
      // A copy is no list of instructions: every file it changes is written whole.
      if (mods[i].entry->IsCopy())
        for (const auto& file : changes.Files()) wrote.places.push_back({TWritePlace::Kind::File, file.path, "", ""});
      places.push_back(std::move(wrote));
      if (runs[i].Failed() || runs[i].errors > 0) ++errors;
      else if (runs[i].warnings > 0) ++warnings;
      out << "  " << i + 1 << "/" << mods.size() << " " << mods[i].entry->name << ": " << runs[i].verdict;
      if (!runs[i].message.empty()) out << " (" << runs[i].message << ")";
      out << '\n';
    }
    PrintConflicts(out, places);
  }
  out << (errors ? "The list has errors." : warnings ? "The list passes with warnings." : "The list passes.") << '\n';
  report.SetList(*list, game);
  report.SetEntries(mods, runs, places);
  return report.Finish(CheckExit(errors, warnings), std::nullopt);
}

int RunStatus(const ListOptions& o) {
  if (o.IsBuild()) return RunBuildStatus(o.Build());
  const auto list = Load(o.list, std::cerr);
  if (!list) return kExitUsage;
  const std::string game = CheckedGameOption(o.game);
  const ListRecord record(game, list->file);
  const std::set<std::string> live = LiveRuns(game);
  bool allInOrder = true;
  std::string lastRun;
  for (const ModListEntry& e : list->mods) {
    std::string state = "not installed";
    const ListRecordEntry* r = record.Find(e.name);
    if (r && live.count(r->run)) {
      std::string sha;
      try {
        std::error_code ec;
        sha = std::filesystem::is_directory(e.source, ec) ? FolderSha256(e.source, !e.IsCopy())
                                                          : platform::ArchiveSha256(e.source, platform::ModCacheHome());
      } catch (const Exception&) {
        // A source that is gone can no longer be compared.
      }
      if (sha != r->sourceSha256)
        state = "installed from a different source";
      else if (r->run < lastRun)
        state = "out of order";
      else
        state = "installed";
      lastRun = std::max(lastRun, r->run);
    }
    if (state != "installed") allInOrder = false;
    std::cout << e.name << ": " << state << '\n';
  }
  return allInOrder ? 0 : 1;
}

int RunListInstall(const ListOptions& o) {
  if (o.IsBuild()) return RunBuildInstall(o.Build());
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  const int outFd = o.json == "-" ? STDERR_FILENO : STDOUT_FILENO;
  ListReport report("install", o.json);
  const auto list = Load(o.list, out);
  if (!list) return report.Finish(kExitUsage, std::nullopt);
  const std::string game = CheckedGameOption(o.game);
  report.SetList(*list, game);
  int errors = 0, warnings = 0;
  std::vector<PreparedMod> mods = CheckAll(*list, out, errors, warnings);
  std::vector<EntryRun> runs(mods.size(), WithVerdict("not run"));
  if (errors > 0) {
    out << "The list does not pass its check; nothing was installed.\n";
    report.SetEntries(mods, runs, {});
    return report.Finish(kExitUsage, std::nullopt);
  }
  platform::HeadlessMessageBoxes messages(platform::Console::Standard(), o.yes ? std::optional<bool>(true) : std::nullopt);
  if (!messages.AskYesNo("Install the " + std::to_string(mods.size()) + " mods of \"" + list->name + "\" into " +
                         game + "?")) {
    out << "Nothing was changed.\n";
    report.SetEntries(mods, runs, {});
    return report.Finish(kExitNotRun, std::nullopt);
  }

  ListRecord record(game, list->file);
  const std::set<std::string> live = LiveRuns(game);
  const bool colour = platform::ColourWanted(outFd);
  ProgressBar bar(out, ::isatty(outFd) == 1, ProgressBar::TerminalWidth(outFd));
  RunSignals signals;
  int exitCode = kExitOk;
  bool anyErrors = false, anyWarnings = false, anyFailed = false;
  for (std::size_t i = 0; i < mods.size(); ++i) {
    const PreparedMod& m = mods[i];
    const std::string heading = std::to_string(i + 1) + "/" + std::to_string(mods.size()) + " " + m.entry->name;
    const std::string type = m.mod.namespaceId;
    if (const ListRecordEntry* r = record.Find(m.entry->name);
        r && live.count(r->run) && r->sourceSha256 == m.sourceSha256 && r->instructionSha256 == m.instructionSha256 &&
        r->type == type) {
      bar.BeforeLine();
      out << heading << ": already installed (run " << r->run << "), skipped.\n";
      runs[i] = WithVerdict("skipped");
      runs[i].runId = r->run;
      continue;
    }
    bar.BeforeLine();
    out << heading << '\n';
    if (m.archive && !m.entry->IsCopy())
      out << "Unpacked in \"" << m.mod.modFolder.string() << "\"; the backup folder and the log are kept there.\n";
    bar.SetHeading(heading);
    platform::GameFileSystem files;
    runs[i] = RunListEntry(m, RunSetting{files, game, true, &signals.Flag(), &out, colour, &bar, nullptr});
    bar.Finish();
    const EntryRun& run = runs[i];
    if (!run.runId.empty())
      record.Put({m.entry->name, m.sourceSha256, m.instructionSha256, type, run.runId, run.verdict});
    anyErrors = anyErrors || run.errors > 0;
    anyWarnings = anyWarnings || run.warnings > 0;
    if (run.verdict == "locked") {
      out << run.message << '\n';
      exitCode = kExitLocked;
      break;
    }
    if (run.verdict == "cancelled") {
      out << "Interrupted: \"" << m.entry->name << "\" was rolled back; the entries before it stay installed.\n";
      exitCode = kListStopped;
      break;
    }
    if (run.Failed()) {
      anyFailed = true;
      out << "\"" << m.entry->name << "\" failed and was rolled back" << (run.message.empty() ? "" : ": ")
          << run.message << '\n';
      if (!o.keepGoing) {
        out << "The list stops here; the entries before it stay installed. Run it again to resume.\n";
        exitCode = kListStopped;
        break;
      }
    }
  }
  if (exitCode == kExitOk) exitCode = anyFailed || anyErrors ? kExitErrors : anyWarnings ? kExitWarnings : kExitOk;
  PrintClosingTable(out, mods, runs);
  report.SetEntries(mods, runs, {});
  return report.Finish(exitCode, record.File());
}

}  // namespace

void RegisterModListCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* modlist = app.add_subcommand("modlist", "Check, install or inspect a list of mods (docs/modlist.md)");
  modlist->require_subcommand(1);

  CLI::App* check = modlist->add_subcommand("check", "Check a mod list without changing anything");
  check->add_option("LIST", options->list, "The list file, or a published build file (TOML)")->required();
  check->add_option("--downloads", options->downloads, "A build file's downloads folder (default: the build file's folder)");
  check->add_option("--choices", options->choices,
                    "A build file's choices (default: BUILD.choices.toml beside it, when there)");
  check->add_option("--game", options->game, "Also make a dry run of the whole list, in order, on this game folder");
  check->add_option("--json", options->json, "Write the result as JSON (docs/modlist.md) to this file; - for standard output");
  check->footer("Exit status: 0 clean; 1 warnings; 2 errors (also a list file that cannot be read); 64 usage error.");
  check->callback([options, &exitCode] { exitCode = RunCheck(*options); });

  CLI::App* install = modlist->add_subcommand("install", "Install every mod of a list, in order, each undoable");
  install->add_option("LIST", options->list, "The list file, or a published build file (TOML)")->required();
  install->add_option("--downloads", options->downloads, "A build file's downloads folder (default: the build file's folder)");
  install->add_option("--choices", options->choices,
                    "A build file's choices (default: BUILD.choices.toml beside it, when there)");
  install->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  install->add_flag("--yes", options->yes, "Answer Yes to the confirmation question");
  install->add_flag("--keep-going", options->keepGoing, "Go on with the next entry after one fails");
  install->add_option("--json", options->json, "Write the result as JSON (docs/modlist.md) to this file; - for standard output");
  install->footer(
      "The list is checked first; each entry is then its own run (see history and uninstall). Running the list "
      "again resumes: entries already installed from the same source are skipped. Ctrl-C rolls back the current "
      "entry only.\nExit status: 0 every entry done; 1 warnings; 2 errors in an entry (or entries failed with "
      "--keep-going); 3 an entry failed or was interrupted and the list stopped; 4 not confirmed; 5 another "
      "installation holds the game folder; 64 usage error, a list file error or a list that does not pass its "
      "check.");
  install->callback([options, &exitCode] { exitCode = RunListInstall(*options); });

  CLI::App* status = modlist->add_subcommand("status", "Say which entries of a mod list are installed");
  status->add_option("LIST", options->list, "The list file, or a published build file (TOML)")->required();
  status->add_option("--downloads", options->downloads, "A build file's downloads folder (default: the build file's folder)");
  status->add_option("--choices", options->choices,
                    "A build file's choices (default: BUILD.choices.toml beside it, when there)");
  status->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  status->footer("Each entry is installed, not installed, installed from a different source, or out of order.\n"
                 "Exit status: 0 every entry installed in order; 1 otherwise; 64 usage error or a list file error.");
  status->callback([options, &exitCode] { exitCode = RunStatus(*options); });
}

}  // namespace vey::cli
