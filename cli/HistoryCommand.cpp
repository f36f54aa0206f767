// HistoryCommand: the run history of a game folder and the undo of a run.
#include "cli/HistoryCommand.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "cli/CliCommon.h"
#include "cli/InstallCommand.h"
#include "cli/RunSignals.h"
#include "cli/ReplayCommand.h"
#include "cli/TextOutput.h"
#include "common/Win1252.h"
#include "engine/URunHistory.h"
#include "engine/UTransaction.h"

namespace vey::cli {
namespace {

constexpr int kExitRefused = 1;     // files changed since the run
constexpr int kExitIncomplete = 2;  // some files could not be put back
constexpr int kExitInterrupted = 3; // stopped by a signal, nothing undone
constexpr int kExitNoRun = 4;       // nothing to undo

std::string GameFolder(const std::string& given) {
  std::error_code ec;
  std::filesystem::path game = std::filesystem::absolute(given, ec);
  if (!std::filesystem::is_directory(game, ec)) throw UsageError("--game: \"" + given + "\" is not a folder");
  return game.lexically_normal().string();
}

std::string ModName(const std::string& folder) {
  std::filesystem::path p(folder);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

int ShowHistory(const std::string& given) {
  TRunHistory history(GameFolder(given));
  const auto runs = history.Runs();
  if (runs.empty()) {
    std::cout << "No installation has been recorded in this game folder.\n";
    return kExitOk;
  }
  // Columns as wide as their longest cell: run names are as long as mod names.
  AlignedTable table;
  table.Add({"RUN", "WHEN (UTC)", "MOD", "TYPE", "VERDICT", "FILES"});
  for (const auto& run : runs)
    table.Add({run.id, run.started, ModName(run.modFolder),
               run.installationType.empty() ? "-" : Win1252ToUtf8(run.installationType),
               run.Finished() ? run.verdict : "unfinished", std::to_string(run.files.size())});
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
  for (const TRecoveredUndo& undo : history.RecoverUndo())
    std::cout << "An uninstallation that was cut short (" << undo.name << ") was "
              << (undo.completed ? "completed first.\n" : "reversed first.\n");
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
  std::cout << "Run " << run->id << " undone: " << result.restored << " files put back, " << result.removed
            << " new files and folders removed.\n";
  return kExitOk;
}

}  // namespace

void RegisterHistoryCommands(CLI::App& app, int& exitCode) {
  auto game = std::make_shared<std::string>();
  CLI::App* list = app.add_subcommand("history", "List the installations recorded in a game folder");
  list->add_option("--game", *game, "Game folder (the one holding dialog.tlk)")->required();
  list->footer("Each run is recorded in GAME/.veypatcher/runs. Exit status: 0 listed; 64 usage error.");
  list->callback([game, &exitCode] { exitCode = ShowHistory(*game); });

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
      "leaves the history. The undo is one transaction: cut short, it is completed or reversed by the next "
      "uninstall or install. Exit status: 0 undone; 1 refused, files changed after the run (names them); "
      "2 some files could not be put back (nothing was undone); 3 interrupted (nothing was undone); 4 no such "
      "run; 5 an installation is running in this game folder; 64 usage error.\n"
      "With --replay (and --run): refused (1, nothing changed) when a later run's mod folder or archive is "
      "missing or its files changed since it was installed, or a file changed outside the installer; 3 a "
      "later mod failed to install again and everything was put back as it was.");
  undo->callback([options, &exitCode] {
    exitCode = options->replay ? UninstallWithReplay(GameFolder(options->game), options->run)
                               : Uninstall(options->game, options->run, options->force);
  });
}

}  // namespace vey::cli
