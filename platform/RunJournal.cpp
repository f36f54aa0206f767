// RunJournal: old versions kept by hard link, a line per changed file, and
// the rollback that puts them back.
#include "platform/RunJournal.h"
#include "platform/GameLinks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/Sha256.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "platform/FilePlacement.h"
#include "platform/JournalCheck.h"
#include "platform/JournalDir.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

using journal::Escape;
constexpr std::string_view kHome = journal::kHomeName;

std::string UtcNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buffer[64];
  return std::string(buffer, std::strftime(buffer, sizeof buffer, format, &utc));
}

// "YYYYMMDD-HHMMSS.mmm" in UTC: runs started within one second still sort
// in order.
std::string RunStamp() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char buffer[64];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &utc);
  std::snprintf(buffer + n, sizeof buffer - n, ".%03d", static_cast<int>(now.tv_nsec / 1000000));
  return buffer;
}

// A folder name from the mod's: letters, digits, '-', '_' and '.'.
std::string SafeName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (out.size() >= 40) break;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    out += plain ? c : '_';
  }
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  return out.empty() ? "mod" : out;
}

[[noreturn]] void Fail(std::string_view what, const fs::path& path, int err) {
  throw EFCreateError(FormatMsg("Cannot %s \"%s\". %s", {what, PathText(path), SystemReason(err)}));
}


void WriteAllFd(int fd, std::string_view text, const fs::path& path) {
  while (!text.empty()) {
    ssize_t w = ::write(fd, text.data(), text.size());
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail("write the run journal", path, errno);
    }
    text.remove_prefix(static_cast<std::size_t>(w));
  }
}


std::string FilesText(const std::vector<JournalFile>& files) {
  std::string text;
  for (const JournalFile& f : files) {
    text += f.action + "\t" + std::to_string(f.sizeBefore) + "\t" + f.sha256Before + "\t" +
            std::to_string(f.sizeAfter) + "\t" + f.sha256After + "\t" + std::to_string(f.inodeAfter) +
            "\t" + std::to_string(f.mtimeAfterNs) + "\t" + Escape(f.path) + "\n";
  }
  return text;
}


std::int64_t MtimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// A copy where a link cannot be made (another file system, or one without
// links); it appears under its name only when complete. The unfinished copy's
// name starts with a dot, so that a kill during the copy never leaves it to
// be taken for the old version of a file.
void CopyOldVersion(const fs::path& from, const fs::path& to) {
  InputFile in(from);
  struct stat st {};
  ::fstat(in.Fd(), &st);
  const fs::path temp = to.parent_path() / ("." + to.filename().string() + ".part");
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
  if (fd < 0) Fail("keep the old version of", from, errno);
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::uint64_t at = 0; at < in.Size();) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), in.Size() - at));
    in.ReadAt(at, std::span<std::uint8_t>(buffer.data(), n));
    WriteAllFd(fd, std::string_view(reinterpret_cast<const char*>(buffer.data()), n), temp);
    at += n;
  }
  ::fchmod(fd, st.st_mode & 07777);
  ::fdatasync(fd);
  ::close(fd);
  if (::rename(temp.c_str(), to.c_str()) != 0) Fail("keep the old version of", from, errno);
}

// The old version of change n carries the file's path in its name: a link
// is a change of names, which every journalling file system keeps in order,
// so the old version and where it belongs reach the disk before the rename
// that replaces the file, with no forced write. Names are escaped to one
// component; a path too long for a name is also forced to disk in the log.
constexpr std::size_t kMaxName = 240;
std::string OldVersionName(std::size_t n, std::string_view relative) {
  std::string name = std::to_string(n) + "~";
  for (char c : relative) {
    if (c == '/' || c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      name += '%';
      name += kHex[static_cast<unsigned char>(c) >> 4];
      name += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      name += c;
    }
  }
  return name.size() <= kMaxName ? name : std::to_string(n);
}

fs::path NormalAbsolute(const fs::path& p) {
  std::error_code ec;
  fs::path n = fs::absolute(p, ec).lexically_normal();
  if (!n.has_filename() && n.has_relative_path()) n = n.parent_path();
  return n;
}

}  // namespace

std::string EscapeRecordText(std::string_view text) { return journal::Escape(text); }
std::optional<std::string> UnescapeRecordText(std::string_view text) { return journal::Unescape(text); }

bool IsWriterTemp(std::string_view name) {
  if (!name.ends_with(".tmp")) return false;
  name.remove_suffix(4);
  const std::size_t marker = name.rfind(".vey-");
  if (marker == std::string_view::npos) return false;
  std::string_view numbers = name.substr(marker + 5);
  const std::size_t dash = numbers.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == numbers.size()) return false;
  return numbers.find_first_not_of("0123456789-") == std::string_view::npos &&
         numbers.find('-', dash + 1) == std::string_view::npos;
}

fs::path JournalHome(const fs::path& gameFolder) { return NormalAbsolute(gameFolder) / kHome; }

RunJournal::RunJournal(GameFileSystem& files, fs::path gameFolder, RunRecord header, JournalKind kind)
    : files_(files), game_(NormalAbsolute(gameFolder)), record_(std::move(header)), digest_(kind == JournalKind::kRun) {
  PrepareJournalHome(game_);
  const JournalFolder home = JournalFolder::Home(game_);
  parent_ = std::make_unique<JournalFolder>(
      home.MakeFolder(kind == JournalKind::kRun ? journal::kRunsFolder : journal::kUndoFolder));
  std::string folderName = fs::path(record_.modFolder).filename().string().empty()
                               ? NormalAbsolute(record_.modFolder).filename().string()
                               : fs::path(record_.modFolder).filename().string();
  // An unpacked archive's folder is named by its digest: no name for people.
  if (folderName.size() >= 32 && folderName.find_first_not_of("0123456789abcdef") == std::string::npos)
    folderName = "mod";
  const std::string base = RunStamp() + "-" + SafeName(folderName);
  for (int n = 1;; ++n) {
    record_.id = n == 1 ? base : base + "-" + std::to_string(n);
    folder_ = parent_->PathOf(record_.id);
    if (::mkdirat(parent_->Fd(), record_.id.c_str(), 0755) == 0) break;
    if (errno != EEXIST) Fail("create the run journal folder", folder_, errno);
  }
  dir_ = std::make_unique<JournalFolder>(parent_->MakeFolder(record_.id));
  pre_ = std::make_unique<JournalFolder>(dir_->MakeFolder(journal::kPreFolder));
  record_.started = UtcNow("%Y-%m-%d %H:%M:%S");
  record_.ended.clear();
  record_.state = "running";
  record_.verdict.clear();
  logFd_ = dir_->OpenAppend(journal::kChangesLog).Release();
  dir_->WriteText(journal::kRunText, journal::RecordText(record_));
  parent_->Sync();
  files_.AddObserver(this);
  watching_ = true;
}

RunJournal::~RunJournal() {
  StopWatching();
  if (logFd_ >= 0) ::close(logFd_);
}

void RunJournal::StopWatching() {
  if (watching_) files_.RemoveObserver(this);
  watching_ = false;
}

std::optional<std::string> RunJournal::Relative(const fs::path& path) const {
  const fs::path normal = NormalAbsolute(path);
  auto p = normal.begin();
  for (auto g = game_.begin(); g != game_.end(); ++g, ++p)
    if (p == normal.end() || *p != *g) return std::nullopt;
  if (p == normal.end() || *p == kHome) return std::nullopt;
  std::string relative;
  for (; p != normal.end(); ++p) {
    if (!relative.empty()) relative += '/';
    relative += p->string();
  }
  return relative;
}

void RunJournal::BeforeChange(const FileChange& change) {
  switch (change.kind) {
    case FileChange::kWrite:
    case FileChange::kRemove:
      Touch(change.path);
      break;
    case FileChange::kRename:
      Touch(change.path);
      Touch(change.to);
      break;
    case FileChange::kMakeFolder:
      TouchFolders(change.path);
      break;
    case FileChange::kRemoveFolder:
      if (auto relative = Relative(change.path); relative && seen_.insert(*relative + "/").second) {
        Entry e{"rmdir", true, *relative, 0, {}};
        Log(e, false);
        entries_.push_back(std::move(e));
      }
      break;
  }
}

void RunJournal::Touch(const fs::path& path) {
  auto relative = Relative(path);
  if (!relative || !seen_.insert(*relative).second) return;
  struct stat st {};
  const bool exists = ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  Entry e{"file", exists, *relative, 0, {}};
  if (exists) {
    e.oldName = OldVersionName(entries_.size(), *relative);
    const fs::path old = pre_->Through(e.oldName);
    if (HardLink(path, old) != 0) CopyOldVersion(path, old);
    if (digest_) e.digestBefore = digests_.Add(old);
  }
  // The old version's name says where it belongs, so the line need not be
  // forced to disk unless the name could not hold the path. A line lost for a
  // new file leaves that file behind after a power cut, nothing worse.
  Log(e, exists && e.oldName.find('~') == std::string::npos);
  entries_.push_back(std::move(e));
}

void RunJournal::TouchFolders(const fs::path& path) {
  // The folders that do not exist yet, outermost first.
  std::vector<fs::path> missing;
  for (fs::path p = NormalAbsolute(path); Relative(p); p = p.parent_path()) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) break;
    missing.push_back(p);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    auto relative = Relative(*it);
    if (!seen_.insert(*relative + "/").second) continue;
    Entry e{"folder", false, *relative, 0, {}};
    Log(e, false);
    entries_.push_back(std::move(e));
  }
}

void RunJournal::Log(const Entry& entry, bool sync) {
  WriteAllFd(logFd_, entry.kind + "\t" + (entry.existed ? "1" : "0") + "\t" + Escape(entry.path) + "\n",
             folder_ / journal::kChangesLog);
  if (sync) {
    if (::fdatasync(logFd_) != 0) Fail("write the run journal", folder_ / journal::kChangesLog, errno);
    pre_->Sync();
  }
}

void RunJournal::Finish(const std::string& verdict) {
  StopWatching();
  std::vector<JournalFile> list;
  std::vector<std::pair<std::size_t, std::size_t>> tickets;  // before, after
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.kind != "file") continue;
    JournalFile f;
    f.path = e.path;
    f.existedBefore = e.existed;
    const fs::path old = pre_->Through(e.oldName);
    const fs::path now = game_ / e.path;
    struct stat before {}, after {};
    if (e.existed && ::stat(old.c_str(), &before) != 0) continue;
    f.existsAfter = ::lstat(now.c_str(), &after) == 0 && !S_ISDIR(after.st_mode);
    if (!f.existedBefore && !f.existsAfter) continue;  // a work file, gone again
    // Announced but never carried out (the change failed): nothing to record.
    if (f.existedBefore && f.existsAfter && before.st_ino == after.st_ino && before.st_dev == after.st_dev) {
      ::unlink(old.c_str());
      continue;
    }
    std::size_t afterTicket = SIZE_MAX;
    if (f.existedBefore) f.sizeBefore = static_cast<std::uint64_t>(before.st_size);
    if (f.existsAfter) {
      f.sizeAfter = static_cast<std::uint64_t>(after.st_size);
      afterTicket = digests_.Add(now);
      f.inodeAfter = static_cast<std::uint64_t>(after.st_ino);
      f.mtimeAfterNs = MtimeNs(after);
    }
    f.action = !f.existedBefore ? "created" : !f.existsAfter ? "removed" : "modified";
    tickets.emplace_back(f.existedBefore ? e.digestBefore : SIZE_MAX, afterTicket);
    list.push_back(std::move(f));
  }
  // The old versions were digested while the run went on; the new ones now,
  // on both threads.
  const std::vector<std::string> digests = digests_.Results();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (tickets[i].first != SIZE_MAX) list[i].sha256Before = digests[tickets[i].first];
    if (tickets[i].second != SIZE_MAX) list[i].sha256After = digests[tickets[i].second];
  }
  record_.files = std::move(list);
  record_.ended = UtcNow("%Y-%m-%d %H:%M:%S");
  record_.state = "finished";
  record_.verdict = verdict;
  if (logFd_ >= 0) ::fdatasync(logFd_);
  dir_->WriteText(journal::kFilesList, FilesText(record_.files));
  dir_->WriteText(journal::kRunText, journal::RecordText(record_));
}

RollbackResult RunJournal::RollBack() {
  StopWatching();
  if (logFd_ >= 0) {
    ::close(logFd_);
    logFd_ = -1;
  }
  RollbackResult result = RollBackJournal(game_, *parent_, record_.id);
  files_.ForgetListings();
  return result;
}

RollbackResult RollBackStoredRun(const fs::path& gameFolder, const std::string& id) {
  const auto refused = [&](std::string why) {
    RollbackResult result;
    result.problems.push_back(std::move(why));
    result.refused = true;
    return result;
  };
  try {
    const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
    const std::optional<JournalFolder> runs = home ? home->Folder(journal::kRunsFolder) : std::nullopt;
    if (!runs || id.find('/') != std::string::npos || !IsJournalRelative(id) ||
        runs->TypeOf(id) != EntryType::kFolder)
      return refused(FormatMsg("the record of run %s is not a folder (a link is not followed)", {id}));
    return RollBackJournal(gameFolder, *runs, id);
  } catch (const EJournalUnusable& e) {
    return refused(e.what());
  }
}

std::vector<RecordedChange> StoredChanges(const JournalFolder& runFolder, std::vector<std::string>& damage) {
  std::vector<RecordedChange> changes;
  for (const StoredChange& e : ReadStoredChanges(runFolder, damage)) {
    if (e.path.empty()) continue;
    changes.push_back({e.kind, e.existed, e.path,
                       e.oldName.empty() ? fs::path() : runFolder.Through(std::string(journal::kPreFolder) + "/" + e.oldName),
                       e.oldName});
  }
  // Nothing of a record that does not hold together is acted upon.
  if (!damage.empty()) changes.clear();
  return changes;
}

std::vector<RecordedChange> StoredChanges(const fs::path& runFolder, std::vector<std::string>& damage) {
  std::vector<RecordedChange> changes;
  for (const StoredChange& e : ReadStoredChanges(runFolder, damage)) {
    if (e.path.empty()) continue;
    changes.push_back(
        {e.kind, e.existed, e.path, e.oldName.empty() ? fs::path() : runFolder / journal::kPreFolder / e.oldName, e.oldName});
  }
  if (!damage.empty()) changes.clear();
  return changes;
}

void WriteJournalText(const fs::path& path, std::string_view text) {
  std::optional<std::pair<JournalFolder, std::string>> at = OpenJournalParent(path);
  if (!at) Fail("write the run journal", path, ENOENT);
  at->first.WriteText(at->second, text);
}

RollbackResult RollBackJournal(const fs::path& gameFolder, const fs::path& folder) {
  try {
    std::optional<std::pair<JournalFolder, std::string>> at = OpenJournalParent(folder);
    if (at) return RollBackJournal(gameFolder, at->first, at->second);
  } catch (const EJournalUnusable& e) {
    RollbackResult result;
    result.problems.push_back(e.what());
    result.refused = true;
    return result;
  }
  RollbackResult result;
  result.problems.push_back(FormatMsg("the record \"%s\" is missing", {PathText(folder)}));
  result.refused = true;
  return result;
}

RollbackResult RollBackJournal(const fs::path& gameFolder, const JournalFolder& parent, const std::string& name) {
  RollbackResult result;
  const fs::path game = NormalAbsolute(gameFolder);
  const std::string where = parent.Path().filename().string() + "/" + name;
  std::optional<JournalFolder> folder;
  std::optional<JournalFolder> pre;
  std::vector<StoredChange> entries;
  try {
    folder = parent.Folder(name);
    if (!folder) {
      result.problems.push_back(FormatMsg("%s: the record is missing", {where}));
      result.refused = true;
      return result;
    }
    // Nothing of a record that does not hold together is acted upon: its paths
    // and names decide which files are replaced.
    entries = ReadStoredChanges(*folder, result.problems);
    if (result.problems.empty()) pre = folder->Folder(journal::kPreFolder);
  } catch (const EJournalUnusable& e) {
    result.problems.push_back(e.what());
  }
  if (!result.problems.empty()) {
    for (std::string& problem : result.problems)
      if (!problem.starts_with("The journal") && !problem.starts_with("\"")) problem = FormatMsg("%s/%s", {where, problem});
    result.refused = true;
    return result;
  }
  // A save cut short by a kill leaves its new file beside the target, under
  // the writer's temporary name; the run held the lock, so it is its own.
  // Removed first: it would keep a folder the run created from going.
  std::set<fs::path> folders;
  for (const StoredChange& e : entries)
    if (!e.path.empty()) folders.insert(e.kind == "file" ? (game / e.path).parent_path() : game / e.path);
  for (const fs::path& f : folders) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(f, ec))
      if (IsWriterTemp(entry.path().filename().string())) ::unlink(entry.path().c_str());
  }
  for (std::size_t i = entries.size(); i-- > 0;) {
    const StoredChange& e = entries[i];
    if (e.path.empty()) continue;
    if (auto why = LinkOutOfGame(game, e.path)) {
      result.problems.push_back(*why);
      continue;
    }
    const fs::path target = game / e.path;
    if (e.kind == "file" && e.existed) {
      // Gone already: an earlier rollback put it back before it was cut short.
      if (e.oldName.empty()) continue;
      if (!pre) {
        result.problems.push_back(FormatMsg("%s (its old version is missing)", {e.path}));
        continue;
      }
      const fs::path old = pre->Through(e.oldName);
      std::error_code ec;
      fs::create_directories(target.parent_path(), ec);
      try {
        // Across file systems (a linked override folder) by a copy renamed
        // into place.
        PlaceMove(old, target);
        ++result.restored;
      } catch (const Exception& failure) {
        result.problems.push_back(FormatMsg("%s (%s)", {e.path, SystemReason(failure.Code())}));
      }
    } else if (e.kind == "file") {
      struct stat st {};
      if (::lstat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        if (::unlink(target.c_str()) == 0)
          ++result.removed;
        else
          result.problems.push_back(FormatMsg("%s (%s)", {e.path, SystemReason(errno)}));
      }
    } else if (e.kind == "folder") {
      // Left when something not of this run is inside.
      if (::rmdir(target.c_str()) == 0) ++result.removed;
    } else if (e.kind == "rmdir") {
      ::mkdir(target.c_str(), 0755);
    }
  }
  // The renames back come before the journal's removal, and the file
  // system keeps changes of names in order: a crash in between finds the
  // journal and rolls back again, skipping what is back already. Forcing the
  // disk here would wait for everything the run wrote.
  if (result.problems.empty()) {
    pre.reset();
    folder.reset();
    parent.Remove(name);
  }
  return result;
}

std::vector<RunRecord> ListUndoneRuns(const fs::path& gameFolder) {
  std::vector<RunRecord> runs;
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  const std::optional<JournalFolder> kept = home ? home->Folder(journal::kUndoneFolder) : std::nullopt;
  if (!kept) return runs;
  std::string identity;
  try {
    identity = ReadJournalIdentity(gameFolder);
  } catch (const EJournalUnusable&) {
    identity = "?";
  }
  for (const std::string& name : kept->List()) {
    if (name.empty() || name.front() == '.' || name.ends_with(".part")) continue;
    std::optional<RunRecord> run;
    const EntryType type = kept->TypeOf(name);
    if (type != EntryType::kFolder) {
      // Shown, never followed: what it points to was not recorded here.
      run.emplace();
      run->id = name;
      run->damage.push_back(type == EntryType::kLink ? "the kept record is a link, not followed"
                                                     : "the kept record is not a folder");
    } else {
      try {
        if (const std::optional<JournalFolder> record = kept->Folder(name)) run = ReadRunRecord(*record, name);
      } catch (const EJournalUnusable& e) {
        run.emplace();
        run->id = name;
        run->damage.push_back(e.what());
      }
    }
    // Kept records made before journals had ids carry none: they are this
    // folder's. One that names another journal is shown as not this one's.
    if (run && !run->journal.empty() && run->journal != identity && run->damage.empty())
      run->damage.push_back(FormatMsg("run.txt: the run was recorded in another game folder (journal %s)",
                                      {run->journal}));
    if (run) {
      run->undone = true;
      runs.push_back(std::move(*run));
    }
  }
  std::sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) { return a.id < b.id; });
  return runs;
}

void DropOldVersions(const fs::path& gameFolder, const std::string& id, const std::vector<std::string>& paths) {
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  const std::optional<JournalFolder> runs = home ? home->Folder(journal::kRunsFolder) : std::nullopt;
  const std::optional<JournalFolder> folder = runs ? runs->Folder(id) : std::nullopt;
  if (!folder) return;
  const std::set<std::string> wanted(paths.begin(), paths.end());
  std::vector<std::string> damage;
  const std::vector<StoredChange> changes = ReadStoredChanges(*folder, damage);
  // A record that does not hold together is never undone: nothing to drop.
  if (!damage.empty()) return;
  const std::optional<JournalFolder> pre = folder->Folder(journal::kPreFolder);
  if (!pre) return;
  for (const StoredChange& e : changes)
    if (e.kind == "file" && !e.oldName.empty() && wanted.contains(e.path)) pre->Remove(e.oldName);
  pre->Sync();
}

RunLock::~RunLock() { Release(); }

bool RunLock::TryTake(const fs::path& gameFolder, const std::string& mod, std::string& holderPid,
                      std::string& holderMod) {
  Release();
  PrepareJournalHome(gameFolder);
  const JournalFolder home = JournalFolder::Home(gameFolder);
  const fs::path path = home.PathOf(journal::kLockFile);
  const EntryType type = home.TypeOf(journal::kLockFile);
  if (type == EntryType::kFolder)
    throw EJournalUnusable(FormatMsg("The lock file \"%s\" is a folder, not a file; nothing was changed. Remove "
                                     "that folder, then try again.",
                                     {path.string()}));
  if (type == EntryType::kLink)
    throw EJournalUnusable(FormatMsg("The lock file \"%s\" is a link, which the installer does not follow; "
                                     "nothing was changed. Remove the link, then try again.",
                                     {path.string()}));
  if (type != EntryType::kMissing && type != EntryType::kFile)
    throw EJournalUnusable(FormatMsg("The lock file \"%s\" is not a plain file; nothing was changed. Remove it, "
                                     "then try again.",
                                     {path.string()}));
  int fd = ::openat(home.Fd(), std::string(journal::kLockFile).c_str(),
                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) Fail("open the lock file", path, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EJournalUnusable(FormatMsg("The lock file \"%s\" is not a plain file; nothing was changed. Remove it, "
                                     "then try again.",
                                     {path.string()}));
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // The holder names itself just after taking the lock: a run that started
    // at the same moment waits briefly for it, then says it is starting.
    std::string text;
    for (int tries = 0; tries < 50 && text.empty(); ++tries) {
      if (tries > 0) ::usleep(10000);
      char buffer[4096];
      ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
      text.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
      if (!text.empty() && text.back() != '\n') text.clear();  // still being written
    }
    ::close(fd);
    if (!text.empty()) text.pop_back();
    auto fields = journal::SplitTabs(text);
    holderPid = fields.size() > 0 && !fields[0].empty() &&
                        fields[0].find_first_not_of("0123456789") == std::string_view::npos
                    ? std::string(fields[0])
                    : "";
    holderMod = fields.size() > 1 && !holderPid.empty() ? journal::Unescape(fields[1]).value_or("") : "";
    return false;
  }
  const std::string text = std::to_string(::getpid()) + "\t" + Escape(mod) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    ssize_t ignored = ::pwrite(fd, text.data(), text.size(), 0);
    (void)ignored;
  }
  fd_ = fd;
  return true;
}

void RunLock::Release() {
  if (fd_ < 0) return;
  if (::ftruncate(fd_, 0) != 0) {
  }
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace vey::platform
