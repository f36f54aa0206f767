// URunHistory: listing, checking and undoing recorded runs.
#include "engine/run/URunHistory.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/StrFormat.h"
#include "engine/run/UReplay.h"
#include "engine/run/UTransaction.h"
#include "engine/run/UUndoTransaction.h"
#include "platform/JournalReset.h"

namespace vey {

void RecoverUnfinishedRuns(const std::string& gameFolder,
                           const std::function<void(const platform::RunRecord&)>& before,
                           const std::function<void(const platform::RunRecord&, const platform::RollbackResult&)>& after) {
  const auto wayOut = [&](const platform::RunRecord& run) {
    return FormatMsg("Nothing more was changed, and no installation can start until this is settled. Once the "
                     "game's files are as they should be (restored from a backup if need be), remove the run's "
                     "record with: veypatcher-cli uninstall --game \"%s\" --run %s --forget (the game files stay as "
                     "they are).",
                     {gameFolder, run.id});
  };
  // Every install starts here, so the common case (nothing unfinished) reads
  // only the runs' headers: whole records of every earlier run for each new
  // one would make a long mod list slow down as it goes.
  const std::vector<platform::RunRecord> headers = platform::ListRuns(gameFolder, platform::RunDetail::Header);
  if (std::all_of(headers.begin(), headers.end(), [](const auto& run) { return run.state == "finished"; })) return;
  for (const platform::RunRecord& run : platform::ListRuns(gameFolder)) {
    // An ended run's damage only keeps it from being undone; a run without
    // a sound "finished" may have left changes that nothing can put back.
    if (run.state == "finished") continue;
    if (run.Damaged()) {
      std::string list;
      for (const std::string& problem : run.damage) list += (list.empty() ? "" : "; ") + ("runs/" + run.id + "/" + problem);
      // One line: the message also goes into the progress log.
      throw ERunRefused(FormatMsg("The unfinished run %s cannot be put back: its record is damaged or not this "
                                  "game folder's (%s). ",
                                  {run.id, list}) +
                            wayOut(run),
                        kRefusedJournal);
    }
    if (before) before(run);
    const platform::RollbackResult r = platform::RollBackStoredRun(gameFolder, run.id);
    if (!r.problems.empty()) {
      std::string list;
      for (const std::string& problem : r.problems) list += (list.empty() ? "" : "; ") + problem;
      throw ERunRefused(FormatMsg(r.refused ? "The unfinished run %s cannot be put back: its record is damaged (%s). "
                                            : "The unfinished run %s could not be put back completely; these files "
                                              "were not: %s. Its journal keeps their old versions. ",
                                  {run.id, list}) +
                            wayOut(run),
                        kRefusedJournal);
    }
    if (after) after(run, r);
  }
}

TRunHistory::TRunHistory(std::string gameFolder) : game_(std::move(gameFolder)) {}

void TRunHistory::Lock(const std::string& who) {
  TakeRunLock(lock_, game_, who);
  try {
    platform::EnsureJournalIdentity(game_);
  } catch (const platform::EJournalUnusable& e) {
    throw ERunRefused(e.what(), kRefusedJournal);
  }
}

bool TRunHistory::ResetPending() const { return platform::ResetPending(game_); }

std::vector<std::string> TRunHistory::RecoverUnfinished() {
  try {
    return RecoverAll();
  } catch (const platform::EJournalUnusable& e) {
    // Something planted in the journal stops the command before anything changes.
    throw ERunRefused(e.what(), kRefusedJournal);
  }
}

std::vector<std::string> TRunHistory::RecoverAll() {
  RecoverUndo();
  std::vector<std::string> recovered;
  if (platform::ResetPending(game_)) {
    const platform::RollbackResult r = platform::CompleteReset(game_);
    if (!r.problems.empty())
      throw ERunRefused(FormatMsg("Unable to finish the interrupted reset: %s. Nothing more was changed; run "
                                  "reset again to retry.",
                                  {r.problems.front()}),
                        kRefusedJournal);
  }
  RecoverUnfinishedRuns(game_, {}, [&](const platform::RunRecord& run, const platform::RollbackResult&) {
    recovered.push_back(run.id);
  });
  // After the runs: a reinstall the kill cut short is one of them.
  reversedReplay_ = TReplay::RecoverCutShort(*this, game_).value_or("");
  return recovered;
}

std::vector<TRecoveredUndo> TRunHistory::RecoverUndo() { return RecoverUndoJournals(game_); }

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
    if (id.empty() ? run->Finished() || run->Damaged() : run->id == id) return *run;
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

platform::RollbackResult TRunHistory::Undo(const platform::RunRecord& run, const std::atomic<bool>* cancel) {
  if (run.Damaged()) {
    platform::RollbackResult refused;
    for (const std::string& problem : run.damage) refused.problems.push_back("runs/" + run.id + "/" + problem);
    refused.refused = true;
    return refused;
  }
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
  TUndoTransaction undo(game_, cancel);
  if (undo.Undo(run)) {
    // Marked once every file is back and before the commit point: an undo
    // that fails or is cancelled leaves the later runs whole, and marks lost
    // after the commit would leave them looking whole when they are not.
    for (const auto& [id, taken] : marks) platform::MarkPartlyUndone(game_, id, taken);
    undo.Commit();
    return undo.Done();
  }
  platform::RollbackResult failed;
  failed.problems = undo.Problems();
  // What cannot be reversed stays in the undo journal for the next start.
  for (const std::string& problem : undo.Abort().problems) failed.problems.push_back(problem);
  return failed;
}

bool TRunHistory::Forget(const std::string& id) {
  try {
    return platform::ForgetRun(game_, id);
  } catch (const platform::EJournalUnusable& e) {
    throw EPathError(e.what());
  }
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
