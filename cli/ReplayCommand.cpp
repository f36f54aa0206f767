// ReplayCommand: undo the later runs, then the run, then install the later
// mods again, all put back when a step fails.
#include "cli/ReplayCommand.h"

#include <iostream>

#include "cli/CliCommon.h"
#include "cli/InstallCommand.h"
#include "cli/JournalOutput.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "engine/run/UReplay.h"
#include "engine/run/UTransaction.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

constexpr int kReplayRefused = 1;
constexpr int kReplayIncomplete = 2;
constexpr int kExitReinstallFailed = 3;
constexpr int kExitNoRun = 4;

std::string Text(const std::string& message) { return platform::TerminalText(message); }

void List(const std::vector<std::string>& items) {
  for (const std::string& item : items) std::cout << "  " << Text(PathText(item)) << '\n';
}

}  // namespace

int UninstallWithReplay(const std::string& gameFolder, const std::string& id, const ReplayOptions& given) {
  TRunHistory history(gameFolder);
  try {
    history.Lock("uninstall");
    RecoverFirst(history);
  } catch (const ERunRefused& e) {
    std::cout << Text(e.what()) << '\n';
    return e.Code() == kRefusedLocked ? kExitLocked : kExitJournal;
  }

  TReplay replay(history, gameFolder);
  std::vector<TRecordRight> granted;
  if (!given.compiler.empty()) granted.push_back(GivenRight(TRecordRight::Kind::Compiler, given.compiler));
  if (given.noSandbox) granted.push_back(GivenRight(TRecordRight::Kind::NoSandbox));
  if (!given.backupDir.empty()) granted.push_back(GivenRight(TRecordRight::Kind::BackupDir, given.backupDir));
  for (const std::string& pick : given.picks) granted.push_back(GivenRight(TRecordRight::Kind::Pick, pick));
  replay.Grant(std::move(granted));
  std::vector<std::string> refusals;
  if (id.empty() || !replay.Plan(id, refusals)) {
    std::cout << (id.empty() ? std::string("--replay needs the run to take out (--run ID; see history).")
                             : "No run " + Text(id) + " is recorded in this game folder (see history).")
              << '\n';
    return id.empty() ? kExitUsage : kExitNoRun;
  }
  if (!refusals.empty()) {
    std::cout << "Refusing to take run " << Text(id) << " out; nothing was changed:\n";
    List(refusals);
    return kReplayRefused;
  }

  const auto& later = replay.Later();
  if (later.empty())
    std::cout << "Run " << Text(id) << " is the latest; undoing it.\n";
  else
    std::cout << "Undoing the " << Counted(later.size(), "later run") << " and run " << Text(id)
              << ", then installing the later mods again in their order.\n";
  std::vector<std::string> problems;
  try {
    problems = replay.Undo();
  } catch (const Exception& e) {
    std::cout << Text(e.what()) << "\nNothing was changed.\n";
    return kReplayIncomplete;
  }
  if (!problems.empty()) {
    std::cout << "These files could not be put back:\n";
    List(problems);
    return kReplayIncomplete;
  }

  for (std::size_t n = 0; n < later.size(); ++n) {
    const TRunSource& source = replay.Sources()[n];
    std::cout << "\nInstalling again (" << n + 1 << "/" << later.size() << ") "
              << Text(PathText(source.modFolder))
              << (source.installationType.empty() ? std::string() : ", type " + Text(source.installationType))
              << " (was run " << Text(later[n].id) << "):\n"
              << std::flush;
    // Whatever ends the reinstall (a usage error from a record that no
    // longer fits the mod, an unforeseen failure) must still reach the
    // rollback below.
    int code = kExitAborted;
    try {
      code = InstallAgain(source, gameFolder, given.compileTimeout);
    } catch (const CLI::ParseError& e) {
      std::cout << Text(e.what()) << '\n';
    } catch (const std::exception& e) {
      std::cout << "An unhandled error occured! " << Text(e.what()) << '\n';
    }
    if (ReinstalledAsBefore(code, later[n].verdict)) continue;
    std::cout << "\nInstalling " << Text(PathText(source.modFolder))
              << (code == kExitErrors || code == kExitWarnings
                      ? " again ended with errors or warnings it did not have before"
                      : " again failed")
              << "; putting back everything this command changed...\n";
    const std::vector<std::string> left = replay.RollBack();
    if (!left.empty()) {
      std::cout << "These could not be put back:\n";
      List(left);
      return kReplayIncomplete;
    }
    std::cout << "The game and its history are as they were before this command.\n";
    return kExitReinstallFailed;
  }
  replay.Done();
  std::cout << "\nRun " << Text(id) << " was taken out";
  if (!later.empty()) std::cout << " and the " << Counted(later.size(), "later mod") << " installed again";
  std::cout << ".\n";
  return kExitOk;
}

}  // namespace vey::cli
