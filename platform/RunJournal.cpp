// RunJournal: old versions kept by hard link, a line per changed file, and
// the rollback that puts them back.
#include "platform/RunJournal.h"

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
#include "platform/JournalCheck.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kHome = ".veypatcher";

// Record values may hold any byte but the separators of the record itself.
std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i)
    if (i == line.size() || line[i] == '\t') {
      fields.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  return fields;
}

// Only complete lines: a line cut short by a crash was never acted upon.
std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  if (!in) return lines;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  return lines;
}

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

void SyncPath(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
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

// Written beside, forced to disk and renamed over: a crash leaves the old
// text or the new one.
void WriteDurably(const fs::path& path, std::string_view text) {
  const fs::path temp = path.string() + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("write the run journal", temp, errno);
  WriteAllFd(fd, text, temp);
  ::fdatasync(fd);
  ::close(fd);
  if (::rename(temp.c_str(), path.c_str()) != 0) Fail("write the run journal", path, errno);
  SyncPath(path.parent_path());
}

const char* const kKeys[] = {"mod",     "instructions", "instructions-sha256", "type", "caption",
                             "started", "ended",        "state",               "verdict"};

std::string* Field(RunRecord& r, std::string_view key) {
  std::string* fields[] = {&r.modFolder, &r.instructionFile, &r.instructionSha256, &r.installationType,
                           &r.caption,   &r.started,         &r.ended,             &r.state,
                           &r.verdict};
  for (std::size_t i = 0; i < std::size(kKeys); ++i)
    if (key == kKeys[i]) return fields[i];
  return nullptr;
}

std::string RunText(RunRecord r) {
  std::string text;
  for (const char* key : kKeys) text += std::string(key) + "=" + Escape(*Field(r, key)) + "\n";
  return text;
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

std::optional<RunRecord> ReadRun(const fs::path& folder) {
  RunRecord r;
  r.id = folder.filename().string();
  bool any = false;
  for (const std::string& line : ReadLines(folder / "run.txt")) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (std::string* field = Field(r, std::string_view(line).substr(0, eq))) {
      *field = Unescape(std::string_view(line).substr(eq + 1));
      any = true;
    }
  }
  if (!any) return std::nullopt;
  r.partlyUndone = ReadUndoneMarks(folder);
  for (const std::string& line : ReadLines(folder / "files.txt")) {
    auto f = SplitTabs(line);
    if (f.size() != 8) continue;
    JournalFile file;
    file.action = std::string(f[0]);
    file.sizeBefore = std::strtoull(std::string(f[1]).c_str(), nullptr, 10);
    file.sha256Before = std::string(f[2]);
    file.sizeAfter = std::strtoull(std::string(f[3]).c_str(), nullptr, 10);
    file.sha256After = std::string(f[4]);
    file.inodeAfter = std::strtoull(std::string(f[5]).c_str(), nullptr, 10);
    file.mtimeAfterNs = std::strtoll(std::string(f[6]).c_str(), nullptr, 10);
    file.path = Unescape(f[7]);
    file.existedBefore = file.action != "created";
    file.existsAfter = file.action != "removed";
    r.files.push_back(std::move(file));
  }
  return r;
}

struct StoredEntry {
  std::string kind;
  bool existed = false;
  std::string path;
  std::string oldName;  // the old version's name in pre/, when it is there
};

std::map<std::size_t, std::pair<std::string, std::string>> OldVersions(const fs::path& folder);

// The log's lines, completed from the names of the old versions: a crash may
// have cut lines that were never forced to disk.
std::vector<StoredEntry> ReadEntries(const fs::path& folder) {
  std::vector<StoredEntry> entries;
  for (const std::string& line : ReadLines(folder / "changes.log")) {
    auto f = SplitTabs(line);
    if (f.size() != 3) {
      entries.push_back({});  // keeps the numbering of the old versions
      continue;
    }
    entries.push_back({std::string(f[0]), f[1] == "1", Unescape(f[2]), {}});
  }
  for (const auto& [n, old] : OldVersions(folder)) {
    if (n >= entries.size()) entries.resize(n + 1);
    StoredEntry& e = entries[n];
    if (e.path.empty() && !old.second.empty()) e = {"file", true, old.second, {}};
    e.oldName = old.first;
  }
  return entries;
}

void RemoveTree(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

std::int64_t MtimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// A copy where a link cannot be made (another file system, or one without
// links); it appears under its name only when complete.
void CopyOldVersion(const fs::path& from, const fs::path& to) {
  InputFile in(from);
  struct stat st {};
  ::fstat(in.Fd(), &st);
  const fs::path temp = to.string() + ".part";
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

// The old versions of a run by change number, with the paths their names
// carry (empty for a short name).
std::map<std::size_t, std::pair<std::string, std::string>> OldVersions(const fs::path& folder) {
  std::map<std::size_t, std::pair<std::string, std::string>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder / "pre", ec)) {
    const std::string name = entry.path().filename().string();
    const std::size_t tilde = name.find('~');
    const std::string number = name.substr(0, tilde);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
    found[std::stoull(number)] = {name, tilde == std::string::npos ? "" : Unescape(name.substr(tilde + 1))};
  }
  return found;
}

fs::path NormalAbsolute(const fs::path& p) {
  std::error_code ec;
  fs::path n = fs::absolute(p, ec).lexically_normal();
  if (!n.has_filename() && n.has_relative_path()) n = n.parent_path();
  return n;
}

}  // namespace

std::string EscapeRecordText(std::string_view text) { return Escape(text); }
std::string UnescapeRecordText(std::string_view text) { return Unescape(text); }

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

RunJournal::RunJournal(GameFileSystem& files, fs::path gameFolder, RunRecord header)
    : files_(files), game_(NormalAbsolute(gameFolder)), record_(std::move(header)) {
  const fs::path runs = JournalHome(game_) / "runs";
  std::error_code ec;
  fs::create_directories(runs, ec);
  if (ec) Fail("create the run journal folder", runs, ec.value());
  const std::string base = RunStamp() + "-" + SafeName(fs::path(record_.modFolder).filename().string().empty()
                                                                ? NormalAbsolute(record_.modFolder).filename().string()
                                                                : fs::path(record_.modFolder).filename().string());
  for (int n = 1;; ++n) {
    record_.id = n == 1 ? base : base + "-" + std::to_string(n);
    folder_ = runs / record_.id;
    if (::mkdir(folder_.c_str(), 0755) == 0) break;
    if (errno != EEXIST) Fail("create the run journal folder", folder_, errno);
  }
  if (::mkdir((folder_ / "pre").c_str(), 0755) != 0) Fail("create the run journal folder", folder_, errno);
  record_.started = UtcNow("%Y-%m-%d %H:%M:%S");
  record_.ended.clear();
  record_.state = "running";
  record_.verdict.clear();
  logFd_ = ::open((folder_ / "changes.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (logFd_ < 0) Fail("write the run journal", folder_ / "changes.log", errno);
  preFd_ = ::open((folder_ / "pre").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  WriteDurably(folder_ / "run.txt", RunText(record_));
  SyncPath(runs);
  files_.AddObserver(this);
  watching_ = true;
}

RunJournal::~RunJournal() {
  StopWatching();
  if (logFd_ >= 0) ::close(logFd_);
  if (preFd_ >= 0) ::close(preFd_);
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
    const fs::path old = folder_ / "pre" / e.oldName;
    if (::link(path.c_str(), old.c_str()) != 0) CopyOldVersion(path, old);
    e.digestBefore = digests_.Add(old);
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
             folder_ / "changes.log");
  if (sync) {
    if (::fdatasync(logFd_) != 0) Fail("write the run journal", folder_ / "changes.log", errno);
    if (preFd_ >= 0) ::fsync(preFd_);
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
    const fs::path old = folder_ / "pre" / e.oldName;
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
  WriteDurably(folder_ / "files.txt", FilesText(record_.files));
  WriteDurably(folder_ / "run.txt", RunText(record_));
}

RollbackResult RunJournal::RollBack() {
  StopWatching();
  if (logFd_ >= 0) {
    ::close(logFd_);
    logFd_ = -1;
  }
  RollbackResult result = RollBackStoredRun(game_, record_.id);
  files_.ForgetListings();
  return result;
}

std::vector<RunRecord> ListRuns(const fs::path& gameFolder) {
  std::vector<RunRecord> runs;
  const fs::path folder = JournalHome(gameFolder) / "runs";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (!entry.is_directory(ec)) continue;
    if (auto run = ReadRun(entry.path())) runs.push_back(std::move(*run));
  }
  std::sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) { return a.id < b.id; });
  return runs;
}

RollbackResult RollBackStoredRun(const fs::path& gameFolder, const std::string& id) {
  RollbackResult result;
  const fs::path game = NormalAbsolute(gameFolder);
  const fs::path folder = JournalHome(game) / "runs" / id;
  const std::vector<StoredEntry> entries = ReadEntries(folder);
  // A save cut short by a kill leaves its new file beside the target, under
  // the writer's temporary name; the run held the lock, so it is its own.
  // Removed first: it would keep a folder the run created from going.
  std::set<fs::path> folders;
  for (const StoredEntry& e : entries)
    if (!e.path.empty()) folders.insert(e.kind == "file" ? (game / e.path).parent_path() : game / e.path);
  for (const fs::path& f : folders) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(f, ec))
      if (IsWriterTemp(entry.path().filename().string())) ::unlink(entry.path().c_str());
  }
  for (std::size_t i = entries.size(); i-- > 0;) {
    const StoredEntry& e = entries[i];
    if (e.path.empty()) continue;
    const fs::path target = game / e.path;
    if (e.kind == "file" && e.existed) {
      // Gone already: an earlier rollback put it back before it was cut short.
      if (e.oldName.empty()) continue;
      const fs::path old = folder / "pre" / e.oldName;
      std::error_code ec;
      fs::create_directories(target.parent_path(), ec);
      if (::rename(old.c_str(), target.c_str()) == 0) {
        ++result.restored;
      } else {
        result.problems.push_back(FormatMsg("%s (%s)", {e.path, SystemReason(errno)}));
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
  if (result.problems.empty()) RemoveTree(folder);
  return result;
}

std::vector<RunRecord> ListUndoneRuns(const fs::path& gameFolder) {
  std::vector<RunRecord> runs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(JournalHome(gameFolder) / "undone", ec)) {
    if (!entry.is_directory(ec) || entry.is_symlink(ec) || entry.path().extension() == ".part") continue;
    if (auto run = ReadRun(entry.path())) {
      run->undone = true;
      runs.push_back(std::move(*run));
    }
  }
  std::sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) { return a.id < b.id; });
  return runs;
}

void DropOldVersions(const fs::path& gameFolder, const std::string& id, const std::vector<std::string>& paths) {
  const fs::path folder = JournalHome(gameFolder) / "runs" / id;
  const std::set<std::string> wanted(paths.begin(), paths.end());
  for (const StoredEntry& e : ReadEntries(folder))
    if (e.kind == "file" && !e.oldName.empty() && wanted.contains(e.path))
      ::unlink((folder / "pre" / e.oldName).c_str());
  SyncPath(folder / "pre");
}

RunLock::~RunLock() { Release(); }

bool RunLock::TryTake(const fs::path& gameFolder, const std::string& mod, std::string& holderPid,
                      std::string& holderMod) {
  Release();
  const fs::path home = JournalHome(gameFolder);
  std::error_code ec;
  fs::create_directories(home, ec);
  const fs::path path = home / "lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) Fail("open the lock file", path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char buffer[4096];
    ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    auto fields = SplitTabs(text);
    holderPid = fields.size() > 0 ? std::string(fields[0]) : "";
    holderMod = fields.size() > 1 ? Unescape(fields[1]) : "";
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
