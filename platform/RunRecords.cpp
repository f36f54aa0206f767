// RunRecords: the one parser of a game folder's journal, which checks
// everything it reads, and the journal folder's identity and shape.
#include "platform/RunRecords.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <map>
#include <set>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "platform/JournalCheck.h"
#include "platform/JournalDir.h"
#include "platform/RunJournal.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace journal {

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

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
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

std::vector<std::string> ReadLines(const fs::path& path) {
  // Reached by handle from the journal folder: no link on the way is
  // followed, and anything but a plain file is refused by name.
  std::optional<std::pair<JournalFolder, std::string>> at = OpenJournalParent(path);
  if (!at) return {};
  return at->first.ReadLines(at->second);
}

std::optional<std::string> PathProblem(std::string_view path) {
  if (path.empty()) return "the path is empty";
  if (path.find('\0') != std::string_view::npos) return "the path holds a NUL character";
  if (path.front() == '/') return "the path is absolute";
  bool first = true;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string_view part = path.substr(start, i - start);
    start = i + 1;
    if (part == "..") return "the path climbs out of the game folder with \"..\"";
    if (part.empty() || part == ".") return "the path is not in its plain form";
    if (first && EqualsNoCase(part, kHomeName)) return "the path lies inside the journal folder";
    first = false;
  }
  return std::nullopt;
}

}  // namespace journal

namespace {

using journal::kHomeName;

std::optional<std::uint64_t> Count(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> Signed(std::string_view text) {
  std::int64_t value = 0;
  if (text.empty()) return std::nullopt;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool IsDigest(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string Where(std::string_view file, std::size_t line) {
  return line == 0 ? std::string(file) : FormatMsg("%s, line %s", {file, std::to_string(line)});
}

// A field shown in a message: cut short and without control characters.
std::string Shown(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 120)) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return text.size() > 120 ? out + "..." : out;
}

const char* const kKeys[] = {"mod",     "instructions", "instructions-sha256", "type",    "caption",
                             "started", "ended",        "state",               "verdict", "journal"};

std::string* Field(RunRecord& r, std::string_view key) {
  std::string* fields[] = {&r.modFolder, &r.instructionFile, &r.instructionSha256, &r.installationType,
                           &r.caption,   &r.started,         &r.ended,             &r.state,
                           &r.verdict,   &r.journal};
  for (std::size_t i = 0; i < std::size(kKeys); ++i)
    if (key == kKeys[i]) return fields[i];
  return nullptr;
}

}  // namespace

std::string journal::RecordText(const RunRecord& record) {
  RunRecord r = record;
  std::string text;
  for (const char* key : kKeys) text += std::string(key) + "=" + journal::Escape(*Field(r, key)) + "\n";
  return text;
}

namespace {


void ReadFileList(const JournalFolder& folder, RunRecord& r) {
  std::size_t number = 0;
  for (const std::string& line : folder.ReadLines(journal::kFilesList)) {
    ++number;
    auto damaged = [&](std::string_view why) { r.damage.push_back(Where("files.txt", number) + ": " + std::string(why)); };
    auto f = journal::SplitTabs(line);
    if (f.size() != 8) {
      damaged("not a file line");
      continue;
    }
    JournalFile file;
    file.action = std::string(f[0]);
    if (file.action != "modified" && file.action != "created" && file.action != "removed") {
      damaged(FormatMsg("unknown action \"%s\"", {Shown(f[0])}));
      continue;
    }
    auto before = Count(f[1]), after = Count(f[3]), inode = Count(f[5]);
    auto mtime = Signed(f[6]);
    if (!before || !after || !inode || !mtime) {
      damaged("a size, inode or time is not a number that fits");
      continue;
    }
    file.sizeBefore = *before;
    file.sizeAfter = *after;
    file.inodeAfter = *inode;
    file.mtimeAfterNs = *mtime;
    file.sha256Before = std::string(f[2]);
    file.sha256After = std::string(f[4]);
    file.existedBefore = file.action != "created";
    file.existsAfter = file.action != "removed";
    if ((file.existedBefore ? !IsDigest(file.sha256Before) : !file.sha256Before.empty()) ||
        (file.existsAfter ? !IsDigest(file.sha256After) : !file.sha256After.empty())) {
      damaged("a SHA-256 is not one");
      continue;
    }
    auto path = journal::Unescape(f[7]);
    if (!path) {
      damaged("the path holds a broken escape");
      continue;
    }
    if (auto problem = journal::PathProblem(*path)) {
      damaged(FormatMsg("%s (\"%s\")", {*problem, Shown(*path)}));
      continue;
    }
    file.path = std::move(*path);
    r.files.push_back(std::move(file));
  }
}

}  // namespace

std::vector<StoredChange> ReadStoredChanges(const JournalFolder& folder, std::vector<std::string>& damage) {
  std::map<std::size_t, StoredChange> changes;
  std::size_t number = 0;
  std::optional<std::string> log;
  std::optional<JournalFolder> pre;
  std::vector<std::string> preNames;
  try {
    log = folder.ReadText(journal::kChangesLog);
    pre = folder.Folder(journal::kPreFolder);
    if (pre) preNames = pre->List();
    // The log is made before anything else is recorded: without it, a
    // record (or an old version) says there were changes the log lost.
    if (!log && (!preNames.empty() || folder.TypeOf(journal::kRunText) != EntryType::kMissing)) {
      damage.push_back("changes.log: missing");
      return {};
    }
  } catch (const EJournalUnusable& e) {
    damage.push_back(e.what());
    return {};
  }
  std::vector<std::string> lines;
  if (log)
    for (std::size_t start = 0, nl; (nl = log->find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(log->substr(start, nl - start));
  for (const std::string& line : lines) {
    ++number;
    auto f = journal::SplitTabs(line);
    auto path = f.size() == 3 ? journal::Unescape(f[2]) : std::nullopt;
    if (f.size() != 3 || (f[0] != "file" && f[0] != "folder" && f[0] != "rmdir") || (f[1] != "0" && f[1] != "1") ||
        !path) {
      damage.push_back(Where("changes.log", number) + ": not a change line");
      continue;
    }
    if (auto problem = journal::PathProblem(*path)) {
      damage.push_back(FormatMsg("%s: %s (\"%s\")", {Where("changes.log", number), *problem, Shown(*path)}));
      continue;
    }
    changes[number - 1] = {number - 1, std::string(f[0]), f[1] == "1", std::move(*path), {}};
  }
  // The old versions carry their change's number and, in a long enough name,
  // its path. A map, not a vector sized by a number read from a name.
  for (const std::string& name : preNames) {
    const std::string where = "pre/" + Shown(name);
    if (pre->TypeOf(name) != EntryType::kFile) {
      // An old version is always a plain file; a link would be put back as one.
      damage.push_back(where + ": not a plain file (a link is not followed)");
      continue;
    }
    if (name.ends_with(".part")) continue;  // a copy cut short, never named in a change
    const std::size_t tilde = name.find('~');
    const auto n = Count(std::string_view(name).substr(0, tilde));
    if (!n) {
      damage.push_back(where + ": the name does not start with a change number that fits");
      continue;
    }
    std::string path;
    if (tilde != std::string::npos) {
      auto decoded = journal::Unescape(std::string_view(name).substr(tilde + 1));
      if (!decoded) {
        damage.push_back(where + ": the name holds a broken escape");
        continue;
      }
      if (auto problem = journal::PathProblem(*decoded)) {
        damage.push_back(FormatMsg("%s: %s (\"%s\")", {where, *problem, Shown(*decoded)}));
        continue;
      }
      path = std::move(*decoded);
    }
    auto it = changes.find(*n);
    if (it == changes.end()) {
      // A short name's line is forced to disk before the file changes: without
      // it the change was never made, and the old version is the file as it is.
      if (path.empty()) continue;
      it = changes.emplace(*n, StoredChange{*n, "file", true, path, {}}).first;
    } else if (it->second.kind != "file" || !it->second.existed || (!path.empty() && path != it->second.path)) {
      damage.push_back(FormatMsg("%s: does not match line %s of changes.log", {where, std::to_string(*n + 1)}));
      continue;
    }
    it->second.oldName = name;
  }
  std::vector<StoredChange> list;
  list.reserve(changes.size());
  for (auto& [n, change] : changes) list.push_back(std::move(change));
  return list;
}

std::vector<StoredChange> ReadStoredChanges(const fs::path& folder, std::vector<std::string>& damage) {
  try {
    std::optional<JournalFolder> open = OpenJournalFolder(folder);
    if (open) return ReadStoredChanges(*open, damage);
    damage.push_back("the record's folder is missing");
  } catch (const EJournalUnusable& e) {
    damage.push_back(e.what());
  }
  return {};
}

namespace {

// Every file the record says the run left must be one it logged: a log that
// lost lines would leave the files the run created behind at its undo.
void CheckFilesAgainstLog(const JournalFolder& folder, RunRecord& r) {
  if (r.files.empty() || !r.damage.empty()) return;
  std::vector<std::string> damage;
  const std::vector<StoredChange> changes = ReadStoredChanges(folder, damage);
  std::set<std::string> logged;
  for (const StoredChange& c : changes)
    if (c.kind == "file") logged.insert(c.path);
  for (const std::string& d : damage) r.damage.push_back(d);
  if (!damage.empty()) return;
  for (const JournalFile& f : r.files)
    if (!logged.contains(f.path)) {
      r.damage.push_back(FormatMsg("files.txt names \"%s\", which changes.log does not: the log is incomplete",
                                   {Shown(f.path)}));
      break;
    }
}

}  // namespace

std::optional<RunRecord> ReadRunRecord(const JournalFolder& folder, const std::string& id, RunDetail detail) {
  RunRecord r;
  r.id = id;
  std::size_t number = 0;
  bool any = false;
  std::vector<std::string> lines;
  try {
    lines = folder.ReadLines(journal::kRunText);
  } catch (const EJournalUnusable& e) {
    r.damage.push_back(e.what());
    return r;
  }
  for (const std::string& line : lines) {
    ++number;
    any = true;
    const std::size_t eq = line.find('=');
    auto value = eq == std::string::npos ? std::nullopt : journal::Unescape(std::string_view(line).substr(eq + 1));
    if (!value) {
      r.damage.push_back(Where("run.txt", number) + ": not a \"key=value\" line");
      continue;
    }
    // Keys of later versions are kept out of the way, not refused.
    if (std::string* field = Field(r, std::string_view(line).substr(0, eq))) *field = std::move(*value);
  }
  if (!any) {
    // A run cut short before its record was written had changed nothing yet.
    try {
      const std::optional<JournalFolder> pre = folder.Folder(journal::kPreFolder);
      const bool noOldVersions = !pre || pre->List().empty();
      if (folder.ReadLines(journal::kChangesLog).empty() && noOldVersions) return std::nullopt;
    } catch (const EJournalUnusable& e) {
      r.damage.push_back(e.what());
    }
    r.damage.push_back("run.txt: missing or empty");
  }
  if (r.state.empty())
    r.damage.push_back("run.txt: no state line");
  else if (r.state != "running" && r.state != "finished")
    r.damage.push_back(FormatMsg("run.txt: unknown state \"%s\"", {Shown(r.state)}));
  if (detail == RunDetail::Header) return r;
  try {
    ReadFileList(folder, r);
    // A forced uninstall of an earlier run marks the files it took back.
    r.partlyUndone = ReadUndoneMarks(folder, r.damage);
    CheckFilesAgainstLog(folder, r);
  } catch (const EJournalUnusable& e) {
    r.damage.push_back(e.what());
  }
  return r;
}

std::optional<RunRecord> ReadRunRecord(const fs::path& folder, RunDetail detail) {
  std::optional<JournalFolder> open;
  try {
    open = OpenJournalFolder(folder);
  } catch (const EJournalUnusable& e) {
    RunRecord r;
    r.id = folder.filename().string();
    r.damage.push_back(e.what());
    return r;
  }
  if (!open) return std::nullopt;
  return ReadRunRecord(*open, folder.filename().string(), detail);
}

std::vector<RunRecord> ListRuns(const fs::path& gameFolder, RunDetail detail) {
  std::vector<RunRecord> runs;
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  if (!home) return runs;
  const std::optional<JournalFolder> folder = home->Folder(journal::kRunsFolder);
  if (!folder) return runs;
  std::string identity;
  try {
    identity = ReadJournalIdentity(gameFolder);
  } catch (const EJournalUnusable& e) {
    identity = "?";  // no run can match a damaged identity
  }
  for (const std::string& name : folder->List()) {
    if (name.empty() || name.front() == '.') continue;
    std::optional<RunRecord> run;
    const EntryType type = folder->TypeOf(name);
    if (type != EntryType::kFolder) {
      // A link is not followed: what it points to was not recorded here.
      run.emplace();
      run->id = name;
      run->damage.push_back(type == EntryType::kLink ? "the run's folder is a link, not followed"
                                                     : "the run's folder is not a folder");
    } else {
      try {
        std::optional<JournalFolder> record = folder->Folder(name);
        if (record) run = ReadRunRecord(*record, name, detail);
      } catch (const EJournalUnusable& e) {
        run.emplace();
        run->id = name;
        run->damage.push_back(e.what());
      }
      if (!run) continue;
    }
    if (!identity.empty() && run->journal != identity && run->damage.empty())
      run->damage.push_back(run->journal.empty()
                                ? FormatMsg("run.txt: the run carries no journal id; this game folder's is %s",
                                            {identity})
                                : FormatMsg("run.txt: the run was recorded in another game folder (journal %s, "
                                            "this one's is %s)",
                                            {Shown(run->journal), identity}));
    runs.push_back(std::move(*run));
  }
  std::sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) { return a.id < b.id; });
  return runs;
}

namespace {

bool IsIdentity(std::string_view text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

[[noreturn]] void Unusable(std::string message) { throw EJournalUnusable(std::move(message)); }

std::string ReadIdentity(const JournalFolder& home) {
  const EntryType type = home.TypeOf(journal::kIdFile);
  if (type == EntryType::kMissing) return {};
  if (type != EntryType::kFile) home.Refuse(journal::kIdFile, type, "a file");
  const auto lines = home.ReadLines(journal::kIdFile);
  if (lines.size() != 1 || !IsIdentity(lines[0]))
    Unusable(FormatMsg("The journal's identity file \"%s\" is damaged (it must hold one id of 32 hexadecimal "
                       "digits). Nothing was changed; restore it from a backup of the game folder.",
                       {PathText(home.PathOf(journal::kIdFile))}));
  return lines[0];
}

}  // namespace

std::string ReadJournalIdentity(const fs::path& gameFolder) {
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  return home ? ReadIdentity(*home) : std::string();
}

std::string EnsureJournalIdentity(const fs::path& gameFolder) {
  const JournalFolder home = JournalFolder::Home(gameFolder);
  std::string identity = ReadIdentity(home);
  if (!identity.empty()) return identity;
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Unusable(FormatMsg("Cannot make the journal's identity. %s", {SystemReason(errno)}));
    got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  for (unsigned char b : bytes) {
    identity += kHex[b >> 4];
    identity += kHex[b & 15];
  }
  // The runs recorded before the journal had an identity are this folder's:
  // they take it first, so that a crash in between leaves them adoptable.
  if (const std::optional<JournalFolder> runs = home.Folder(journal::kRunsFolder)) {
    for (const std::string& name : runs->List()) {
      if (runs->TypeOf(name) != EntryType::kFolder) continue;
      const std::optional<JournalFolder> run = runs->Folder(name);
      std::vector<std::string> lines;
      try {
        lines = run->ReadLines(journal::kRunText);
      } catch (const EJournalUnusable&) {
        continue;  // shown as damaged, never adopted
      }
      if (lines.empty()) continue;
      bool carries = false;
      for (const std::string& line : lines) carries = carries || (line.starts_with("journal=") && line.size() > 8);
      if (carries) continue;
      std::string updated;
      for (const std::string& line : lines)
        if (line != "journal=") updated += line + "\n";
      run->WriteText(journal::kRunText, updated + "journal=" + identity + "\n");
    }
  }
  home.WriteText(journal::kIdFile, identity + "\n");
  return identity;
}

void PrepareJournalHome(const fs::path& gameFolder) {
  const JournalFolder home = JournalFolder::Home(gameFolder);
  const EntryType runs = home.TypeOf(journal::kRunsFolder);
  if (runs == EntryType::kLink)
    Unusable(FormatMsg("The journal folder \"%s\" is a link. The installer does not follow it and does not "
                       "install without a journal; nothing was changed. Replace the link by a folder.",
                       {PathText(home.PathOf(journal::kRunsFolder))}));
  home.MakeFolder(journal::kRunsFolder);
}

bool ForgetRun(const fs::path& gameFolder, const std::string& id) {
  if (!IsJournalRelative(id) || id.find('/') != std::string::npos)
    Unusable(FormatMsg("\"%s\" is not the name of a run (see history).", {Shown(id)}));
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  const std::optional<JournalFolder> runs = home ? home->Folder(journal::kRunsFolder) : std::nullopt;
  // Removed by handle: a link goes, never what it points to.
  return runs && runs->Remove(id);
}

}  // namespace vey::platform
