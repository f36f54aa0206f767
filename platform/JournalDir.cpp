// JournalDir: openat2 beneath the journal folder (component by component
// where the kernel lacks it), typed opens, durable writes and removal by
// handle.
#include "platform/JournalDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace journal_dir {
namespace {

std::atomic<bool> useOpenat2{true};

constexpr int kDepthLimit = 64;

EntryType TypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISDIR(mode)) return EntryType::kFolder;
  if (S_ISLNK(mode)) return EntryType::kLink;
  if (S_ISFIFO(mode)) return EntryType::kFifo;
  return EntryType::kOther;
}

std::string_view Described(EntryType type) {
  switch (type) {
    case EntryType::kFile: return "a file";
    case EntryType::kFolder: return "a folder";
    case EntryType::kLink: return "a link (which the installer does not follow)";
    case EntryType::kFifo: return "a FIFO (a named pipe)";
    case EntryType::kOther: return "a special file";
    case EntryType::kMissing: break;
  }
  return "missing";
}

std::vector<std::string_view> Parts(std::string_view rel) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rel.size(); ++i)
    if (i == rel.size() || rel[i] == '/') {
      parts.push_back(rel.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

std::string Dirname(std::string_view rel) {
  const std::size_t slash = rel.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(rel.substr(0, slash));
}

std::string Basename(std::string_view rel) {
  const std::size_t slash = rel.rfind('/');
  return std::string(slash == std::string_view::npos ? rel : rel.substr(slash + 1));
}

[[noreturn]] void Unusable(std::string message) { throw EJournalUnusable(std::move(message)); }

[[noreturn]] void CannotWrite(const fs::path& path, int err) {
  throw EFCreateError(FormatMsg("Cannot write \"%s\". %s", {PathText(path), SystemReason(err)}), err);
}

void WriteAll(int fd, std::string_view text, const fs::path& path) {
  while (!text.empty()) {
    const ssize_t w = ::write(fd, text.data(), text.size());
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) CannotWrite(path, errno);
    text.remove_prefix(static_cast<std::size_t>(w));
  }
}

std::vector<std::string> Names(int folderFd) {
  std::vector<std::string> names;
  // A handle of its own: a duplicate would share the folder's read position.
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return names;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Removes name in folderFd and, for a folder, everything in it, never
// following a link and never entering another file system.
bool RemoveAt(int folderFd, const std::string& name, dev_t device, const fs::path& shown, int depth) {
  struct stat st {};
  if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return false;
    throw EFCreateError(FormatMsg("Cannot remove \"%s\". %s", {PathText(shown), SystemReason(errno)}), errno);
  }
  if (S_ISDIR(st.st_mode)) {
    if (st.st_dev != device)
      Unusable(FormatMsg("The journal's \"%s\" lies on another file system than the game (a mount), which the "
                         "installer does not enter; nothing was changed. Unmount it, then try again.",
                         {PathText(shown)}));
    if (depth > kDepthLimit)
      Unusable(FormatMsg("\"%s\" in the journal is nested deeper than any record of the installer; remove it by "
                         "hand, then try again.",
                         {PathText(shown)}));
    UniqueFd fd(::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat opened {};
    if (!fd || ::fstat(fd.Get(), &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
      throw EFCreateError(FormatMsg("Cannot remove \"%s\". %s", {PathText(shown), SystemReason(errno)}), errno);
    for (const std::string& child : Names(fd.Get())) RemoveAt(fd.Get(), child, device, shown / child, depth + 1);
    if (::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
      throw EFCreateError(FormatMsg("Cannot remove \"%s\". %s", {PathText(shown), SystemReason(errno)}), errno);
    return true;
  }
  if (::unlinkat(folderFd, name.c_str(), 0) != 0 && errno != ENOENT)
    throw EFCreateError(FormatMsg("Cannot remove \"%s\". %s", {PathText(shown), SystemReason(errno)}), errno);
  return true;
}

}  // namespace
}  // namespace journal_dir

namespace jd = journal_dir;

void SetJournalOpenat2ForTesting(bool use) { jd::useOpenat2 = use; }

bool IsJournalRelative(std::string_view rel) {
  if (rel.empty() || rel.find('\0') != std::string_view::npos) return false;
  for (std::string_view part : jd::Parts(rel))
    if (part.empty() || part == "." || part == "..") return false;
  return true;
}

std::optional<JournalFolder> JournalFolder::OpenHome(const fs::path& gameFolder, bool create) {
  std::error_code ec;
  fs::path game = fs::absolute(gameFolder, ec).lexically_normal();
  if (!game.has_filename() && game.has_relative_path()) game = game.parent_path();
  const fs::path home = game / journal::kHomeName;
  // The game folder is the one the person named; a link to it is theirs.
  UniqueFd gameFd(::open(game.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  struct stat gameStat {};
  if (!gameFd || ::fstat(gameFd.Get(), &gameStat) != 0)
    jd::Unusable(FormatMsg("Cannot read the game folder \"%s\". %s", {PathText(game), SystemReason(errno)}));
  const std::string name(journal::kHomeName);
  UniqueFd fd(::openat(gameFd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd && errno == ENOENT) {
    if (!create) return std::nullopt;
    if (::mkdirat(gameFd.Get(), name.c_str(), 0755) != 0 && errno != EEXIST)
      jd::Unusable(FormatMsg("Cannot create the journal folder \"%s\". %s", {PathText(home), SystemReason(errno)}));
    fd = UniqueFd(::openat(gameFd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  }
  struct stat st {};
  if (!fd) {
    if (::fstatat(gameFd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      jd::Unusable(FormatMsg("Cannot open the journal folder \"%s\". %s", {PathText(home), SystemReason(errno)}));
  } else if (::fstat(fd.Get(), &st) != 0) {
    jd::Unusable(FormatMsg("Cannot open the journal folder \"%s\". %s", {PathText(home), SystemReason(errno)}));
  }
  if (S_ISLNK(st.st_mode))
    jd::Unusable(FormatMsg("The journal folder \"%s\" is a link. The installer does not follow it and does not "
                       "install without a journal; nothing was changed. Replace the link by a folder.",
                       {PathText(home)}));
  if (!S_ISDIR(st.st_mode))
    jd::Unusable(FormatMsg("The journal folder \"%s\" is not a folder; nothing was changed. Remove it, then try "
                       "again.",
                       {PathText(home)}));
  // The journal keeps the old versions as links to the game's files and
  // puts them back by renaming: it must be a folder of the game's own disk.
  if (st.st_dev != gameStat.st_dev)
    jd::Unusable(FormatMsg("The journal folder \"%s\" lies on another file system than the game; nothing was "
                       "changed. Replace it by a folder on the game's own disk.",
                       {PathText(home)}));
  return JournalFolder(std::move(fd), home, st.st_dev);
}

JournalFolder JournalFolder::Home(const fs::path& gameFolder, bool create) {
  std::optional<JournalFolder> home = OpenHome(gameFolder, create);
  if (!home)
    jd::Unusable(FormatMsg("The game folder \"%s\" has no journal.", {PathText(fs::absolute(gameFolder))}));
  return std::move(*home);
}

fs::path JournalFolder::PathOf(std::string_view rel) const { return path_ / fs::path(std::string(rel)); }

fs::path JournalFolder::Through(std::string_view rel) const {
  return fs::path("/proc/self/fd/" + std::to_string(fd_.Get())) / fs::path(std::string(rel));
}

int JournalFolder::OpenBeneath(std::string_view rel, int flags, mode_t mode) const {
  if (!IsJournalRelative(rel)) {
    errno = EINVAL;
    return -1;
  }
  const std::string text(rel);
  flags |= O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  if (jd::useOpenat2) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
    for (int tries = 0; tries < 8; ++tries) {
      const long fd = ::syscall(SYS_openat2, fd_.Get(), text.c_str(), &how, sizeof how);
      if (fd >= 0) return static_cast<int>(fd);
      if (errno == EAGAIN || errno == EINTR) continue;  // a rename elsewhere raced the lookup
      if (errno != ENOSYS) return -1;
      break;
    }
    if (errno != ENOSYS) return -1;
    jd::useOpenat2 = false;
  }
  // Component by component, each folder opened without following a link
  // and checked to lie on the journal's file system.
  const auto parts = jd::Parts(rel);
  UniqueFd at;
  int current = fd_.Get();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string part(parts[i]);
    UniqueFd next(::openat(current, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!next) return -1;
    struct stat st {};
    if (::fstat(next.Get(), &st) != 0) return -1;
    if (st.st_dev != device_) {
      errno = EXDEV;
      return -1;
    }
    at = std::move(next);
    current = at.Get();
  }
  const std::string last(parts.back());
  const int fd = ::openat(current, last.c_str(), flags, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_dev != device_) {
    ::close(fd);
    errno = EXDEV;
    return -1;
  }
  return fd;
}

EntryType JournalFolder::TypeOf(std::string_view rel) const {
  if (!IsJournalRelative(rel)) jd::Unusable(FormatMsg("\"%s\" is not a path of the journal.", {std::string(rel)}));
  const std::string dir = jd::Dirname(rel);
  UniqueFd parent;
  int at = fd_.Get();
  if (!dir.empty()) {
    parent = UniqueFd(OpenBeneath(dir, O_RDONLY | O_DIRECTORY));
    if (!parent) {
      if (errno == ENOENT) return EntryType::kMissing;
      // What stands in the way is what is wrong; name it.
      const auto parts = jd::Parts(dir);
      std::string prefix;
      for (std::string_view part : parts) {
        prefix += (prefix.empty() ? "" : "/") + std::string(part);
        const EntryType type = TypeOf(prefix);
        if (type != EntryType::kFolder) Refuse(prefix, type, "a folder");
      }
      RefuseOpen(dir, errno, "a folder");
    }
    at = parent.Get();
  }
  struct stat st {};
  const std::string name = jd::Basename(rel);
  if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return EntryType::kMissing;
    RefuseOpen(rel, errno, "readable");
  }
  if (S_ISDIR(st.st_mode) && st.st_dev != device_)
    jd::Unusable(FormatMsg("The journal's \"%s\" lies on another file system than the game (a mount), which the "
                         "installer does not enter; nothing was changed. Unmount it, then try again.",
                       {PathText(PathOf(rel))}));
  return jd::TypeOfMode(st.st_mode);
}

void JournalFolder::Refuse(std::string_view rel, EntryType found, std::string_view expected) const {
  jd::Unusable(FormatMsg("The journal's \"%s\" is %s where %s belongs; nothing was changed. It is not one of "
                         "the installer's records: remove it, then try again.",
                     {PathText(PathOf(rel)), std::string(jd::Described(found)), std::string(expected)}));
}

void JournalFolder::RefuseOpen(std::string_view rel, int err, std::string_view expected) const {
  if (err == ELOOP || err == ENOTDIR || err == EXDEV || err == EISDIR || err == ENXIO) {
    // Find what stands in the way, outermost first.
    std::string prefix;
    for (std::string_view part : jd::Parts(rel)) {
      prefix += (prefix.empty() ? "" : "/") + std::string(part);
      const EntryType type = TypeOf(prefix);
      const bool last = prefix.size() == rel.size();
      if (!last && type != EntryType::kFolder && type != EntryType::kMissing) Refuse(prefix, type, "a folder");
      if (last && type != EntryType::kMissing) Refuse(prefix, type, expected);
    }
    if (err == EXDEV)
      jd::Unusable(FormatMsg("The journal's \"%s\" lies on another file system than the game (a mount), which the "
                         "installer does not enter; nothing was changed. Unmount it, then try again.",
                         {PathText(PathOf(rel))}));
  }
  jd::Unusable(FormatMsg("Cannot open the journal's \"%s\". %s", {PathText(PathOf(rel)), SystemReason(err)}));
}

std::optional<JournalFolder> JournalFolder::Folder(std::string_view rel) const {
  UniqueFd fd(OpenBeneath(rel, O_RDONLY | O_DIRECTORY));
  if (!fd) {
    if (errno == ENOENT) return std::nullopt;
    RefuseOpen(rel, errno, "a folder");
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISDIR(st.st_mode)) Refuse(rel, jd::TypeOfMode(st.st_mode), "a folder");
  return JournalFolder(std::move(fd), PathOf(rel), device_);
}

JournalFolder JournalFolder::MakeFolder(std::string_view rel) const {
  if (std::optional<JournalFolder> there = Folder(rel)) return std::move(*there);
  const std::string dir = jd::Dirname(rel);
  if (!dir.empty()) {
    JournalFolder parent = MakeFolder(dir);
    return parent.MakeFolder(jd::Basename(rel));
  }
  const std::string name(rel);
  if (!IsJournalRelative(rel)) jd::Unusable(FormatMsg("\"%s\" is not a path of the journal.", {name}));
  if (::mkdirat(fd_.Get(), name.c_str(), 0755) != 0 && errno != EEXIST)
    throw EFCreateError(
        FormatMsg("Cannot create the folder \"%s\". %s", {PathText(PathOf(rel)), SystemReason(errno)}), errno);
  if (std::optional<JournalFolder> made = Folder(rel)) return std::move(*made);
  jd::Unusable(FormatMsg("Cannot create the folder \"%s\".", {PathText(PathOf(rel))}));
}

std::optional<UniqueFd> JournalFolder::OpenFile(std::string_view rel) const {
  UniqueFd fd(OpenBeneath(rel, O_RDONLY));
  if (!fd) {
    if (errno == ENOENT) return std::nullopt;
    RefuseOpen(rel, errno, "a file");
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) Refuse(rel, jd::TypeOfMode(st.st_mode), "a file");
  return fd;
}

std::optional<std::string> JournalFolder::ReadText(std::string_view rel, std::size_t maxBytes) const {
  std::optional<UniqueFd> fd = OpenFile(rel);
  if (!fd) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd->Get(), buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      jd::Unusable(FormatMsg("Cannot read the journal's \"%s\". %s", {PathText(PathOf(rel)), SystemReason(errno)}));
    }
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > maxBytes)
      jd::Unusable(FormatMsg("The journal's \"%s\" is larger than any record of the installer; nothing was changed. "
                         "Remove it, then try again.",
                         {PathText(PathOf(rel))}));
  }
  return text;
}

std::vector<std::string> JournalFolder::ReadLines(std::string_view rel) const {
  std::vector<std::string> lines;
  const std::optional<std::string> text = ReadText(rel);
  if (!text) return lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text->find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text->substr(start, nl - start));
  return lines;
}

void JournalFolder::WriteText(std::string_view rel, std::string_view text) const {
  const std::string dir = jd::Dirname(rel);
  std::optional<JournalFolder> parentFolder;
  if (!dir.empty()) {
    parentFolder = Folder(dir);
    if (!parentFolder) jd::CannotWrite(PathOf(rel), ENOENT);
  }
  const JournalFolder& parent = parentFolder ? *parentFolder : *this;
  const std::string name = jd::Basename(rel);
  const EntryType there = parent.TypeOf(name);
  if (there != EntryType::kMissing && there != EntryType::kFile) parent.Refuse(name, there, "a file");
  const std::string temp = name + ".new";
  jd::RemoveAt(parent.Fd(), temp, device_, parent.PathOf(temp), 0);
  UniqueFd fd(::openat(parent.Fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) jd::CannotWrite(parent.PathOf(temp), errno);
  jd::WriteAll(fd.Get(), text, parent.PathOf(temp));
  if (::fdatasync(fd.Get()) != 0) jd::CannotWrite(parent.PathOf(temp), errno);
  fd = UniqueFd();
  if (::renameat(parent.Fd(), temp.c_str(), parent.Fd(), name.c_str()) != 0) jd::CannotWrite(PathOf(rel), errno);
  parent.Sync();
}

UniqueFd JournalFolder::OpenAppend(std::string_view rel) const {
  UniqueFd fd(OpenBeneath(rel, O_WRONLY | O_CREAT | O_APPEND, 0644));
  if (!fd) {
    if (errno == ENOENT) jd::CannotWrite(PathOf(rel), errno);
    RefuseOpen(rel, errno, "a file");
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) Refuse(rel, jd::TypeOfMode(st.st_mode), "a file");
  return fd;
}

std::vector<std::string> JournalFolder::List() const { return jd::Names(fd_.Get()); }

bool JournalFolder::Remove(std::string_view rel) const {
  const std::string dir = jd::Dirname(rel);
  if (!IsJournalRelative(rel)) jd::Unusable(FormatMsg("\"%s\" is not a path of the journal.", {std::string(rel)}));
  if (dir.empty()) return jd::RemoveAt(fd_.Get(), std::string(rel), device_, PathOf(rel), 0);
  std::optional<JournalFolder> parent = Folder(dir);
  if (!parent) return false;
  return jd::RemoveAt(parent->Fd(), jd::Basename(rel), device_, PathOf(rel), 0);
}

void JournalFolder::Rename(std::string_view rel, const JournalFolder& to, std::string_view toRel) const {
  const auto parentOf = [](const JournalFolder& base, std::string_view path) {
    const std::string dir = jd::Dirname(path);
    if (dir.empty()) return std::optional<JournalFolder>();
    std::optional<JournalFolder> parent = base.Folder(dir);
    if (!parent)
      throw EFCreateError(FormatMsg("Cannot rename \"%s\". %s", {PathText(base.PathOf(path)), SystemReason(ENOENT)}),
                          ENOENT);
    return parent;
  };
  if (!IsJournalRelative(rel) || !IsJournalRelative(toRel))
    jd::Unusable(FormatMsg("\"%s\" is not a path of the journal.", {std::string(rel)}));
  const std::optional<JournalFolder> from = parentOf(*this, rel), into = parentOf(to, toRel);
  const int fromFd = from ? from->Fd() : Fd(), intoFd = into ? into->Fd() : to.Fd();
  if (::renameat(fromFd, jd::Basename(rel).c_str(), intoFd, jd::Basename(toRel).c_str()) != 0)
    throw EFCreateError(FormatMsg("Cannot rename \"%s\" to \"%s\". %s",
                                  {PathText(PathOf(rel)), PathText(to.PathOf(toRel)), SystemReason(errno)}),
                        errno);
}

namespace journal_dir {
namespace {
// The game folder and the path beneath its journal folder.
std::pair<fs::path, std::string> SplitJournalPath(const fs::path& path) {
  std::error_code ec;
  const fs::path normal = fs::absolute(path, ec).lexically_normal();
  std::vector<fs::path> parts(normal.begin(), normal.end());
  while (!parts.empty() && parts.back().empty()) parts.pop_back();
  for (std::size_t i = parts.size(); i-- > 0;) {
    if (parts[i] != journal::kHomeName) continue;
    fs::path game;
    for (std::size_t j = 0; j < i; ++j) game /= parts[j];
    std::string rel;
    for (std::size_t j = i + 1; j < parts.size(); ++j) rel += (rel.empty() ? "" : "/") + parts[j].string();
    return {game, rel};
  }
  return {fs::path(), normal.string()};
}
}  // namespace
}  // namespace journal_dir

std::optional<JournalFolder> JournalFolder::OpenLoose(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0) {
    if (errno == ENOENT) return std::nullopt;
    jd::Unusable(FormatMsg("\"%s\" is not a folder (a link is not followed).", {PathText(path)}));
  }
  return JournalFolder(std::move(fd), path, st.st_dev);
}

std::optional<JournalFolder> OpenJournalFolder(const fs::path& path) {
  auto [game, rel] = jd::SplitJournalPath(path);
  if (game.empty()) return JournalFolder::OpenLoose(rel);
  std::optional<JournalFolder> home = JournalFolder::OpenHome(game, false);
  if (!home || rel.empty()) return home;
  return home->Folder(rel);
}

std::optional<std::pair<JournalFolder, std::string>> OpenJournalParent(const fs::path& path) {
  auto [game, rel] = jd::SplitJournalPath(path);
  if (game.empty()) {
    const fs::path loose(rel);
    std::optional<JournalFolder> parent = JournalFolder::OpenLoose(loose.parent_path());
    if (!parent) return std::nullopt;
    return std::make_pair(std::move(*parent), loose.filename().string());
  }
  if (rel.empty()) jd::Unusable(FormatMsg("\"%s\" is not in a journal folder.", {PathText(path)}));
  std::optional<JournalFolder> home = JournalFolder::OpenHome(game, false);
  if (!home) return std::nullopt;
  const std::string dir = jd::Dirname(rel);
  if (dir.empty()) return std::make_pair(std::move(*home), rel);
  std::optional<JournalFolder> parent = home->Folder(dir);
  if (!parent) return std::nullopt;
  return std::make_pair(std::move(*parent), jd::Basename(rel));
}

void JournalFolder::Sync() const { ::fsync(fd_.Get()); }

}  // namespace vey::platform
