// ModCache: the unpacked-mod cache reached by handle, its manifests, locks
// and use records.
#include "platform/ModCache.h"

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
#include <random>
#include <sstream>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "common/VeyException.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMetaFolder = ".meta";
constexpr const char* kUnpackPrefix = ".unpacking-";
constexpr const char* kManifestHead = "veypatcher unpack manifest 1";
constexpr std::size_t kMaxRecordBytes = std::size_t{64} << 20;

bool IsSha256(const std::string& name) {
  return name.size() == 64 &&
         std::all_of(name.begin(), name.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

UniqueFd OpenFolderAt(int dirFd, const std::string& name) {
  return UniqueFd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
}

// The names in an open folder, "." and ".." left out.
std::vector<std::string> NamesIn(int dirFd) {
  std::vector<std::string> names;
  const int copy = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return names;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return names;
  }
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// A small regular file read whole, never through a link or from a FIFO.
std::optional<std::string> ReadSmallFile(int dirFd, const std::string& name) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > kMaxRecordBytes)
    return std::nullopt;
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::read(fd.Get(), text.data() + done, text.size() - done);
    if (n <= 0) return std::nullopt;
    done += static_cast<std::size_t>(n);
  }
  return text;
}

// Replaces name in the folder with text in one rename.
void WriteFileAt(int dirFd, const std::string& name, const std::string& text, const fs::path& shown) {
  const std::string temp = name + ".new-" + std::to_string(::getpid());
  ::unlinkat(dirFd, temp.c_str(), 0);
  UniqueFd fd(::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) throw EFCreateError("Cannot create file \"" + shown.string() + "\". " + SystemReason(errno));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
    if (n <= 0) {
      const int err = errno;
      ::unlinkat(dirFd, temp.c_str(), 0);
      throw EFCreateError("Cannot write \"" + shown.string() + "\". " + SystemReason(err));
    }
    done += static_cast<std::size_t>(n);
  }
  if (::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0) {
    const int err = errno;
    ::unlinkat(dirFd, temp.c_str(), 0);
    throw EFCreateError("Cannot write \"" + shown.string() + "\". " + SystemReason(err));
  }
}

std::string DigestOfText(const std::string& text) {
  return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string DigestOfFileAt(int dirFd, const std::string& name) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return "?";
  Sha256 digest;
  // One buffer for the whole walk: an archive of many small files would
  // otherwise spend its time allocating.
  thread_local std::vector<std::uint8_t> buffer(256 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
    if (n < 0) return "?";
    if (n == 0) break;
    digest.Update(std::span(buffer).first(static_cast<std::size_t>(n)));
  }
  return digest.HexDigest();
}

// Every item below the open folder; files hashed when asked, their sizes
// added to bytes.
void Walk(int dirFd, const std::string& prefix, bool hash, std::vector<ManifestItem>& items, std::uint64_t& bytes) {
  struct stat self {};
  if (::fstat(dirFd, &self) != 0) return;
  for (const std::string& name : NamesIn(dirFd)) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const std::string path = prefix + name;
    if (S_ISDIR(st.st_mode)) {
      items.push_back({'d', 0, "-", path});
      if (st.st_dev != self.st_dev) continue;
      UniqueFd sub = OpenFolderAt(dirFd, name);
      if (sub) Walk(sub.Get(), path + "/", hash, items, bytes);
    } else if (S_ISREG(st.st_mode)) {
      bytes += static_cast<std::uint64_t>(st.st_size);
      items.push_back({'f', static_cast<std::uint64_t>(st.st_size), hash ? DigestOfFileAt(dirFd, name) : "", path});
    } else if (S_ISLNK(st.st_mode)) {
      std::string target(4096, '\0');
      const ssize_t n = ::readlinkat(dirFd, name.c_str(), target.data(), target.size());
      target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      items.push_back({'l', 0, DigestOfText(target), path});
    } else {
      items.push_back({'?', 0, "-", path});
    }
  }
}

std::string ManifestText(const Manifest& manifest) {
  std::string clean = manifest.archiveName;
  for (char& c : clean)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  std::string text = std::string(kManifestHead) + "\narchive\t" + clean + "\n";
  for (const ManifestItem& item : manifest.items)
    text += std::string(1, item.type) + '\t' + std::to_string(item.size) + '\t' + item.digest + '\t' + item.path + '\n';
  return text;
}

std::optional<Manifest> ParseManifest(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kManifestHead) return std::nullopt;
  if (!std::getline(in, line) || !line.starts_with("archive\t")) return std::nullopt;
  Manifest manifest;
  manifest.archiveName = line.substr(8);
  // Only complete lines: a manifest cut short is no manifest.
  if (!text.ends_with('\n')) return std::nullopt;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
      const std::size_t tab = line.find('\t', start);
      if (tab == std::string::npos) return std::nullopt;
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(line.substr(start));
    if (fields[0].size() != 1 || std::string("dfl").find(fields[0][0]) == std::string::npos || fields[3].empty())
      return std::nullopt;
    ManifestItem item;
    item.type = fields[0][0];
    try {
      item.size = std::stoull(fields[1]);
    } catch (...) {
      return std::nullopt;
    }
    item.digest = fields[2];
    item.path = fields[3];
    manifest.items.push_back(std::move(item));
  }
  return manifest;
}

// Whether every item of the manifest is in the folder as it says; digests of
// files compared only when deep (links are always compared).
bool Matches(int folderFd, const Manifest& manifest, bool deep) {
  std::vector<ManifestItem> found;
  std::uint64_t bytes = 0;
  Walk(folderFd, "", deep, found, bytes);
  std::map<std::string, const ManifestItem*> byPath;
  for (const ManifestItem& item : found) byPath[item.path] = &item;
  for (const ManifestItem& want : manifest.items) {
    const auto it = byPath.find(want.path);
    if (it == byPath.end()) return false;
    const ManifestItem& have = *it->second;
    if (have.type != want.type || have.size != want.size) return false;
    if ((want.type == 'l' || (deep && want.type == 'f')) && have.digest != want.digest) return false;
  }
  return true;
}

// The start time of a running process (clock ticks after boot), or nothing.
std::optional<std::uint64_t> ProcessStart(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  // After the name come the state (field 3) and 18 more before the start time (22).
  for (int i = 3; i <= 22; ++i)
    if (!(fields >> field)) return std::nullopt;
  try {
    return std::stoull(field);
  } catch (...) {
    return std::nullopt;
  }
}

// The process id and start time an unpack folder's name carries.
std::optional<std::pair<long, std::uint64_t>> Owner(const std::string& name) {
  long pid = 0;
  unsigned long long start = 0;
  char tail[64];
  if (std::sscanf(name.c_str() + std::char_traits<char>::length(kUnpackPrefix), "%ld-%llu-%63s", &pid, &start,
                  tail) != 3)
    return std::nullopt;
  return std::pair{pid, static_cast<std::uint64_t>(start)};
}

// The cache's own folder name, made when missing; a link, file or FIFO in
// its place is taken away, never followed.
UniqueFd OwnFolderAt(int dirFd, const char* name) {
  ::mkdirat(dirFd, name, 0755);
  UniqueFd folder = OpenFolderAt(dirFd, name);
  if (!folder) {
    RemoveTreeAt(dirFd, name);
    ::mkdirat(dirFd, name, 0755);
    folder = OpenFolderAt(dirFd, name);
  }
  return folder;
}

std::int64_t MtimeAt(int dirFd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  return st.st_mtim.tv_sec;
}

}  // namespace

void RemoveTreeAt(int dirFd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    ::unlinkat(dirFd, name.c_str(), 0);
    return;
  }
  struct stat parent {};
  if (::fstat(dirFd, &parent) == 0 && parent.st_dev == st.st_dev) {
    if (UniqueFd sub = OpenFolderAt(dirFd, name)) {
      // A folder the archive made unwritable would keep its content.
      ::fchmod(sub.Get(), 0700);
      for (const std::string& child : NamesIn(sub.Get())) RemoveTreeAt(sub.Get(), child);
    }
  }
  ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
}

Manifest ManifestOf(int folderFd, std::string archiveName) {
  Manifest manifest;
  manifest.archiveName = std::move(archiveName);
  std::uint64_t bytes = 0;
  Walk(folderFd, "", true, manifest.items, bytes);
  std::sort(manifest.items.begin(), manifest.items.end(),
            [](const ManifestItem& a, const ManifestItem& b) { return a.path < b.path; });
  return manifest;
}

ModCache::ModCache(fs::path home) : home_(std::move(home)) {
  std::error_code ec;
  fs::create_directories(home_, ec);
  fd_ = UniqueFd(::open(home_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd_) throw EFCreateError("Cannot create folder \"" + home_.string() + "\". " + SystemReason(errno));
}

void ModCache::RemoveLeftovers() const {
  for (const std::string& name : NamesIn(fd_.Get())) {
    if (!name.starts_with(kUnpackPrefix)) continue;
    const auto owner = Owner(name);
    if (owner && ProcessStart(owner->first) == owner->second) continue;  // still unpacking
    UniqueFd folder = OpenFolderAt(fd_.Get(), name);
    if (folder) {
      if (::flock(folder.Get(), LOCK_EX | LOCK_NB) != 0) continue;  // its owner holds it
      // A name of an earlier version carries no owner: left alone a while.
      if (!owner && MtimeAt(fd_.Get(), name) > static_cast<std::int64_t>(std::time(nullptr)) - 3600) continue;
    }
    RemoveTreeAt(fd_.Get(), name);
  }
}

std::optional<Manifest> ModCache::ReadManifest(const std::string& sha256) const {
  if (!IsSha256(sha256)) return std::nullopt;
  UniqueFd meta = OpenFolderAt(fd_.Get(), kMetaFolder);
  if (!meta) return std::nullopt;
  const auto text = ReadSmallFile(meta.Get(), sha256 + ".manifest");
  if (!text) return std::nullopt;
  return ParseManifest(*text);
}

std::optional<std::string> ModCache::ReadSum(const std::string& name) const {
  UniqueFd sums = OpenFolderAt(fd_.Get(), ".sums");
  if (!sums) return std::nullopt;
  std::string text = ReadSmallFile(sums.Get(), name).value_or("");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (!IsSha256(text)) return std::nullopt;
  return text;
}

void ModCache::WriteSum(const std::string& name, const std::string& sha256) const {
  UniqueFd sums = OwnFolderAt(fd_.Get(), ".sums");
  if (!sums) return;
  WriteFileAt(sums.Get(), name, sha256 + "\n", home_ / ".sums" / name);
}

bool ModCache::Usable(const std::string& sha256) const {
  const auto manifest = ReadManifest(sha256);
  if (!manifest) return false;
  UniqueFd folder = OpenFolderAt(fd_.Get(), sha256);
  if (!folder || !Matches(folder.Get(), *manifest, false)) return false;
  if (UniqueFd meta = OpenFolderAt(fd_.Get(), kMetaFolder))
    ::utimensat(meta.Get(), (sha256 + ".manifest").c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
  return true;
}

bool ModCache::Place(const std::string& unpackName, const std::string& sha256, const Manifest& manifest) const {
  const int fd = fd_.Get();
  bool kept = false;
  struct stat st {};
  if (::fstatat(fd, sha256.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    UniqueFd earlier = S_ISDIR(st.st_mode) ? OpenFolderAt(fd, sha256) : UniqueFd();
    if (earlier && Matches(earlier.Get(), manifest, true)) {
      // The same content, perhaps with the installer's backups and logs
      // beside it: those stay.
      kept = true;
      RemoveTreeAt(fd, unpackName);
    } else if (earlier && ::renameat2(fd, unpackName.c_str(), fd, sha256.c_str(), RENAME_EXCHANGE) == 0) {
      RemoveTreeAt(fd, unpackName);  // now the copy that did not match
    } else {
      RemoveTreeAt(fd, sha256);  // a link or a file is taken away, never followed
    }
  }
  if (!kept && ::fstatat(fd, sha256.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
      ::renameat2(fd, unpackName.c_str(), fd, sha256.c_str(), RENAME_NOREPLACE) != 0) {
    const int err = errno;
    // Another run placed the same archive meanwhile: its copy is as good.
    UniqueFd other = OpenFolderAt(fd, sha256);
    if (!other || !Matches(other.Get(), manifest, true))
      throw EFCreateError("Cannot rename \"" + (home_ / unpackName).string() + "\". " + SystemReason(err));
    RemoveTreeAt(fd, unpackName);
    kept = true;
  }
  UniqueFd meta = OwnFolderAt(fd, kMetaFolder);
  if (!meta)
    throw EFCreateError("Cannot open folder \"" + (home_ / kMetaFolder).string() + "\". " + SystemReason(errno));
  WriteFileAt(meta.Get(), sha256 + ".manifest", ManifestText(manifest), home_ / kMetaFolder / (sha256 + ".manifest"));
  return kept;
}

void ModCache::RecordUse(const std::string& sha256, const std::string& gameFolder) const {
  if (!IsSha256(sha256) || gameFolder.find('\n') != std::string::npos) return;
  UniqueFd meta = OpenFolderAt(fd_.Get(), kMetaFolder);
  if (!meta) return;
  const std::string name = sha256 + ".games";
  std::string text = ReadSmallFile(meta.Get(), name).value_or("");
  if (!text.empty() && !text.ends_with('\n')) text += '\n';
  if (("\n" + text).find("\n" + gameFolder + "\n") == std::string::npos) text += gameFolder + "\n";
  WriteFileAt(meta.Get(), name, text, home_ / kMetaFolder / name);
}

std::vector<CacheEntry> ModCache::Entries() const {
  std::vector<CacheEntry> entries;
  UniqueFd meta = OpenFolderAt(fd_.Get(), kMetaFolder);
  for (const std::string& name : NamesIn(fd_.Get())) {
    if (!IsSha256(name)) continue;
    CacheEntry entry;
    entry.sha256 = name;
    const auto manifest = ReadManifest(name);
    if (manifest) entry.archiveName = manifest->archiveName;
    UniqueFd folder = OpenFolderAt(fd_.Get(), name);
    if (folder) {
      std::vector<ManifestItem> items;
      Walk(folder.Get(), "", false, items, entry.bytes);
      entry.sound = manifest && Matches(folder.Get(), *manifest, false);
    }
    entry.lastUse = MtimeAt(fd_.Get(), name);
    if (meta) {
      entry.lastUse = std::max({entry.lastUse, MtimeAt(meta.Get(), name + ".manifest"), MtimeAt(meta.Get(), name + ".games")});
      std::istringstream games(ReadSmallFile(meta.Get(), name + ".games").value_or(""));
      for (std::string line; std::getline(games, line);)
        if (!line.empty()) entry.games.push_back(line);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool ModCache::Remove(const std::string& sha256) const {
  if (!IsSha256(sha256)) return false;
  struct stat st {};
  const bool there = ::fstatat(fd_.Get(), sha256.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  RemoveTreeAt(fd_.Get(), sha256);
  if (UniqueFd meta = OpenFolderAt(fd_.Get(), kMetaFolder)) {
    ::unlinkat(meta.Get(), (sha256 + ".manifest").c_str(), 0);
    ::unlinkat(meta.Get(), (sha256 + ".games").c_str(), 0);
  }
  return there;
}

UnpackFolder::UnpackFolder(const ModCache& cache) : cache_(cache) {
  const long pid = static_cast<long>(::getpid());
  const std::string owner = kUnpackPrefix + std::to_string(pid) + "-" + std::to_string(ProcessStart(pid).value_or(0)) + "-";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(random()));
    name_ = owner + tail;
    if (::mkdirat(cache_.Fd(), name_.c_str(), 0700) == 0) break;
    if (errno != EEXIST)
      throw EFCreateError("Cannot create folder \"" + (cache_.Home() / name_).string() + "\". " + SystemReason(errno));
  }
  fd_ = OpenFolderAt(cache_.Fd(), name_);
  if (!fd_ || ::flock(fd_.Get(), LOCK_EX) != 0) {
    const int err = errno;
    RemoveTreeAt(cache_.Fd(), name_);
    throw EFCreateError("Cannot create folder \"" + (cache_.Home() / name_).string() + "\". " + SystemReason(err));
  }
}

UnpackFolder::~UnpackFolder() {
  if (!released_) RemoveTreeAt(cache_.Fd(), name_);
}

}  // namespace vey::platform
