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
#include "cli/ReplayCommand.h"
#include "cli/TextOutput.h"
#include "common/PathText.h"
#include "common/Win1252.h"
#include "engine/URunHistory.h"
#include "engine/UTransaction.h"

namespace vey::cli {
namespace {

constexpr int kExitRefused = 1;     // files changed since the run
constexpr int kExitIncomplete = 2;  // some files could not be put back
constexpr int kExitNoRun = 4;       // nothing to undo

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
    entry["mod"] = ModName(run.modFolder);
    entry["modFolder"] = run.modFolder;
    entry["instructionFile"] = run.instructionFile;
    entry["instructionSha256"] = run.instructionSha256;
    entry["installationType"] = run.installationType.empty() ? ordered_json(nullptr)
                                                             : ordered_json(MessageToUtf8(run.installationType));
    entry["caption"] = MessageToUtf8(run.caption);
    entry["started"] = run.started;
    entry["ended"] = run.ended.empty() ? ordered_json(nullptr) : ordered_json(run.ended);
    entry["state"] = run.Finished() ? "finished" : "unfinished";
    entry["verdict"] = run.verdict.empty() ? ordered_json(nullptr) : ordered_json(run.verdict);
    entry["undone"] = run.undone ? "all" : run.partlyUndone.empty() ? "no" : "partly";
    entry["undoneFiles"] = std::move(undoneFiles);
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
  AlignedTable table;
  table.Add({"RUN", "WHEN (UTC)", "MOD", "TYPE", "VERDICT", "FILES"});
  for (const auto& run : runs) {
    const std::string note = UndoNote(run);
    table.Add({run.id, run.started, ModName(run.modFolder),
               run.installationType.empty() ? "-" : Win1252ToUtf8(run.installationType),
               run.Finished() ? run.verdict : "unfinished",
               std::to_string(run.files.size()) + (note.empty() ? "" : "  (" + note + ")")});
  }
  table.Print(std::cout);
  return kExitOk;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "\n  " + item;
  return text;
}

int Uninstall(const std::string& given, const std::string& id, bool force) {
  TRunHistory history(GameFolder(given));
  try {
    history.Lock("uninstall");
  } catch (const ERunRefused& e) {
    std::cout << e.what() << '\n';
    return kExitLocked;
  }
  for (const std::string& recovered : history.RecoverUnfinished())
    std::cout << "The unfinished run " << recovered << " was rolled back first.\n";
  const auto run = history.Find(id);
  if (!run) {
    std::cout << (id.empty() ? std::string("No installation has been recorded in this game folder.")
                             : "No run " + id + " is recorded in this game folder (see history).")
              << '\n';
    return kExitNoRun;
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
  const auto result = history.Undo(*run);
  if (!check.laterRuns.empty())
    std::cout << "Part of the changes of these later runs was taken back; history marks them partly undone:"
              << Joined(check.laterRuns) << '\n';
  if (!result.problems.empty()) {
    std::cout << "These files could not be put back:" << Joined(result.problems)
              << "\nThe run stays recorded; try again.\n";
    return kExitIncomplete;
  }
  std::cout << "Run " << run->id << " undone: " << result.restored << " files put back, " << result.removed
            << " new files and folders removed.\n";
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
    bool force = false;
    bool replay = false;
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
  undo->footer(
      "Puts every file the run changed back as it was before and removes the files it created; the run "
      "leaves the history. Exit status: 0 undone; 1 refused, files changed after the run (names them); "
      "2 some files could not be put back; 4 no such run; 5 an installation is running in this game "
      "folder; 64 usage error.\n"
      "With --replay (and --run): refused (1, nothing changed) when a later run's mod folder or archive is "
      "missing or its files changed since it was installed, or a file changed outside the installer; 3 a "
      "later mod failed to install again and everything was put back as it was.");
  undo->callback([options, &exitCode] {
    exitCode = options->replay ? UninstallWithReplay(GameFolder(options->game), options->run)
                               : Uninstall(options->game, options->run, options->force);
  });
}

}  // namespace vey::cli
