// GameFileSystem: case-insensitive resolution of instruction-file paths on a
// case-sensitive disk, and the write fence around the run's folders.
#include "platform/GameFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey::platform {
namespace {

constexpr bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool HasHighBytes(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Components of a Windows-style relative path; empty and "." components are
// dropped because they name the folder itself.
std::vector<std::string_view> SplitComponents(std::string_view relative) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= relative.size(); ++i) {
    if (i == relative.size() || IsPathSeparator(relative[i])) {
      std::string_view part = relative.substr(start, i - start);
      if (!part.empty() && part != ".") parts.push_back(part);
      start = i + 1;
    }
  }
  return parts;
}

// Why a relative path may not be followed, or empty when it may.
std::string_view RefusalReason(std::string_view relative) {
  if (relative.find('\0') != std::string_view::npos) return "it holds a NUL character";
  // A line break or other control character in a name would end up in a
  // file name in the game folder and split lines of the log.
  if (HasControlCharacter(relative)) return "it holds a control character";
  if (relative.empty()) return {};
  // "/x", "\x", "\\server\share" and "\\?\C:\x" all start at a root.
  if (IsPathSeparator(relative[0])) return "it is an absolute or network path";
  // "C:", "c:\x" and the drive-relative "C:x" all name a drive.
  if (relative.size() >= 2 && IsAsciiLetter(relative[0]) && relative[1] == ':')
    return "it names a drive";
  for (std::string_view part : SplitComponents(relative))
    if (part == "..") return "it climbs out of its folder with \"..\"";
  return {};
}

std::string PathText(const std::filesystem::path& p) { return ::vey::PathText(p); }

bool EntryExists(const std::filesystem::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// The spelling to use for name among the entries that fold like it: the
// exact one, else the byte-wise smallest so that the answer does not depend on
// directory order.
std::optional<std::string> PickEntry(const std::vector<std::string>& candidates,
                                     std::string_view name) {
  const std::string* best = nullptr;
  for (const std::string& c : candidates) {
    if (c == name) return c;
    if (!best || c < *best) best = &c;
  }
  if (!best) return std::nullopt;
  return *best;
}

[[noreturn]] void ThrowWriteFailure(std::string_view pattern, const std::filesystem::path& p,
                                    int err) {
  throw EFCreateError(FormatMsg(pattern, {PathText(p), SystemReason(err)}), err);
}

// True for an absolute path without empty, "." or ".." components, which
// lexical normalisation would leave as it is but for a trailing separator.
bool LooksNormal(std::string_view s) {
  if (s.empty() || s[0] != '/') return false;
  for (std::size_t at = 0; at < s.size();) {
    std::size_t next = s.find('/', at + 1);
    if (next == std::string_view::npos) next = s.size();
    const std::string_view part = s.substr(at + 1, next - at - 1);
    if (part == "." || part == ".." || (part.empty() && next != s.size())) return false;
    at = next;
  }
  return true;
}

std::filesystem::path NormalAbsolute(const std::filesystem::path& p) {
  std::filesystem::path n = std::filesystem::absolute(p).lexically_normal();
  // "/a/b/" and "/a/b" are the same folder for the fence.
  if (!n.has_filename() && n.has_relative_path()) n = n.parent_path();
  return n;
}

// The same as text. The guards and caches normalise every path they see, and
// most are normal already.
std::string NormalAbsoluteText(const std::filesystem::path& p) {
  const std::string& s = p.native();
  if (LooksNormal(s)) return s.size() > 1 && s.back() == '/' ? s.substr(0, s.size() - 1) : s;
  return NormalAbsolute(p).native();
}

std::string FolderKey(const std::filesystem::path& folder) { return NormalAbsoluteText(folder); }

std::string ParentKey(const std::filesystem::path& path) {
  std::string key = NormalAbsoluteText(path);
  const std::size_t cut = key.rfind('/');
  key.resize(cut == 0 ? 1 : cut);
  return key;
}

std::string NameOf(const std::filesystem::path& path) {
  const std::string key = NormalAbsoluteText(path);
  return key.substr(key.rfind('/') + 1);
}

// Where the kernel found an open descriptor's file; nothing where /proc is
// not mounted or the file is gone.
std::optional<std::string> KernelPathOf(int fd) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  char text[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), text, sizeof text);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text || text[0] != '/') return std::nullopt;
  std::string path(text, static_cast<std::size_t>(n));
  if (path.ends_with(" (deleted)")) return std::nullopt;
  return path;
}

// The path with every link followed as far as it exists, the rest joined as
// written, normal and absolute. The kernel resolves the longest existing
// prefix in one open, where a library walk reads every component as a link;
// the guards ask this for every path a run touches, so it works on text.
std::string RealPathText(const std::filesystem::path& p) {
  std::error_code ec;
  std::string existing = p.native();
  if (existing.empty() || existing[0] != '/') existing = std::filesystem::absolute(p, ec).native();
  if (!ec && !existing.empty() && existing[0] == '/') {
    while (existing.size() > 1 && existing.back() == '/') existing.pop_back();
    std::string rest;
    for (;;) {
      const int fd = ::open(existing.c_str(), O_PATH | O_CLOEXEC);
      if (fd >= 0) {
        const auto real = KernelPathOf(fd);
        ::close(fd);
        // The kernel's answer is normal already; what did not exist is not.
        if (real) return rest.empty() ? *real : NormalAbsoluteText(*real + "/" + rest);
        break;
      }
      if (existing == "/") break;
      const std::size_t cut = existing.rfind('/');
      rest = rest.empty() ? existing.substr(cut + 1) : existing.substr(cut + 1) + "/" + rest;
      existing.resize(cut == 0 ? 1 : cut);
    }
  }
  std::filesystem::path real = std::filesystem::weakly_canonical(std::filesystem::absolute(p, ec), ec);
  return (ec ? NormalAbsolute(p) : NormalAbsolute(real)).native();
}

// Both paths normal and absolute (NormalAbsolute): one separator between
// components and none at the end, so that the text compares as the
// components would. Whole components, so that "/a/bc" is not taken to lie
// under "/a/b".
bool IsUnderText(std::string_view path, std::string_view root, bool anyCase) {
  if (root == "/") return !path.empty() && path[0] == '/';
  if (path.size() < root.size() || (path.size() > root.size() && path[root.size()] != '/')) return false;
  const std::string_view head = path.substr(0, root.size());
  return anyCase ? EqualsNoCase(head, root) : head == root;
}

// Longest name of one entry on the file systems a game lives on.
constexpr std::size_t kMaxNameBytes = 255;

}  // namespace

std::string GameFileSystem::NormalText(const Path& path) { return NormalAbsoluteText(path); }

// A dry run of a whole list registers the same folders for every mod on one
// file system: each is kept once, or every check would grow with the list.
void GameFileSystem::AddGuardedFolder(const Path& folder) {
  Path normal = NormalAbsolute(folder);
  if (std::find(guarded_.begin(), guarded_.end(), normal) == guarded_.end()) guarded_.push_back(std::move(normal));
}

std::optional<GameFileSystem::Path> GameFileSystem::GuardedFolderOf(const Path& path) const {
  if (guarded_.empty()) return std::nullopt;
  const std::string normal = NormalAbsoluteText(path), real = RealPathText(path);
  // Without regard to letter case: ".VEYPATCHER" names the journal on a
  // disk that folds case.
  for (const Path& folder : guarded_)
    if (IsUnderText(normal, folder.native(), true) || IsUnderText(real, RealPathText(folder), true)) return folder;
  return std::nullopt;
}

void GameFileSystem::AddWritableRoot(const Path& root) {
  Path normal = NormalAbsolute(root);
  if (std::find(roots_.begin(), roots_.end(), normal) == roots_.end()) roots_.push_back(std::move(normal));
}

void GameFileSystem::AddConfinedRoot(const Path& root) {
  ConfinedRoot added{NormalAbsolute(root), RealPathText(root)};
  for (const ConfinedRoot& known : confined_)
    if (known.normal == added.normal && known.real == added.real) return;
  confined_.push_back(std::move(added));
}

std::optional<std::string> GameFileSystem::LinkEscape(const Path& path) const {
  if (confined_.empty()) return std::nullopt;
  const std::string normal = NormalAbsoluteText(path);
  for (const ConfinedRoot& root : confined_) {
    if (!IsUnderText(normal, root.normal.native(), false)) continue;
    const std::string real = RealPathText(path);
    if (!IsUnderText(real, root.real.native(), false))
      return FormatMsg("\"%s\" leads through a symbolic link to \"%s\", outside the folder \"%s\"",
                       {PathText(path), PathText(Path(real)), PathText(root.normal)});
  }
  return std::nullopt;
}

void GameFileSystem::CheckConfined(const Path& path) const {
  if (auto why = LinkEscape(path)) throw EPathError("Refused: " + *why + ".");
}

bool GameFileSystem::IsContained(std::string_view relative) {
  return RefusalReason(relative).empty();
}

GameFileSystem::Path GameFileSystem::Resolve(const Path& base, std::string_view relative) const {
  std::string_view reason = RefusalReason(relative);
  if (!reason.empty())
    throw EPathError(FormatMsg("The path \"%s\" is refused: %s. Paths must stay inside \"%s\".",
                               {relative, reason, PathText(base)}));
  Path result = base;
  bool existing = true;
  for (std::string_view part : SplitComponents(relative)) {
    // Below a component that does not exist nothing can exist either.
    std::optional<std::string> found;
    if (existing) found = FindEntry(result, part);
    existing = found.has_value();
    // Refused here so that the entry is skipped with a reason, instead of
    // the first write failing the whole run.
    if (!existing && part.size() > kMaxNameBytes)
      throw EPathError(FormatMsg("The path \"%s\" is refused: the name \"%s\" is %s bytes long, longer than "
                                 "a file system allows (%s).",
                                 {relative, part, std::to_string(part.size()), std::to_string(kMaxNameBytes)}));
    result /= existing ? *found : std::string(part);
  }
  if (!relative.empty() && IsPathSeparator(relative.back()) && result.has_filename()) result /= "";
  CheckConfined(result);
  if (auto guarded = GuardedFolderOf(result))
    throw EPathError(FormatMsg("The path \"%s\" is refused: it leads into the installer's journal folder \"%s\", "
                               "which no mod may change.",
                               {relative, PathText(*guarded)}));
  return result;
}

GameFileSystem::Path GameFileSystem::Child(const Path& folder, std::string_view name) const {
  if (name.empty() || name == "." || name == ".." || HasControlCharacter(name) ||
      name.find_first_of("/\\") != std::string_view::npos)
    throw EPathError(FormatMsg("The name \"%s\" is refused: it is not a single file or folder name.",
                               {name}));
  Path result = folder / std::string(name);
  if (auto found = FindEntry(folder, name)) result = folder / *found;
  CheckConfined(result);
  return result;
}

std::optional<GameFileSystem::FolderStamp> GameFileSystem::StampOf(const Path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  FolderStamp s;
  s.dev = static_cast<std::uint64_t>(st.st_dev);
  s.ino = static_cast<std::uint64_t>(st.st_ino);
  s.mtimeSec = st.st_mtim.tv_sec;
  s.mtimeNsec = st.st_mtim.tv_nsec;
  s.ctimeSec = st.st_ctim.tv_sec;
  s.ctimeNsec = st.st_ctim.tv_nsec;
  return s;
}

const GameFileSystem::Listing* GameFileSystem::ValidListing(const std::string& key) const {
  auto it = listings_.find(key);
  if (it == listings_.end()) return nullptr;
  std::optional<FolderStamp> now = StampOf(key);
  if (!now || *now != it->second.stamp) {
    listings_.erase(it);
    return nullptr;
  }
  return &it->second;
}

std::optional<std::string> GameFileSystem::FindEntry(const Path& folder,
                                                     std::string_view name) const {
  // Instruction files are Windows-1252 while Linux names are usually UTF-8.
  std::string utf8 = HasHighBytes(name) ? Win1252ToUtf8(name) : std::string();
  auto lookUp = [&](const Listing& l) -> std::optional<std::string> {
    for (std::string_view n : {name, std::string_view(utf8)}) {
      if (n.empty()) continue;
      auto it = l.byFolded.find(AsciiLowerCopy(n));
      if (it != l.byFolded.end()) return PickEntry(it->second, n);
    }
    return std::nullopt;
  };

  // The exact spelling is the preferred answer and needs no listing; asking
  // the disk first also sees a file another program has just made.
  if (EntryExists(folder / std::string(name))) return std::string(name);
  std::string key = FolderKey(folder);
  if (const Listing* cached = ValidListing(key)) return lookUp(*cached);

  std::optional<FolderStamp> before = StampOf(folder);
  if (!before) return std::nullopt;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  Listing listing;
  listing.stamp = *before;
  while (dirent* e = ::readdir(dir)) {
    std::string_view entry(e->d_name);
    if (entry == "." || entry == "..") continue;
    listing.byFolded[AsciiLowerCopy(entry)].emplace_back(entry);
  }
  ::closedir(dir);
  std::optional<std::string> found = lookUp(listing);
  if (StampOf(folder) == before) listings_[key] = std::move(listing);
  return found;
}

std::optional<GameFileSystem::FolderStamp> GameFileSystem::StampBeforeChange(
    const Path& path) const {
  std::string key = ParentKey(path);
  if (!listings_.contains(key)) return std::nullopt;
  return StampOf(key);
}

void GameFileSystem::AfterChange(const Path& path, const std::optional<FolderStamp>& before,
                                 std::string_view added, std::string_view removed) {
  std::string key = ParentKey(path);
  auto it = listings_.find(key);
  if (it == listings_.end()) return;
  std::optional<FolderStamp> now = StampOf(key);
  if (!before || *before != it->second.stamp || !now) {
    listings_.erase(it);
    return;
  }
  Listing& l = it->second;
  if (!removed.empty()) {
    auto names = l.byFolded.find(AsciiLowerCopy(removed));
    if (names != l.byFolded.end()) {
      std::erase(names->second, std::string(removed));
      if (names->second.empty()) l.byFolded.erase(names);
    }
  }
  if (!added.empty()) {
    auto& names = l.byFolded[AsciiLowerCopy(added)];
    if (std::find(names.begin(), names.end(), added) == names.end()) names.emplace_back(added);
  }
  l.stamp = *now;
}

void GameFileSystem::ForgetListing(const Path& folder) { listings_.erase(FolderKey(folder)); }

bool GameFileSystem::Exists(const Path& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool GameFileSystem::IsFile(const Path& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool GameFileSystem::IsDirectory(const Path& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> GameFileSystem::List(const Path& folder) const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* e = ::readdir(dir)) {
    std::string_view entry(e->d_name);
    if (entry != "." && entry != "..") names.emplace_back(entry);
  }
  ::closedir(dir);
  return names;
}

std::vector<std::uint8_t> GameFileSystem::ReadFile(const Path& path) const {
  CheckConfined(path);
  return ReadWholeFile(path);
}

void GameFileSystem::WriteFile(const Path& path, std::span<const std::uint8_t> bytes) {
  CheckWritable(path);
  const FileChange change{FileChange::kWrite, path, {}};
  Announce(change);
  auto before = StampBeforeChange(path);
  WriteFileAtomic(path, bytes);
  AfterChange(path, before, NameOf(path), {});
  Done(change);
}

std::unique_ptr<AtomicFileWriter> GameFileSystem::CreateFile(const Path& path) {
  CheckWritable(path);
  // Observers hear of it now; the writer's Commit is not reported back.
  Announce(FileChange{FileChange::kWrite, path, {}});
  // The file appears at Commit, out of sight; the folder is read again then.
  listings_.erase(ParentKey(path));
  return std::make_unique<AtomicFileWriter>(path);
}

void GameFileSystem::CopyFile(const Path& from, const Path& to) {
  CheckWritable(to);
  CheckConfined(from);
  InputFile in(from);
  const FileChange change{FileChange::kWrite, to, {}};
  Announce(change);
  auto before = StampBeforeChange(to);
  AtomicFileWriter out(to);
  out.CopyFrom(in, 0, in.Size());
  out.Commit();
  AfterChange(to, before, NameOf(to), {});
  Done(change);
}

void GameFileSystem::RemoveFile(const Path& path) {
  CheckWritable(path);
  // Removing what is not there changes nothing worth announcing.
  if (!EntryExists(path)) return;
  const FileChange change{FileChange::kRemove, path, {}};
  Announce(change);
  auto before = StampBeforeChange(path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT)
    ThrowWriteFailure("Cannot delete file \"%s\". %s", path, errno);
  AfterChange(path, before, {}, NameOf(path));
  Done(change);
}

void GameFileSystem::Rename(const Path& from, const Path& to) {
  CheckWritable(from);
  CheckWritable(to);
  const FileChange change{FileChange::kRename, from, to};
  Announce(change);
  auto beforeFrom = StampBeforeChange(from);
  auto beforeTo = StampBeforeChange(to);
  int err = 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    err = errno;
    if (err == EINVAL || err == ENOSYS) {
      // The file system cannot refuse a replacement itself; check first.
      if (EntryExists(to))
        err = EEXIST;
      else
        err = ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
  }
  if (err != 0)
    throw EFCreateError(FormatMsg("Cannot rename file \"%s\" to \"%s\". %s",
                                  {PathText(from), PathText(to), SystemReason(err)}),
                        err);
  if (ParentKey(from) == ParentKey(to)) {
    AfterChange(to, beforeTo, NameOf(to), NameOf(from));
  } else {
    AfterChange(from, beforeFrom, {}, NameOf(from));
    AfterChange(to, beforeTo, NameOf(to), {});
  }
  Done(change);
}

void GameFileSystem::CreateDirectories(const Path& path) {
  CheckWritable(path);
  if (IsDirectory(path)) return;
  const FileChange change{FileChange::kMakeFolder, path, {}};
  Announce(change);
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  // Any folder on the way may have gained an entry.
  for (Path p = NormalAbsolute(path); p.has_relative_path(); p = p.parent_path())
    listings_.erase(p.string());
  if (ec) throw EFCreateError(FormatMsg("Cannot create folder \"%s\". %s",
                                        {PathText(path), ec.message()}),
                                        ec.value());
  if (!IsDirectory(path))
    ThrowWriteFailure("Cannot create folder \"%s\". %s", path, ENOTDIR);
  Done(change);
}

bool GameFileSystem::RemoveEmptyDirectory(const Path& path) {
  CheckWritable(path);
  if (!IsDirectory(path)) return false;
  const FileChange change{FileChange::kRemoveFolder, path, {}};
  Announce(change);
  auto before = StampBeforeChange(path);
  if (::rmdir(path.c_str()) != 0) return false;
  ForgetListing(path);
  AfterChange(path, before, {}, NameOf(path));
  Done(change);
  return true;
}

void GameFileSystem::AddObserver(FileChangeObserver* observer) { observers_.push_back(observer); }

void GameFileSystem::RemoveObserver(FileChangeObserver* observer) {
  std::erase(observers_, observer);
}

GameFileSystem::Path GameFileSystem::BeforeWrite(const Path& path) {
  CheckWritable(path);
  // The writer works behind the listing cache's back.
  listings_.erase(ParentKey(path));
  Announce(FileChange{FileChange::kWrite, path, {}});
  return path;
}

void GameFileSystem::WriteDone(const Path& path) {
  listings_.erase(ParentKey(path));
  Done(FileChange{FileChange::kWrite, path, {}});
}

void GameFileSystem::Announce(const FileChange& change) {
  for (FileChangeObserver* o : observers_) o->BeforeChange(change);
}

void GameFileSystem::Done(const FileChange& change) {
  for (FileChangeObserver* o : observers_) o->AfterChange(change);
}

bool GameFileSystem::IsWritable(const Path& path) const {
  const std::string normal = NormalAbsoluteText(path);
  for (const Path& root : roots_)
    if (IsUnderText(normal, root.native(), false)) return true;
  return false;
}

void GameFileSystem::CheckWritable(const Path& path) const {
  if (!IsWritable(path))
    throw EPathError(FormatMsg(
        "Refusing to write \"%s\": it lies outside the folders this installation may change.",
        {PathText(path)}));
  CheckConfined(path);
  if (auto guarded = GuardedFolderOf(path))
    throw EPathError(FormatMsg("Refusing to write \"%s\": it lies inside the installer's journal folder \"%s\", "
                               "which no mod may change.",
                               {PathText(path), PathText(*guarded)}));
}

}  // namespace vey::platform
