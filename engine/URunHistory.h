// URunHistory: TRunHistory, the runs recorded in a game folder and the undo
// of one of them, for the command line and the window alike.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

class TRunHistory {
 public:
  explicit TRunHistory(std::string gameFolder);

  // One thing at a time per game folder: fails with ERunRefused (code 5)
  // when an installation is running. Held until the object goes.
  void Lock(const std::string& who);
  // Rolls back runs a crash left unfinished, after finishing a reset that
  // was cut short; their ids. Needs the lock.
  std::vector<std::string> RecoverUnfinished();
  bool ResetPending() const;

  // Oldest first.
  std::vector<platform::RunRecord> Runs() const;
  // The recorded runs and the runs a reset undid, oldest first.
  std::vector<platform::RunRecord> AllRuns() const;
  // Every file the installer last wrote that is no longer as it left it.
  std::vector<platform::FileDrift> Verify() const;
  // The ended run with this id, or the latest ended run when id is empty.
  std::optional<platform::RunRecord> Find(const std::string& id) const;
  TUndoCheck Check(const platform::RunRecord& run) const;
  // Puts the game back as it was before the run and drops the run from the
  // history; later runs whose files it took back are marked partly undone.
  // Needs the lock; callers check first unless told to force.
  platform::RollbackResult Undo(const platform::RunRecord& run);
  // Undoes every recorded run, newest first, as one transaction that the
  // next start finishes when it is cut short; their records stay, marked
  // undone. Needs the lock; callers check Verify() first unless told to force.
  platform::RollbackResult Reset();

 private:
  std::string game_;
  platform::RunLock lock_;
};

}  // namespace vey
