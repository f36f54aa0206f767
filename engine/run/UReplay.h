// UReplay: taking one run out of the middle of a game's history: the later
// runs are undone newest first, then the run, and the later runs installed
// again in their first order. TReplay checks before anything changes and
// keeps what it needs to put the game and its history back as they were
// when a step fails.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/run/URunHistory.h"
#include "engine/support/URecordRights.h"
#include "engine/support/URunSource.h"

namespace vey {

class TReplay {
 public:
  // history must hold the game folder's lock.
  TReplay(TRunHistory& history, std::filesystem::path gameFolder);
  ~TReplay();
  TReplay(const TReplay&) = delete;
  TReplay& operator=(const TReplay&) = delete;

  // Settles the run and the later ones and checks that each later mod can
  // be installed again as it was and that no file changed outside the
  // installer since; the reasons it cannot, each naming its run. False when
  // id names no ended run.
  // A later run whose record asks for a compiler, no sandbox or a backup
  // folder is refused unless the person granted it before (Grant).
  // replaced: later runs that the caller installs anew in a newer version
  // rather than again as they were; their sources are not checked.
  bool Plan(const std::string& id, std::vector<std::string>& refusals, const std::set<std::string>& replaced = {});
  // What the person gives for the reinstalls (the command line's options, or
  // what they confirmed in the window); nothing by default.
  void Grant(std::vector<TRecordRight> given) { granted_ = std::move(given); }
  // After Plan: what the later runs' records asked for, by run id.
  const std::vector<std::pair<std::string, TRecordRight>>& Asked() const { return asked_; }
  const platform::RunRecord& Target() const { return target_; }
  // Oldest first, with their sources.
  const std::vector<platform::RunRecord>& Later() const { return later_; }
  const std::vector<TRunSource>& Sources() const { return sources_; }

  // Keeps the present version of every file the runs changed and a copy of
  // their records, then undoes the later runs and the run. Problems are
  // files that could not be put back; the game is then put back as it was.
  std::vector<std::string> Undo();
  // After the reinstalls: the records of runs made since Undo are the new
  // ones. Rolls them back, newest first, then puts every kept file and
  // record back: the game and its history are as before Undo.
  std::vector<std::string> RollBack();
  // Everything went well: the kept versions are dropped.
  void Done();

  // A replay cut short by a kill leaves what it kept in GAME/.veypatcher/
  // replay. Run with the lock held and after the unfinished runs were rolled
  // back: puts the game and its history back as they were before that
  // replay. Empty when there was none to reverse (a replay killed before it
  // changed anything only leaves copies, which go); else the id of the run
  // it was taking out. Raises ERunRefused (code 6) when something cannot be
  // put back, keeping the folder.
  static std::optional<std::string> RecoverCutShort(TRunHistory& history, const std::filesystem::path& gameFolder);

 private:
  void Keep();
  std::vector<std::string> PutBack();
  // Reads what Keep wrote down; false when Keep did not finish.
  bool ReadKept();
  void Drop();

  TRunHistory& history_;
  std::filesystem::path game_;
  std::filesystem::path keep_;  // GAME/.veypatcher/replay
  platform::RunRecord target_;
  std::vector<platform::RunRecord> later_;
  std::vector<TRunSource> sources_;
  std::vector<TRecordRight> granted_;
  std::vector<std::pair<std::string, TRecordRight>> asked_;
  std::vector<std::string> idsBefore_;  // every recorded run before Undo
  struct KeptFile {
    std::string path;  // relative to the game folder
    bool existed = false;
  };
  std::vector<KeptFile> kept_;
};

}  // namespace vey
