// URunHistory: TRunHistory, the runs recorded in a game folder and the undo
// of one of them, for the command line and the window alike.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/run/UUndoTransaction.h"
#include "platform/JournalCheck.h"
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

// Rolls back every run a crash left unfinished, telling before and after each.
// A run that cannot be put back (its record damaged or of another game
// folder, or its rollback failing, even part-way) raises ERunRefused code 6
// naming it and the way out; the runs after it are left as they are.
void RecoverUnfinishedRuns(const std::string& gameFolder,
                           const std::function<void(const platform::RunRecord&)>& before,
                           const std::function<void(const platform::RunRecord&, const platform::RollbackResult&)>& after);

class TRunHistory {
 public:
  explicit TRunHistory(std::string gameFolder);

  // One thing at a time per game folder: fails with ERunRefused (code 5)
  // when an installation is running, 6 when the journal cannot be trusted).
  // Held until the object goes. Gives the journal its identity.
  void Lock(const std::string& who);
  // Completes or reverses uninstallations a kill cut short. Needs the lock.
  std::vector<TRecoveredUndo> RecoverUndo();
  // Rolls back runs a crash left unfinished (after RecoverUndo, and after
  // finishing a reset that was cut short), then reverses a replay that was
  // cut short; the runs' ids. Needs the lock.
  std::vector<std::string> RecoverUnfinished();
  // The run that a replay reversed by RecoverUnfinished was taking out;
  // empty when there was none.
  const std::string& ReversedReplay() const { return reversedReplay_; }
  bool ResetPending() const;

  // Oldest first.
  std::vector<platform::RunRecord> Runs() const;
  // The recorded runs and the runs a reset undid, oldest first.
  std::vector<platform::RunRecord> AllRuns() const;
  // Every file the installer last wrote that is no longer as it left it.
  std::vector<platform::FileDrift> Verify() const;
  // The run with this id, or the latest ended or damaged run when id is
  // empty; a damaged one is for the caller to refuse.
  std::optional<platform::RunRecord> Find(const std::string& id) const;
  TUndoCheck Check(const platform::RunRecord& run) const;
  // Puts the game back as it was before the run and drops the run from the
  // history, as one transaction: when a file cannot be put back (listed in
  // the problems) or cancel is set (ECancelled), nothing is undone. Later
  // runs whose files it took back are marked partly undone. A damaged record
  // is refused. Needs the lock; callers check first unless told to force.
  platform::RollbackResult Undo(const platform::RunRecord& run, const std::atomic<bool>* cancel = nullptr);
  // Removes the run's record, leaving the game as it is. Needs the lock.
  bool Forget(const std::string& id);
  // Undoes every recorded run, newest first, as one transaction that the
  // next start finishes when it is cut short; their records stay, marked
  // undone. Needs the lock; callers check Verify() first unless told to force.
  platform::RollbackResult Reset();

 private:
  std::vector<std::string> RecoverAll();
  std::string game_;
  platform::RunLock lock_;
  std::string reversedReplay_;
};

}  // namespace vey
