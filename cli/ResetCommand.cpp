// ResetCommand: one question, the check for files changed outside the
// installer, then every run undone newest first as one transaction.
#include "cli/ResetCommand.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cli/CliCommon.h"
#include "cli/InstallCommand.h"
#include "cli/JournalOutput.h"
#include "common/StrFormat.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UTransaction.h"
#include "platform/Headless.h"

namespace vey::cli {
namespace {

constexpr int kExitNothing = 4;     // nothing recorded, or the question answered No

struct ResetOptions {
  std::string game;
  bool yes = false, force = false;
};

int Reset(const ResetOptions& options) {
  TRunHistory history(GameFolder(options.game));
  try {
    history.Lock("reset");
  } catch (const ERunRefused& e) {
    std::cout << e.what() << '\n';
    return e.Code() == kRefusedLocked ? kExitLocked : kExitJournal;
  }
  if (history.ResetPending()) std::cout << "A reset of this game folder was cut short; finishing it first.\n";
  try {
    RecoverFirst(history);
  } catch (const ERunRefused& e) {
    std::cout << e.what() << '\n';
    return kExitJournal;
  } catch (const Exception& e) {
    std::cout << e.what() << "\nRun reset again to retry.\n";
    return kExitIncomplete;
  }
  std::vector<platform::RunRecord> runs;
  std::vector<platform::RunRecord> damaged;
  for (platform::RunRecord& run : history.Runs())
    if (run.Damaged())
      damaged.push_back(std::move(run));
    else if (run.Finished())
      runs.push_back(std::move(run));
  // A damaged record is never acted upon: the game could not be put back as
  // it was before the first run.
  if (!damaged.empty()) {
    std::cout << "Refusing to reset: these records cannot be used:";
    for (const platform::RunRecord& run : damaged)
      for (const std::string& problem : run.damage) std::cout << "\n  runs/" << run.id << '/' << problem;
    std::cout << "\nNothing was changed. \"uninstall --run ID --forget\" removes such a record and leaves the game "
                 "files as they are.\n";
    return kExitJournal;
  }
  if (runs.empty()) {
    std::cout << "No installation is recorded in this game folder; there is nothing to reset.\n";
    return kExitNothing;
  }
  const auto drifts = history.Verify();
  if (!drifts.empty()) {
    std::cout << (options.force ? "Resetting anyway (--force); these changes made outside the installer will be lost:"
                                : "Refusing to reset: these files changed outside the installer since it wrote them:")
              << '\n';
    for (const auto& d : drifts) std::cout << "  " << d.state << "  " << d.path << "  (run " << d.run << ")\n";
    if (!options.force) {
      std::cout << "Put them back, or give --force to undo every installation anyway.\n";
      return kExitRefused;
    }
  }
  std::string list;
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) list += "\n  " + run->id;
  platform::HeadlessMessageBoxes messages(platform::Console::Standard(),
                                          options.yes ? std::optional<bool>(true) : std::nullopt);
  const std::string question =
      FormatMsg("Undo all %s recorded installations, newest first, and put the game back as it was before the "
                "first?%s",
                {std::to_string(runs.size()), list});
  if (!messages.AskYesNo(question)) {
    std::cout << "Nothing was changed.\n";
    return kExitNothing;
  }
  const platform::RollbackResult result = history.Reset();
  if (!result.problems.empty()) {
    std::cout << "These files could not be put back:";
    for (const std::string& problem : result.problems) std::cout << "\n  " << problem;
    std::cout << "\nThe reset is not finished; run reset again (or any install) to finish it.\n";
    return kExitIncomplete;
  }
  std::cout << "Reset done: " << runs.size() << " installations undone, " << result.restored << " files put back, "
            << result.removed << " new files and folders removed. The history keeps them, marked undone.\n";
  return kExitOk;
}

}  // namespace

void RegisterResetCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ResetOptions>();
  CLI::App* command = app.add_subcommand("reset", "Undo every recorded installation in a game folder");
  command->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  command->add_flag("--yes", options->yes, "Answer Yes to the question");
  command->add_flag("--force", options->force, "Undo even files changed outside the installer since");
  command->footer(
      "Undoes every recorded run, newest first, after one question, leaving the game as it was before the "
      "first. Refuses while files the installer wrote have changed since (names them) unless --force. One "
      "transaction: when cut short, the next reset, uninstall or install finishes it. The runs stay in "
      "history, marked undone. Exit status: 0 done; 1 refused, files changed outside the installer; 2 some "
      "files could not be put back; 4 nothing recorded, or answered No; 5 an installation is running in "
      "this game folder; 6 the journal cannot be used (a damaged record, nothing was changed); 64 usage error.");
  command->callback([options, &exitCode] { exitCode = Reset(*options); });
}

}  // namespace vey::cli
