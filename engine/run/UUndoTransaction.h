// UUndoTransaction: TUndoTransaction, the undo of one or more recorded runs
// as one change of the game folder with a journal of its own, so that a kill
// at any moment leaves either the game as the runs left it or the runs
// wholly undone. Uninstall undoes one run; undoing every run, or the later
// runs before reinstalling them, is the same transaction with more runs.
//
// The runs' old versions are never moved: each is linked (or copied) into
// place, and the journal in GAME/.veypatcher/undo/ID keeps what it replaced.
// The commit point is the list of undone runs written durably there
// ("undone.txt"); only then do the runs leave the history. Recovery rolls
// back an undo journal without that list and completes one with it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/GameFileSystem.h"
#include "platform/RunJournal.h"

namespace vey {

class TUndoTransaction {
 public:
  // Starts the undo journal. The caller holds the game folder's lock.
  explicit TUndoTransaction(std::string gameFolder, const std::atomic<bool>* cancel = nullptr);
  // Rolls back what was not committed.
  ~TUndoTransaction();
  TUndoTransaction(const TUndoTransaction&) = delete;
  TUndoTransaction& operator=(const TUndoTransaction&) = delete;

  // Puts the game back as it was before run, newest change first. Returns
  // false, with the files that could not be put back in Problems(), when a
  // file could not; raises ECancelled when asked to stop. Either way the
  // caller then aborts.
  bool Undo(const platform::RunRecord& run);
  // The undone runs leave the history; the undo cannot be reversed any more.
  void Commit();
  // Every change made so far is reversed; the runs stay recorded.
  platform::RollbackResult Abort();

  const platform::RollbackResult& Done() const { return done_; }
  const std::vector<std::string>& Problems() const { return done_.problems; }

  // For tests: called at the named moments of Commit ("committed", when the
  // list is on disk, and "moved", when the runs left the history); the file
  // layer through which every change is made, for observers.
  std::function<void(std::string_view moment)> onMoment;
  platform::GameFileSystem& Files() { return files_; }

 private:
  void UndoChange(const platform::RecordedChange& change);

  std::string game_;
  const std::atomic<bool>* cancel_;
  platform::GameFileSystem files_;
  std::unique_ptr<platform::RunJournal> journal_;
  // The old versions of the run being undone, open.
  std::unique_ptr<platform::JournalFolder> pre_;
  std::vector<std::string> undone_;
  platform::RollbackResult done_;
};

// An undo that a kill cut short, as recovery found it.
struct TRecoveredUndo {
  std::string name;        // of its journal folder
  bool completed = false;  // past its commit point: finished; else reversed
};
// Finishes or reverses undo journals a kill left in the game folder: one
// with its list of undone runs is completed, one without it rolled back.
// Needs the lock. Fails with EFCreateError naming a file that could not be
// put back.
std::vector<TRecoveredUndo> RecoverUndoJournals(const std::string& gameFolder);

}  // namespace vey
