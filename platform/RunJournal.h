// RunJournal: the record of one run kept in the game folder, so that the run
// can be undone. Before a file first changes, its old version is kept beside
// the record (a hard link: every save replaces its target by rename, so the
// old file stays as it was), under a name that carries the file's path, and
// a line naming it is written to the record. Making the link is itself a
// change of names, which the file system's own journal keeps in order with
// the rename that later replaces the file: the old version reaches the disk
// first without a forced write per file. Rolling back puts every old version
// back and removes what the run created.
//
// Layout: GAME/.veypatcher/runs/ID/ with run.txt (what the run was), changes.log
// (one line per file or folder, in the order of first change), pre/N~PATH (the
// old version of change N) and, once the run has ended, files.txt (every file with
// its size and SHA-256 before and after).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DigestWorker.h"
#include "platform/GameFileSystem.h"
#include "platform/RunRecords.h"

namespace vey::platform {

// One file a run changed.
struct JournalFile {
  std::string path;    // relative to the game folder, '/' between components
  std::string action;  // "modified", "created" or "removed"
  bool existedBefore = false, existsAfter = false;
  std::uint64_t sizeBefore = 0, sizeAfter = 0;
  std::string sha256Before, sha256After;  // empty when the file was not there
  // What the file looked like when the run ended; a later change shows here
  // without reading the file.
  std::uint64_t inodeAfter = 0;
  std::int64_t mtimeAfterNs = 0;
};

// A file of a later run that a forced uninstall of an earlier run put back.
struct UndoneFile {
  std::string path;
  bool exists = false;  // as the uninstall left it
  std::string sha256;
  std::string by;  // the run whose uninstall did it
};

struct RunRecord {
  std::string id;  // the run's folder name: UTC date and time, then the mod
  std::string modFolder;
  std::string instructionFile;
  std::string instructionSha256;
  std::string installationType;  // empty: the only one
  std::string caption;           // the window caption the mod sets
  std::string started, ended;    // "YYYY-MM-DD HH:MM:SS" UTC; ended empty while running
  std::string state;             // "running" until the run ends, then "finished"
  std::string verdict;           // "ok", "warnings", "errors" or "failed"
  std::string journal;           // the id of the game folder's journal it was recorded in
  std::vector<JournalFile> files;  // filled when the run has ended
  // Files whose changes a forced uninstall of an earlier run took back.
  std::vector<UndoneFile> partlyUndone;
  // Undone as a whole by a reset; its record is kept for the history.
  bool undone = false;
  // What does not hold together in the record ("files.txt, line 3: ..."), or
  // why it is not this game folder's: such a run is shown, never acted upon.
  std::vector<std::string> damage;

  bool Finished() const { return state == "finished" && damage.empty(); }
  bool Damaged() const { return !damage.empty(); }
};

// What a rollback did; problems are files it could not put back.
struct RollbackResult {
  int restored = 0;  // old versions put back
  int removed = 0;   // files and folders the run had created, removed
  std::vector<std::string> problems;
  // The record does not hold together (the problems say where): nothing was
  // touched.
  bool refused = false;
};

// An install's run lives in .veypatcher/runs; the undo of runs keeps its own
// journal in .veypatcher/undo, and needs no digests.
enum class JournalKind { kRun, kUndo };

class RunJournal : public FileChangeObserver {
 public:
  // Creates the run's folder and its run.txt (state "running"), forced to
  // disk, and starts watching files. Fails with EFCreateError.
  RunJournal(GameFileSystem& files, std::filesystem::path gameFolder, RunRecord header,
             JournalKind kind = JournalKind::kRun);
  ~RunJournal() override;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  void BeforeChange(const FileChange& change) override;

  // Stops watching, measures every file before and after (size, SHA-256)
  // and writes the record with the verdict; the run stays undoable.
  void Finish(const std::string& verdict);
  // Stops watching and undoes the run; the journal is removed when
  // everything was put back.
  RollbackResult RollBack();

  const RunRecord& Record() const { return record_; }
  const std::filesystem::path& Folder() const { return folder_; }
  // The run's folder, open.
  const JournalFolder& Handle() const { return *dir_; }
  std::size_t ChangeCount() const { return entries_.size(); }

 private:
  struct Entry {
    std::string kind;  // "file", "folder" (created) or "rmdir" (removed)
    bool existed = false;
    std::string path;  // relative
    std::size_t digestBefore = 0;  // ticket of the old version's digest
    std::string oldName;           // of the old version in pre/
  };
  void Touch(const std::filesystem::path& path);
  void TouchFolders(const std::filesystem::path& path);
  void Log(const Entry& entry, bool sync);
  std::optional<std::string> Relative(const std::filesystem::path& path) const;
  void StopWatching();

  GameFileSystem& files_;
  std::unique_ptr<JournalFolder> parent_, dir_, pre_;  // runs/ (or undo/), the run's folder, its pre/
  std::filesystem::path game_;
  std::filesystem::path folder_;
  RunRecord record_;
  std::vector<Entry> entries_;
  std::set<std::string> seen_;
  int logFd_ = -1;
  bool watching_ = false;
  bool digest_ = true;
  DigestWorker digests_;
};

// GAME/.veypatcher, where the journal and the lock live.
std::filesystem::path JournalHome(const std::filesystem::path& gameFolder);

// "NAME.vey-PID-N.tmp": the name under which a save writes its new file
// before renaming it over the target; one left behind is an unfinished save.
bool IsWriterTemp(std::string_view name);
// Every run recorded in the game folder, oldest first, damaged ones (and
// those of another game folder) included with their damage.
std::vector<RunRecord> ListRuns(const std::filesystem::path& gameFolder, RunDetail detail = RunDetail::Whole);
// Undoes a recorded run from its old versions (after an interrupted run, or
// to uninstall one) and removes its folder when everything was put back. A
// damaged record changes nothing: its damage comes back as the problems.
RollbackResult RollBackStoredRun(const std::filesystem::path& gameFolder, const std::string& id);
// Undoes the journal kept in folder (a run's, or an undo's) and removes it
// when everything was put back.
RollbackResult RollBackJournal(const std::filesystem::path& gameFolder, const std::filesystem::path& folder);
// The same for the record `name` in the open folder `parent`.
RollbackResult RollBackJournal(const std::filesystem::path& gameFolder, const JournalFolder& parent,
                               const std::string& name);

// One recorded change of a run, as its undo needs it.
struct RecordedChange {
  std::string kind;  // "file", "folder" (created) or "rmdir" (removed)
  bool existed = false;
  std::string path;                 // relative to the game folder, checked
  std::filesystem::path oldVersion;  // in pre/; empty when there is none
  std::string oldName;               // its name in pre/
};
// The changes recorded in a run's folder, in the order they were made; a
// record that does not hold together gives none, and its problems in damage.
std::vector<RecordedChange> StoredChanges(const std::filesystem::path& runFolder, std::vector<std::string>& damage);
std::vector<RecordedChange> StoredChanges(const JournalFolder& runFolder, std::vector<std::string>& damage);
// Written beside, forced to disk and renamed over, reached by handle from
// the journal folder.
void WriteJournalText(const std::filesystem::path& path, std::string_view text);
// The runs a reset undid, oldest first (GAME/.veypatcher/undone).
std::vector<RunRecord> ListUndoneRuns(const std::filesystem::path& gameFolder);
// Removes the old versions run `id` keeps of these files, so that undoing it
// leaves them as they are.
void DropOldVersions(const std::filesystem::path& gameFolder, const std::string& id,
                     const std::vector<std::string>& paths);

// One run per game folder: an advisory lock on GAME/.veypatcher/lock that
// the system drops when the process ends, however it ends.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // True when taken (the file then names this process and the mod); false
  // when another process holds it, with what it wrote there (both empty when
  // that process is only starting). Raises EJournalUnusable when the journal
  // folder or the lock file cannot be trusted.
  bool TryTake(const std::filesystem::path& gameFolder, const std::string& mod,
               std::string& holderPid, std::string& holderMod);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace vey::platform
