// URunHistory: listing, checking and undoing recorded runs.
#include "engine/URunHistory.h"

#include <set>

#include "common/StrFormat.h"
#include "engine/UTransaction.h"
#include "engine/UUndoTransaction.h"

namespace vey {

TRunHistory::TRunHistory(std::string gameFolder) : game_(std::move(gameFolder)) {}

void TRunHistory::Lock(const std::string& who) {
  std::string pid, mod;
  if (!lock_.TryTake(game_, who, pid, mod))
    throw ERunRefused(FormatMsg("Another installation is running in this game folder (process %s, mod "
                                "\"%s\"). Wait for it to finish, then try again.",
                                {pid, mod}),
                      kRefusedLocked);
}

std::vector<std::string> TRunHistory::RecoverUnfinished() {
  RecoverUndo();
  std::vector<std::string> recovered;
  for (const platform::RunRecord& run : Runs()) {
    if (run.Finished()) continue;
    platform::RollbackResult r = platform::RollBackStoredRun(game_, run.id);
    if (!r.problems.empty())
      throw EFCreateError(FormatMsg("Unable to put back the files of the unfinished run %s: %s",
                                    {run.id, r.problems.front()}));
    recovered.push_back(run.id);
  }
  return recovered;
}

std::vector<TRecoveredUndo> TRunHistory::RecoverUndo() { return RecoverUndoJournals(game_); }

std::vector<platform::RunRecord> TRunHistory::Runs() const { return platform::ListRuns(game_); }

std::optional<platform::RunRecord> TRunHistory::Find(const std::string& id) const {
  std::vector<platform::RunRecord> runs = Runs();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run)
    if (run->Finished() && (id.empty() || run->id == id)) return *run;
  return std::nullopt;
}

TUndoCheck TRunHistory::Check(const platform::RunRecord& run) const {
  TUndoCheck check;
  check.changedFiles = platform::ChangedSince(game_, run);
  std::set<std::string> paths;
  for (const platform::JournalFile& f : run.files) paths.insert(f.path);
  for (const platform::RunRecord& later : Runs()) {
    if (later.id <= run.id) continue;
    for (const platform::JournalFile& f : later.files)
      if (paths.contains(f.path)) {
        check.laterRuns.push_back(later.id);
        break;
      }
  }
  return check;
}

platform::RollbackResult TRunHistory::Undo(const platform::RunRecord& run, const std::atomic<bool>* cancel) {
  TUndoTransaction undo(game_, cancel);
  if (undo.Undo(run)) {
    undo.Commit();
    return undo.Done();
  }
  platform::RollbackResult failed;
  failed.problems = undo.Problems();
  // What cannot be reversed stays in the undo journal for the next start.
  for (const std::string& problem : undo.Abort().problems) failed.problems.push_back(problem);
  return failed;
}

}  // namespace vey
