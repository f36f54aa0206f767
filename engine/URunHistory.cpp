// URunHistory: listing, checking and undoing recorded runs.
#include "engine/URunHistory.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/StrFormat.h"
#include "engine/UTransaction.h"
#include "platform/JournalReset.h"

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

bool TRunHistory::ResetPending() const { return platform::ResetPending(game_); }

std::vector<std::string> TRunHistory::RecoverUnfinished() {
  std::vector<std::string> recovered;
  if (platform::ResetPending(game_)) {
    const platform::RollbackResult r = platform::CompleteReset(game_);
    if (!r.problems.empty())
      throw EFCreateError(FormatMsg("Unable to finish the interrupted reset: %s", {r.problems.front()}));
  }
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

std::vector<platform::RunRecord> TRunHistory::Runs() const { return platform::ListRuns(game_); }

std::vector<platform::RunRecord> TRunHistory::AllRuns() const {
  std::vector<platform::RunRecord> runs = platform::ListRuns(game_);
  for (platform::RunRecord& run : platform::ListUndoneRuns(game_)) runs.push_back(std::move(run));
  std::stable_sort(runs.begin(), runs.end(),
                   [](const platform::RunRecord& a, const platform::RunRecord& b) { return a.id < b.id; });
  return runs;
}

std::vector<platform::FileDrift> TRunHistory::Verify() const {
  return platform::FindDrifts(game_, platform::LastWrites(Runs()));
}

std::optional<platform::RunRecord> TRunHistory::Find(const std::string& id) const {
  std::vector<platform::RunRecord> runs = Runs();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run)
    if (run->Finished() && (id.empty() || run->id == id)) return *run;
  return std::nullopt;
}

TUndoCheck TRunHistory::Check(const platform::RunRecord& run) const {
  TUndoCheck check;
  for (const platform::FileDrift& drift : platform::FindDrifts(game_, platform::LastWrites({run})))
    check.changedFiles.push_back(drift.path);
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

platform::RollbackResult TRunHistory::Undo(const platform::RunRecord& run) {
  // What putting this run's old versions back does to later runs' files:
  // those files return to the state before this run.
  std::map<std::string, const platform::JournalFile*> mine;
  for (const platform::JournalFile& f : run.files) mine[f.path] = &f;
  std::vector<std::pair<std::string, std::vector<platform::UndoneFile>>> marks;
  for (const platform::RunRecord& later : Runs()) {
    if (later.id <= run.id || !later.Finished()) continue;
    std::vector<platform::UndoneFile> taken;
    for (const platform::JournalFile& f : later.files)
      if (auto m = mine.find(f.path); m != mine.end())
        taken.push_back({f.path, m->second->existedBefore, m->second->sha256Before, run.id});
    if (!taken.empty()) marks.emplace_back(later.id, std::move(taken));
  }
  // Marked first: an uninstall cut short is finished by running it again,
  // while marks lost after it would leave the later runs looking whole.
  for (const auto& [id, taken] : marks) platform::MarkPartlyUndone(game_, id, taken);
  return platform::RollBackStoredRun(game_, run.id);
}

platform::RollbackResult TRunHistory::Reset() {
  std::vector<std::string> newestFirst;
  const std::vector<platform::RunRecord> runs = Runs();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run)
    if (run->Finished()) newestFirst.push_back(run->id);
  platform::BeginReset(game_, newestFirst);
  return platform::CompleteReset(game_);
}

}  // namespace vey
