// HistoryCommand: the run history of a game folder and the undo of a run.
#include "cli/HistoryCommand.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/InstallCommand.h"
#include "cli/JournalOutput.h"
#include "cli/RunSignals.h"
#include "cli/ReplayCommand.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "platform/Headless.h"
#include "cli/TextOutput.h"
#include "common/PathText.h"
#include "common/Win1252.h"
#include "engine/support/UModIdentity.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UTransaction.h"
#include "engine/support/URunSource.h"

namespace vey::cli {
namespace {

constexpr int kExitInterrupted = 3; // stopped by a signal, nothing undone
constexpr int kExitNoRun = 4;       // nothing to undo (or not confirmed)

// What befell a run after it ended, for the list; empty when nothing did.
std::string UndoNote(const platform::RunRecord& run) {
  if (run.undone) return "undone by reset";
  if (run.partlyUndone.empty()) return "";
  std::set<std::string> by;
  for (const platform::UndoneFile& f : run.partlyUndone) by.insert(f.by);
  std::string runs;
  for (const std::string& id : by) runs += (runs.empty() ? "" : ", ") + id;
  return "partly undone: " + std::to_string(run.partlyUndone.size()) + " of its files put back by uninstall of " +
         runs;
}

nlohmann::ordered_json HistoryJson(const std::string& game, const std::vector<platform::RunRecord>& runs) {
  using nlohmann::ordered_json;
  ordered_json list = ordered_json::array();
  for (const auto& run : runs) {
    ordered_json files = ordered_json::array();
    for (const platform::JournalFile& f : run.files) {
      ordered_json file{{"path", f.path}, {"action", f.action}};
      file["sizeBefore"] = f.existedBefore ? ordered_json(f.sizeBefore) : ordered_json(nullptr);
      file["sha256Before"] = f.existedBefore ? ordered_json(f.sha256Before) : ordered_json(nullptr);
      file["sizeAfter"] = f.existsAfter ? ordered_json(f.sizeAfter) : ordered_json(nullptr);
      file["sha256After"] = f.existsAfter ? ordered_json(f.sha256After) : ordered_json(nullptr);
      files.push_back(std::move(file));
    }
    ordered_json undoneFiles = ordered_json::array();
    for (const platform::UndoneFile& f : run.partlyUndone)
      undoneFiles.push_back({{"path", f.path}, {"exists", f.exists}, {"by", f.by}});
    ordered_json entry;
    entry["id"] = run.id;
    entry["name"] = RunName(game, run);
    entry["mod"] = RunModName(platform::JournalHome(game) / platform::journal::kRunsFolder / run.id, run.modFolder);
    entry["modFolder"] = run.modFolder;
    entry["instructionFile"] = run.instructionFile;
    entry["instructionSha256"] = run.instructionSha256;
    entry["installationType"] = run.installationType.empty() ? ordered_json(nullptr)
                                                             : ordered_json(MessageToUtf8(run.installationType));
    entry["caption"] = MessageToUtf8(run.caption);
    entry["started"] = run.started;
    entry["ended"] = run.ended.empty() ? ordered_json(nullptr) : ordered_json(run.ended);
    entry["state"] = run.Damaged() ? "damaged" : run.Finished() ? "finished" : "unfinished";
    entry["verdict"] = run.verdict.empty() ? ordered_json(nullptr) : ordered_json(run.verdict);
    entry["undone"] = run.undone ? "all" : run.partlyUndone.empty() ? "no" : "partly";
    entry["undoneFiles"] = std::move(undoneFiles);
    entry["damage"] = run.damage;
    entry["files"] = std::move(files);
    list.push_back(std::move(entry));
  }
  return {{"gameFolder", game}, {"runs", std::move(list)}};
}

int ShowHistory(const std::string& given, const std::string& json) {
  const std::string game = GameFolder(given);
  TRunHistory history(game);
  const auto runs = history.AllRuns();
  if (!json.empty()) {
    const std::string text =
        HistoryJson(game, runs).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    if (!WriteResultFile(json, text)) return kExitFailed;
    if (json == "-") return kExitOk;
  }
  if (runs.empty()) {
    std::cout << "No installation has been recorded in this game folder.\n";
    return kExitOk;
  }
  // Columns as wide as their longest cell: run names are as long as mod names.
  const std::filesystem::path runsFolder = platform::JournalHome(game) / platform::journal::kRunsFolder;
  AlignedTable table;
  table.Add({"RUN", "WHEN (UTC)", "MOD", "TYPE", "VERDICT", "FILES"});
  std::vector<const platform::RunRecord*> damaged;
  for (const auto& run : runs) {
    if (run.Damaged()) damaged.push_back(&run);
    const std::string note = UndoNote(run);
    table.Add({run.id, run.started, RunName(game, run),
               run.installationType.empty() ? "-" : Win1252ToUtf8(run.installationType),
               run.Damaged() ? "damaged" : run.Finished() ? run.verdict : "unfinished",
               std::to_string(run.files.size()) + (note.empty() ? "" : "  (" + note + ")")});
  }
  table.Print(std::cout);
  if (!damaged.empty()) {
    std::cout << "\nThese records cannot be used (they are neither rolled back nor undone; uninstall --run ID --forget "
                 "removes one):\n";
    for (const platform::RunRecord* run : damaged)
      for (const std::string& problem : run->damage)
        std::cout << "  runs/" << PathText(run->id) << '/' << PathText(problem) << '\n';
  }
  return kExitOk;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "\n  " + item;
  return text;
}

int Forget(TRunHistory& history, const std::string& id, bool yes) {
  platform::Console console = platform::Console::Standard();
  std::optional<bool> preset;
  if (yes) preset = true;
  platform::HeadlessMessageBoxes messages(console, preset);
  if (!messages.AskYesNo("Forget the run " + id +
                         "? Its record is removed and it can no longer be undone; the game files it changed stay as "
                         "they are.")) {
    std::cout << "Nothing was changed.\n";
    return kExitNoRun;
  }
  if (!history.Forget(id)) {
    std::cout << "No run " << PathText(id) << " is recorded in this game folder (see history).\n";
    return kExitNoRun;
  }
  std::cout << "The record of run " << PathText(id) << " was removed; the game files were not touched.\n";
  return kExitOk;
}

int Uninstall(const std::string& given, const std::string& id, bool force, bool forget, bool yes) {
  if (forget && id.empty()) throw UsageError("--forget needs --run ID: the run whose record to remove");
  TRunHistory history(GameFolder(given));
  try {
    history.Lock("uninstall");
    if (forget) return Forget(history, id, yes);
    RecoverFirst(history);
  } catch (const ERunRefused& e) {
    std::cout << e.what() << '\n';
    return e.Code() == kRefusedLocked ? kExitLocked : kExitJournal;
  } catch (const EPathError& e) {
    std::cout << e.what() << '\n';
    return kExitNoRun;
  }
  const auto run = history.Find(id);
  if (!run) {
    std::cout << (id.empty() ? std::string("No installation has been recorded in this game folder.")
                             : "No run " + id + " is recorded in this game folder (see history).")
              << '\n';
    return kExitNoRun;
  }
  if (run->Damaged() || !run->Finished()) {
    std::cout << "Refusing to undo run " << PathText(run->id) << ": its record cannot be used:";
    for (const std::string& problem : run->damage) std::cout << "\n  runs/" << PathText(run->id) << '/' << PathText(problem);
    if (run->damage.empty()) std::cout << "\n  it did not finish";
    std::cout << "\nNothing was changed. \"uninstall --run " << PathText(run->id)
              << " --forget\" removes the record and leaves the game files as they are.\n";
    return kExitJournal;
  }
  const TUndoCheck check = history.Check(*run);
  if (!check.Clear()) {
    std::cout << (force ? "Undoing anyway (--force), though " : "Refusing to undo run " + run->id + ": ");
    if (!check.changedFiles.empty())
      std::cout << "these files changed after it:" << Joined(check.changedFiles) << '\n';
    if (!check.laterRuns.empty())
      std::cout << "these later runs changed its files and must be undone first:" << Joined(check.laterRuns)
                << '\n';
    if (!force) {
      std::cout << "Undo the later runs first, or give --force to put the old files back anyway.\n";
      return kExitRefused;
    }
  }
  // Ctrl-C or a polite kill stops the undo between two files and reverses
  // it; a harder kill leaves its journal for the next start.
  RunSignals signals;
  platform::RollbackResult result;
  try {
    result = history.Undo(*run, &signals.Flag());
  } catch (const ECancelled&) {
    std::cout << "Interrupted: nothing was undone, the run " << run->id << " stays recorded.\n";
    return kExitInterrupted;
  }
  if (!result.problems.empty()) {
    std::cout << "These files could not be put back:" << Joined(result.problems)
              << "\nNothing was undone; the run stays recorded. Try again.\n";
    return kExitIncomplete;
  }
  if (!check.laterRuns.empty())
    std::cout << "Part of the changes of these later runs was taken back; history marks them partly undone:"
              << Joined(check.laterRuns) << '\n';
  std::cout << "Run " << run->id << " undone: " << Counted(result.restored, "file") << " put back, "
            << Counted(result.removed, "new file or folder", "new files and folders") << " removed.\n";
  return kExitOk;
}

}  // namespace

void RegisterHistoryCommands(CLI::App& app, int& exitCode) {
  struct HistoryOptions {
    std::string game, json;
  };
  auto shown = std::make_shared<HistoryOptions>();
  CLI::App* list = app.add_subcommand("history", "List the installations recorded in a game folder");
  list->add_option("--game", shown->game, "Game folder (the one holding dialog.tlk)")->required();
  list->add_option("--json", shown->json, "Also write the runs as JSON to this file (\"-\": standard output only)");
  list->footer(
      "Each run is recorded in GAME/.veypatcher/runs; runs undone by reset stay listed as such, and runs "
      "whose changes a forced uninstall of an earlier run partly took back are marked so. The JSON shape is "
      "described in docs/history-result.md. Exit status: 0 listed; 2 the JSON file could not be written; "
      "64 usage error.");
  list->callback([shown, &exitCode] { exitCode = ShowHistory(shown->game, shown->json); });

  struct UninstallOptions {
    std::string game, run;
    bool force = false, forget = false, yes = false;
    bool replay = false;
    ReplayOptions given;
  };
  auto options = std::make_shared<UninstallOptions>();
  CLI::App* undo = app.add_subcommand("uninstall", "Undo a recorded installation");
  undo->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  undo->add_option("--run", options->run, "The run to undo (see history); default: the latest");
  undo->add_flag("--force", options->force, "Put the old files back even when they changed after the run");
  undo->add_flag("--replay", options->replay,
                 "Take the run out of the middle: undo the later runs, then this one, then install the later "
                 "mods again in their order with their recorded types and options")
      ->excludes("--force");
  // A record in the game folder may come from anyone: what it says about the
  // compiler and the backup folder is used only when given again here.
  undo->add_option("--compiler", options->given.compiler,
                   "With --replay: the compiler of your own that a later run was installed with")
      ->check(CLI::ExistingFile)
      ->needs("--replay");
  undo->add_flag("--no-sandbox", options->given.noSandbox,
                 "With --replay: let a later run that was installed without the compiler's sandbox be installed "
                 "again so")
      ->needs("--replay");
  undo->add_option("--backup-dir", options->given.backupDir,
                   "With --replay: the backup folder of your own that a later run was installed with")
      ->needs("--replay");
  undo->add_option("--pick", options->given.picks,
                   "With --replay: NAME=PATH, a file of yours that a later run in patcher mode was given for NAME "
                   "(repeatable)")
      ->needs("--replay");
  AddCompileTimeoutOption(*undo, options->given.compileTimeout);
  undo->get_option("--compile-timeout")->needs("--replay");
  undo->add_flag("--forget", options->forget,
                 "Remove the record of run --run ID without touching the game (for a run that cannot be put back)")
      ->excludes("--force", "--replay");
  undo->add_flag("--yes", options->yes, "Answer Yes to the --forget question");
  undo->footer(
      "Puts every file the run changed back as it was before and removes the files it created; the run "
      "leaves the history. The undo is one transaction: cut short, it is completed or reversed by the next "
      "uninstall or install. Exit status: 0 undone; 1 refused, files changed after the run (names them); "
      "2 some files could not be put back (nothing was undone); 3 interrupted (nothing was undone); 4 no such "
      "run (or --forget not confirmed); 5 an installation is running in this game folder; 6 the run's record or "
      "the journal cannot be used (damaged, of another game folder, a link); 64 usage error.\n"
      "With --replay (and --run): refused (1, nothing changed) when a later run's mod folder or archive is "
      "missing or its files changed since it was installed, a file changed outside the installer, or a later "
      "run's record names a compiler, no sandbox or a backup folder that is not given again with --compiler, "
      "--no-sandbox or --backup-dir; 3 a later mod failed to install again and everything was put back as it "
      "was.");
  undo->callback([options, &exitCode] {
    exitCode = options->replay ? UninstallWithReplay(GameFolder(options->game), options->run, options->given)
                               : Uninstall(options->game, options->run, options->force, options->forget, options->yes);
  });
}

}  // namespace vey::cli
