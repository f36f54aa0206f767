// URunHistory: TRunHistory, the runs recorded in a game folder and the undo
// of one of them, for the command line and the window alike.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "engine/UUndoTransaction.h"
#include "platform/RunJournal.h"

namespace vey {

// Why a run cannot simply be undone.
struct TUndoCheck {
  // Files that are no longer as the run left them (a later run or a person
  // changed them); putting back the run's old versions would lose that.
  std::vector<std::string> changedFiles;
  // Later runs that changed files of this run; they must be undone first.
  std::vector<std::string> laterRuns;
  bool Clear() const { return changedFiles.empty() && laterRuns.empty(); }
};

class TRunHistory {
 public:
  explicit TRunHistory(std::string gameFolder);

  // One thing at a time per game folder: fails with ERunRefused (code 5)
  // when an installation is running. Held until the object goes.
  void Lock(const std::string& who);
  // Completes or reverses uninstallations a kill cut short. Needs the lock.
  std::vector<TRecoveredUndo> RecoverUndo();
  // Rolls back runs a crash left unfinished (after RecoverUndo); their ids.
  // Needs the lock.
  std::vector<std::string> RecoverUnfinished();

  // Oldest first.
  std::vector<platform::RunRecord> Runs() const;
  // The ended run with this id, or the latest ended run when id is empty.
  std::optional<platform::RunRecord> Find(const std::string& id) const;
  TUndoCheck Check(const platform::RunRecord& run) const;
  // Puts the game back as it was before the run and drops the run from the
  // history, as one transaction: when a file cannot be put back (listed in
  // the problems) or cancel is set (ECancelled), nothing is undone. Needs
  // the lock; callers check first unless told to force.
  platform::RollbackResult Undo(const platform::RunRecord& run, const std::atomic<bool>* cancel = nullptr);

 private:
  std::string game_;
  platform::RunLock lock_;
};

}  // namespace vey
