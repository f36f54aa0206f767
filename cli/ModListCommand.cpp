// ModListCommand: the mod list's subcommands on the command line.
#include "cli/ModListCommand.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <memory>
#include <optional>

#include "cli/BuildFileCommand.h"
#include "cli/CliCommon.h"
#include "cli/GameChoice.h"
#include "cli/InstallCommand.h"
#include "cli/InstallResult.h"
#include "cli/ModListPrepare.h"
#include "cli/ModListRecord.h"
#include "cli/ModListReport.h"
#include "cli/ModListRun.h"
#include "cli/ModListState.h"
#include "cli/ModUpdate.h"
#include "cli/ProgressBar.h"
#include "cli/RunSignals.h"
#include "common/Counted.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UUndoTransaction.h"
#include "engine/support/URunReport.h"
#include "platform/Headless.h"
#include "platform/ModArchive.h"
#include "platform/OverlayFileSystem.h"
#include "platform/TerminalColour.h"

namespace vey::cli {
namespace {

constexpr int kListStopped = 3;
// More findings of one entry than this are summed up after them.
constexpr std::size_t kFewFindings = 10;

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
  int compileTimeout = TCompilerSettings::kDefaultCompileTimeout;
  std::vector<std::string> allowSource;
  // --update given: the names after it, or none for every changed entry.
  bool update = false;
  std::vector<std::string> updateNames;
  std::string compiler;
  bool noSandbox = false;

  ListSettings Settings() const {
    ListSettings settings;
    for (const std::string& folder : allowSource) settings.trustedSources.emplace_back(folder);
    std::error_code ec;
    if (!compiler.empty()) settings.compiler = std::filesystem::absolute(compiler, ec).lexically_normal().string();
    settings.noSandbox = noSandbox;
    return settings;
  }
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
std::vector<PreparedMod> CheckAll(const ModList& list, const ListSettings& settings, std::ostream& out, int& errors,
                                  int& warnings) {
  out << "Checking the " << Counted(list.mods.size(), "mod") << " of \"" << list.name << "\"...\n";
  std::vector<PreparedMod> mods = PrepareList(list, settings);
  errors = warnings = 0;
  for (const PreparedMod& m : mods) {
    errors += m.Errors();
    warnings += m.Warnings();
    for (const ListFinding& f : m.findings)
      out << "  " << m.entry->name << ": " << (f.error ? "error: " : "warning: ") << f.message << '\n';
    // A long list of findings ends with its sum, which would scroll away above.
    if (m.findings.size() > kFewFindings)
      out << "  " << m.entry->name << ": " << Counted(m.Errors(), "error") << ", " << Counted(m.Warnings(), "warning")
          << '\n';
  }
  return mods;
}

// Said before the list starts: a result that cannot be written would leave a
// mod manager with an installed list and no word of it.
bool JsonWritable(const std::string& json, std::ostream& out) {
  if (json.empty() || json == "-" || CanWriteResult(json)) return true;
  out << "--json: cannot write the result file \"" << json << "\"; nothing was checked or installed.\n";
  return false;
}

int CheckExit(int errors, int warnings) { return errors > 0 ? 2 : warnings > 0 ? 1 : 0; }

int RunCheck(const ListOptions& o) {
  if (o.IsBuild()) return RunBuildCheck(o.Build());
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  ListReport report("check", o.json);
  if (!JsonWritable(o.json, out)) return 2;
  const auto list = Load(o.list, out);
  if (!list) return report.Finish(2, std::nullopt);
  const std::string game = o.game.empty() ? std::string() : CheckedGameOption(o.game);
  const ListSettings settings = o.Settings();
  int errors = 0, warnings = 0;
  std::vector<PreparedMod> mods = CheckAll(*list, settings, out, errors, warnings);
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
      runs[i] = RunListEntry(mods[i], RunSetting{overlay, game, false, nullptr, nullptr, false, nullptr, &changes,
                                                       o.compileTimeout, &settings});
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
  const std::vector<PreparedMod> mods = PrepareList(*list, o.Settings());
  const std::vector<EntryStatus> states = ListStatus(mods, InstalledRuns(game), record);
  bool allInOrder = true;
  for (std::size_t i = 0; i < mods.size(); ++i) {
    allInOrder = allInOrder && states[i].state == EntryState::kInstalled;
    const ModListEntry& e = *mods[i].entry;
    std::cout << e.name << ": " << StateText(states[i].state) << '\n';
    // What the list keeps for people about the entry.
    std::string about;
    if (e.version) about = "version " + *e.version;
    if (e.url) about += (about.empty() ? "" : ", ") + *e.url;
    if (!about.empty()) std::cout << "  " << about << '\n';
    if (e.notes) std::cout << "  " << *e.notes << '\n';
  }
  return allInOrder ? 0 : 1;
}

int RunListInstall(const ListOptions& o) {
  if (o.IsBuild()) return RunBuildInstall(o.Build());
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  const int outFd = o.json == "-" ? STDERR_FILENO : STDOUT_FILENO;
  ListReport report("install", o.json);
  if (!JsonWritable(o.json, out)) return kExitErrors;
  const auto list = Load(o.list, out);
  if (!list) return report.Finish(kExitUsage, std::nullopt);
  const std::string game = CheckedGameOption(o.game);
  ListSettings settings = o.Settings();
  report.SetList(*list, game);
  int errors = 0, warnings = 0;
  std::vector<PreparedMod> mods;
  {
    // Ctrl-C, a closed terminal or a polite kill stops the unpacking, and
    // what was unpacked is removed.
    RunSignals unpacking;
    settings.cancel = &unpacking.Flag();
    mods = CheckAll(*list, settings, out, errors, warnings);
    settings.cancel = nullptr;
    if (unpacking.Flag()) {
      out << "Interrupted while the list's archives were unpacked; nothing was installed.\n";
      report.SetEntries(mods, std::vector<EntryRun>(mods.size(), WithVerdict("not run")), {});
      return report.Finish(kListStopped, std::nullopt);
    }
  }
  std::vector<EntryRun> runs(mods.size(), WithVerdict("not run"));
  if (errors > 0) {
    out << "The list does not pass its check; nothing was installed.\n";
    report.SetEntries(mods, runs, {});
    return report.Finish(kExitUsage, std::nullopt);
  }
  // What a kill cut short is settled before the journal says what is
  // installed: a half-made uninstallation may have taken an entry out.
  try {
    TRunHistory history(game);
    history.Lock(list->name);
    for (const TRecoveredUndo& undo : history.RecoverUndo())
      out << "An uninstallation that was cut short (" << undo.name << ") was "
          << (undo.completed ? "completed" : "reversed") << " first.\n";
    for (const std::string& id : history.RecoverUnfinished())
      out << "The unfinished run " << id << " was rolled back first.\n";
  } catch (const ERunRefused& e) {
    out << MessageToUtf8(e.what()) << '\n';
    report.SetEntries(mods, runs, {});
    return report.Finish(e.Code() == kRefusedLocked ? kExitLocked : kListStopped, std::nullopt);
  }
  ListRecord record(game, list->file);
  const std::vector<EntryStatus> states = ListStatus(mods, InstalledRuns(game), record);
  // A new version is never installed over the old one: the old run has to
  // go first, which only --update does.
  for (const std::string& name : o.updateNames)
    if (std::none_of(mods.begin(), mods.end(), [&](const PreparedMod& m) { return m.entry->name == name; })) {
      out << "--update: the list has no entry \"" << name << "\"; nothing was changed.\n";
      report.SetEntries(mods, runs, {});
      return report.Finish(kExitUsage, std::nullopt);
    }
  std::vector<std::size_t> updates;
  bool changed = false;
  for (std::size_t i = 0; i < mods.size(); ++i) {
    if (states[i].state != EntryState::kChanged) continue;
    const std::string& name = mods[i].entry->name;
    if (o.update && (o.updateNames.empty() || std::count(o.updateNames.begin(), o.updateNames.end(), name))) {
      updates.push_back(i);
      continue;
    }
    changed = true;
    out << "\"" << name << "\" was installed from a different version of its source (run " << states[i].run
        << "). Installing this one over it would apply the mod twice.\n";
  }
  if (changed) {
    out << "Nothing was changed. Give --update to take the old version out (the mods installed after it are "
           "installed again) and install the new one in its place, or --update NAME for some entries only.\n";
    report.SetEntries(mods, runs, {});
    return report.Finish(kExitErrors, std::nullopt);
  }
  platform::HeadlessMessageBoxes messages(platform::Console::Standard(), o.yes ? std::optional<bool>(true) : std::nullopt);
  if (!messages.AskYesNo("Install the " + Counted(mods.size(), "mod") + " of \"" + list->name + "\" into " +
                         game + "?")) {
    out << "Nothing was changed.\n";
    report.SetEntries(mods, runs, {});
    return report.Finish(kExitNotRun, std::nullopt);
  }

  const bool colour = platform::ColourWanted(outFd);
  ProgressBar bar(out, ::isatty(outFd) == 1, ProgressBar::TerminalWidth(outFd));
  RunSignals signals;
  int exitCode = kExitOk;
  bool anyErrors = false, anyWarnings = false, anyFailed = false;
  std::vector<EntryStatus> now = states;
  if (!updates.empty()) {
    // Every changed entry's new version in its old run's place, in one
    // replay from the oldest of them.
    std::map<std::string, InstallNew> replacements;
    for (std::size_t i : updates)
      replacements[states[i].run] = [&, i] {
        out << std::to_string(i + 1) << "/" << mods.size() << " " << mods[i].entry->name << ": the new version\n";
        platform::GameFileSystem files;
        runs[i] = RunListEntry(mods[i], RunSetting{files, game, true, &signals.Flag(), &out, colour, nullptr, nullptr,
                                                   o.compileTimeout, &settings, true});
        if (!runs[i].runId.empty())
          record.Put({mods[i].entry->name, mods[i].sourceSha256, mods[i].instructionSha256, mods[i].mod.namespaceId,
                      runs[i].runId, runs[i].verdict});
        return runs[i].Failed() ? kExitAborted : runs[i].errors > 0 ? kExitErrors : runs[i].warnings > 0 ? kExitWarnings : kExitOk;
      };
    const int updated = UpdateInPlace(game, replacements, out);
    if (updated != kExitOk) {
      for (std::size_t i : updates) runs[i] = WithVerdict("not run");
      out << "The update did not happen; the list stops here.\n";
      PrintClosingTable(out, mods, runs);
      report.SetEntries(mods, runs, {});
      return report.Finish(updated == 1 ? kExitErrors : updated == kExitLocked ? kExitLocked : kListStopped,
                           record.File());
    }
    for (std::size_t i : updates) {
      anyErrors = anyErrors || runs[i].errors > 0;
      anyWarnings = anyWarnings || runs[i].warnings > 0;
      runs[i].verdict = "updated";
    }
    now = ListStatus(mods, InstalledRuns(game), record);
  }
  for (std::size_t i = 0; i < mods.size(); ++i) {
    const PreparedMod& m = mods[i];
    const std::string heading = std::to_string(i + 1) + "/" + std::to_string(mods.size()) + " " + m.entry->name;
    const std::string type = m.mod.namespaceId;
    if (runs[i].verdict == "updated") continue;
    if (now[i].Installed()) {
      bar.BeforeLine();
      out << heading << ": already installed (run " << now[i].run << "), skipped.\n";
      runs[i] = WithVerdict("skipped");
      runs[i].runId = now[i].run;
      continue;
    }
    bar.BeforeLine();
    out << heading << '\n';
    if (m.archive && !m.entry->IsCopy())
      out << "Using the unpacked copy in \"" << m.mod.modFolder.string() << "\"; the backup folder and the log are kept there.\n";
    bar.SetHeading(heading);
    platform::GameFileSystem files;
    runs[i] = RunListEntry(m, RunSetting{files, game, true, &signals.Flag(), &out, colour, &bar, nullptr,
                                         o.compileTimeout, &settings});
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

void AddSourceOption(CLI::App& command, ListOptions& options) {
  command.add_option("--allow-source", options.allowSource,
                     "Trust this folder as a place of the list's sources besides the list's own folder (repeatable)")
      ->allow_extra_args(false)
      ->check(CLI::ExistingDirectory);
}

void AddListOptions(CLI::App& command, ListOptions& options) {
  AddSourceOption(command, options);
  command.add_option("--compiler", options.compiler,
                     "Compile the scripts of every mod with this compiler of your own instead of the one each mod "
                     "ships (a native program, or a Windows program run under wine)")
      ->check(CLI::ExistingFile);
  command.add_flag("--no-sandbox", options.noSandbox, "Run the script compiler without bubblewrap's sandbox");
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
  AddCompileTimeoutOption(*check, options->compileTimeout);
  AddListOptions(*check, *options);
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
  AddCompileTimeoutOption(*install, options->compileTimeout);
  install
      ->add_option_function<std::vector<std::string>>(
          "--update",
          [options](const std::vector<std::string>& names) {
            options->update = true;
            // Given alone, CLI11 hands over one empty value.
            for (const std::string& name : names)
              if (!name.empty()) options->updateNames.push_back(name);
          },
          "Put the new version of every entry whose source changed since it was installed (or of the entries "
          "NAME...) in the place of the old one: the old run is taken out, the mods after it are installed again")
      ->expected(0, CLI::detail::expected_max_vector_size)
      ->trigger_on_parse();
  install->add_option("--json", options->json, "Write the result as JSON (docs/modlist.md) to this file; - for standard output");
  AddListOptions(*install, *options);
  install->footer(
      "The list is checked first; each entry is then its own run (see history and uninstall). Running the list "
      "again resumes: entries the game's journal holds in the same version are skipped; an entry whose source "
      "changed stops the list before any change unless --update is given. Ctrl-C rolls back the current "
      "entry only.\nExit status: 0 every entry done; 1 warnings; 2 errors in an entry (or entries failed with "
      "--keep-going), an entry whose source changed without --update, or a --json file that cannot be written; 3 an entry failed or was interrupted and the list stopped; 4 not confirmed; 5 another "
      "installation holds the game folder; 64 usage error, a list file error or a list that does not pass its "
      "check.");
  install->callback([options, &exitCode] { exitCode = RunListInstall(*options); });

  CLI::App* status = modlist->add_subcommand("status", "Say which entries of a mod list are installed");
  status->add_option("LIST", options->list, "The list file, or a published build file (TOML)")->required();
  status->add_option("--downloads", options->downloads, "A build file's downloads folder (default: the build file's folder)");
  status->add_option("--choices", options->choices,
                    "A build file's choices (default: BUILD.choices.toml beside it, when there)");
  status->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  AddSourceOption(*status, *options);
  status->footer("Each entry is installed, not installed, installed from a different source, or out of order.\n"
                 "Exit status: 0 every entry installed in order; 1 otherwise; 64 usage error or a list file error.");
  status->callback([options, &exitCode] { exitCode = RunStatus(*options); });
}

}  // namespace vey::cli
