// RunRecords: reading a game folder's journal back. Every reader (recovery,
// uninstall, history and whatever comes later) goes through here, and here
// every journal file is read as untrusted input: a run whose record does not
// hold together is marked damaged, naming the file and line, and is never
// acted upon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/VeyException.h"
#include "platform/JournalLayout.h"

namespace vey::platform {

struct RunRecord;
class JournalFolder;

// How much of each run's record a listing reads. The header (run.txt) is
// enough to know a run's state, source and verdict; only the whole record
// holds its file list and the damage found in it.
enum class RunDetail { Whole, Header };

// The journal folder cannot be used as it is (a link, another file system,
// a damaged identity, the lock not a file); nothing was changed.
VEY_DECLARE_FAILURE(EJournalUnusable);

namespace journal {

// Record values may hold any byte but the separators of the record itself.
std::string Escape(std::string_view text);
// The text back, or nothing when an escape is broken.
std::optional<std::string> Unescape(std::string_view text);
std::vector<std::string_view> SplitTabs(std::string_view line);
// Only complete lines: a line cut short by a crash was never acted upon.
std::vector<std::string> ReadLines(const std::filesystem::path& path);

// run.txt's text for a record.
std::string RecordText(const RunRecord& record);

// Why a recorded game path (relative to the game folder, '/' between
// components) may not be acted upon, or nothing when it may.
std::optional<std::string> PathProblem(std::string_view path);

}  // namespace journal

// One change of a run as rollback reads it back.
struct StoredChange {
  std::size_t number = 0;  // the order of first change
  std::string kind;        // "file", "folder" (created) or "rmdir" (removed)
  bool existed = false;
  std::string path;     // relative to the game folder, checked
  std::string oldName;  // the old version's name in pre/, when it is there
};

// The run's changes, oldest first, completed from the names of the old
// versions (a crash may have cut lines never forced to disk). Problems go to
// damage; a caller acts on the changes only when there are none.
std::vector<StoredChange> ReadStoredChanges(const JournalFolder& runFolder, std::vector<std::string>& damage);
std::vector<StoredChange> ReadStoredChanges(const std::filesystem::path& runFolder, std::vector<std::string>& damage);

// The run's record with every problem of run.txt and files.txt in its
// damage; nothing when the folder holds no record at all. A header leaves the
// file list (and its damage) unread.
std::optional<RunRecord> ReadRunRecord(const JournalFolder& runFolder, const std::string& id,
                                       RunDetail detail = RunDetail::Whole);
std::optional<RunRecord> ReadRunRecord(const std::filesystem::path& runFolder, RunDetail detail = RunDetail::Whole);

// The random id of the game folder's journal, empty when none was made yet.
// Raises EJournalUnusable when the file is there but not an id.
std::string ReadJournalIdentity(const std::filesystem::path& gameFolder);
// The id, made at the first run (then every run recorded before it is
// adopted). Call with the lock held.
std::string EnsureJournalIdentity(const std::filesystem::path& gameFolder);

// Refuses (EJournalUnusable) a journal folder or runs folder that is a link,
// not a folder, or on another file system than the game; creates them when
// missing.
void PrepareJournalHome(const std::filesystem::path& gameFolder);

// Removes a run's record, never following a link; the game is not touched.
// False when there is no such run. Raises EJournalUnusable for an id that is
// not a plain name.
bool ForgetRun(const std::filesystem::path& gameFolder, const std::string& id);

}  // namespace vey::platform
