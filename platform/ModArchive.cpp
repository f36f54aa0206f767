// ModArchive: one read of a mod archive through libarchive, hashed as it is
// read, every entry checked before anything of it is written.
#include "platform/ModArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unordered_set>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "platform/ArchiveNames.h"
#include "platform/ArchiveWriter.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace {

// Reads the archive for libarchive at whatever offsets it asks, and feeds the
// digest every byte the first time the reads reach it in order. Formats that
// read their index at the end first (zip, 7z) make a small gap that Finish
// fills, so the archive is read about once in all.
class HashingSource {
 public:
  explicit HashingSource(const fs::path& path) : file_(path), buffer_(kBlock) {}

  static la_ssize_t Read(archive* a, void* self, const void** out) {
    auto& s = *static_cast<HashingSource*>(self);
    const ssize_t n = ::pread(s.file_.Fd(), s.buffer_.data(), s.buffer_.size(), static_cast<off_t>(s.pos_));
    if (n < 0) {
      archive_set_error(a, errno, "%s", SystemReason(errno).c_str());
      return -1;
    }
    const auto got = static_cast<std::uint64_t>(n);
    if (s.pos_ <= s.hashed_ && s.pos_ + got > s.hashed_) {
      s.digest_.Update(std::span(s.buffer_).subspan(s.hashed_ - s.pos_, s.pos_ + got - s.hashed_));
      s.hashed_ = s.pos_ + got;
    }
    s.pos_ += got;
    *out = s.buffer_.data();
    return n;
  }
  static la_int64_t Seek(archive*, void* self, la_int64_t offset, int whence) {
    auto& s = *static_cast<HashingSource*>(self);
    std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<std::int64_t>(s.pos_)
                                                                    : static_cast<std::int64_t>(s.file_.Size());
    const std::int64_t to = std::clamp<std::int64_t>(base + offset, 0, static_cast<std::int64_t>(s.file_.Size()));
    s.pos_ = static_cast<std::uint64_t>(to);
    return to;
  }
  static la_int64_t Skip(archive*, void* self, la_int64_t request) {
    auto& s = *static_cast<HashingSource*>(self);
    const std::uint64_t left = s.file_.Size() - std::min(s.pos_, s.file_.Size());
    const auto step = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<la_int64_t>(request, 0)), left);
    s.pos_ += step;
    return static_cast<la_int64_t>(step);
  }

  std::string Finish() {
    std::vector<std::uint8_t> rest(kBlock);
    while (hashed_ < file_.Size()) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, file_.Size() - hashed_));
      file_.ReadAt(hashed_, std::span(rest).first(n));
      digest_.Update(std::span(rest).first(n));
      hashed_ += n;
    }
    return digest_.HexDigest();
  }
  std::uint64_t Size() const { return file_.Size(); }

 private:
  static constexpr std::size_t kBlock = 256 * 1024;
  InputFile file_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t pos_ = 0, hashed_ = 0;
  Sha256 digest_;
};

struct ArchiveDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

ArchivePtr OpenReader() {
  ArchivePtr a(archive_read_new());
  archive_read_support_filter_all(a.get());
  archive_read_support_format_all(a.get());
  // A lone compressed file or bare bytes are no mod archive.
  return a;
}

[[noreturn]] void Refuse(std::int32_t code, const std::string& message) { throw EModArchive(message, code); }

std::string Unreadable(const fs::path& archivePath, archive* a) {
  const char* why = archive_error_string(a);
  return "Cannot read the archive \"" + archivePath.string() + "\": " + (why ? why : "unknown format");
}

// A folder removed with everything in it unless released.
class TempFolder {
 public:
  explicit TempFolder(fs::path path) : path_(std::move(path)) {}
  ~TempFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  fs::path path_;
};

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

const char* EntryName(archive_entry* entry) {
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) return utf8;
  return archive_entry_pathname(entry);
}

// What the archive named so far, for the letter-case and link checks.
class NameBook {
 public:
  // Every prefix of the path, folded, must keep the spelling it was first
  // given: "Override/a.tga" after "override/b.tga" would be two folders on
  // this system and one on the game's.
  void Add(const std::vector<std::string>& parts, const std::string& entryName) {
    std::string exact, folded;
    for (const auto& part : parts) {
      exact += (exact.empty() ? "" : "/") + part;
      folded = Folded(exact);
      auto [it, added] = spelling_.emplace(folded, exact);
      if (!added && it->second != exact)
        Refuse(kArchiveEntryRefused, "The archive holds \"" + it->second + "\" and \"" + entryName +
                                         "\", names that differ only in letter case; the whole archive is refused.");
    }
  }
  void AddLink(const std::vector<std::string>& parts) { links_.insert(Folded(JoinParts(parts))); }
  // True when a folder on the way to parts (not parts itself) is a link
  // extracted earlier.
  bool ThroughLink(const std::vector<std::string>& parts) const {
    std::string prefix;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      prefix += (prefix.empty() ? "" : "/") + parts[i];
      if (links_.count(Folded(prefix))) return true;
    }
    return false;
  }
  static std::string JoinParts(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : "/") + part;
    return text;
  }

 private:
  std::map<std::string, std::string> spelling_;
  std::set<std::string> links_;
};

[[noreturn]] void RefuseEntry(const std::string& name, const std::string& why) {
  Refuse(kArchiveEntryRefused, "The archive's entry \"" + PrintableName(name) + "\" is refused: " + why + ".");
}

// Reads and checks every entry and hands it to the writer; the writer's
// failures come back through its calls.
void ExtractEntries(archive* a, const fs::path& archivePath, PipelinedWriter& writer, std::uint64_t archiveSize,
                    const ExtractLimits& limits) {
  NameBook names;
  std::uint64_t total = 0;
  const std::uint64_t byRatio = archiveSize > UINT64_MAX / std::max<std::uint64_t>(limits.ratio, 1)
                                    ? UINT64_MAX
                                    : archiveSize * limits.ratio;
  const std::uint64_t cap = std::max(limits.absolute, byRatio);
  archive_entry* entry = nullptr;
  for (;;) {
    const int r = archive_read_next_header(a, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) Refuse(kArchiveUnreadable, Unreadable(archivePath, a));
    const char* raw = EntryName(entry);
    const std::string name = raw ? raw : "";
    const auto refuse = [&](const std::string& why) { RefuseEntry(name, why); };
    auto parts = SplitEntryName(name);
    if (!parts) refuse(NameRefusal(name));
    if (parts->empty()) continue;  // "./" names the root itself
    names.Add(*parts, name);
    if (names.ThroughLink(*parts)) refuse("it would be written through a link");
    const char* hardlink = archive_entry_hardlink_utf8(entry);
    if (!hardlink) hardlink = archive_entry_hardlink(entry);
    const mode_t type = archive_entry_filetype(entry);
    if (hardlink) {
      auto target = SplitEntryName(hardlink);
      if (!target || target->empty()) refuse("a hard link to \"" + PrintableName(hardlink) + "\", outside the archive");
      writer.HardLink(name, std::move(*parts), std::move(*target));
      continue;
    }
    switch (type) {
      case AE_IFDIR:
        writer.Folder(name, std::move(*parts));
        continue;
      case AE_IFLNK: {
        const char* target = archive_entry_symlink_utf8(entry);
        if (!target) target = archive_entry_symlink(entry);
        const std::string to = target ? target : "";
        if (!LinkStaysInside(*parts, to)) refuse("a link to \"" + PrintableName(to) + "\", outside the archive");
        names.AddLink(*parts);
        writer.Link(name, std::move(*parts), to);
        continue;
      }
      case AE_IFREG:
        break;
      case AE_IFCHR:
      case AE_IFBLK:
        refuse("a device file");
        break;
      default:
        refuse("a special file (no file, folder or link)");
    }
    const mode_t mode = (archive_entry_perm(entry) & 0111) ? 0755 : 0644;
    writer.Create(name, std::move(*parts), mode);
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    std::uint64_t written = 0, end = 0;
    const auto count = [&](std::uint64_t bytes) {
      total += bytes;
      if (total > cap)
        Refuse(kArchiveTooLarge, "The archive \"" + archivePath.string() + "\" unpacks to more than " +
                                     std::to_string(cap) + " bytes (at the entry \"" + PrintableName(name) +
                                     "\"); extraction stopped and what was extracted is removed.");
    };
    for (;;) {
      const int d = archive_read_data_block(a, &block, &size, &offset);
      if (d == ARCHIVE_EOF) break;
      if (d < ARCHIVE_WARN) Refuse(kArchiveUnreadable, Unreadable(archivePath, a));
      count(size);
      written += size;
      end = std::max(end, static_cast<std::uint64_t>(offset) + size);
      if (size > 0) writer.Write(static_cast<std::uint64_t>(offset), block, size);
    }
    // A sparse entry ends in a hole the writes did not reach; its holes
    // count as written, since whoever reads the file reads them.
    std::optional<std::uint64_t> cut;
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0) {
      const auto declared = static_cast<std::uint64_t>(archive_entry_size(entry));
      if (declared > written) count(declared - written);
      if (declared != end) cut = declared;
    }
    writer.Close(cut);
  }
}

// The entries below folder; the first failure in the archive's order is the
// one raised, whether the reading or the writing met it.
void ExtractInto(archive* a, const fs::path& archivePath, const fs::path& folder, std::uint64_t archiveSize,
                 const ExtractLimits& limits) {
  PipelinedWriter writer(folder);
  try {
    try {
      ExtractEntries(a, archivePath, writer, archiveSize, limits);
      writer.Finish();
    } catch (const EntryRefusal&) {
      throw;
    } catch (...) {
      writer.Finish();
      throw;
    }
  } catch (const EntryRefusal& e) {
    RefuseEntry(e.entry, e.why);
  }
}

fs::path CacheTempFolder(const fs::path& cacheHome) {
  std::error_code ec;
  fs::create_directories(cacheHome, ec);
  std::string pattern = (cacheHome / ".unpacking-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw EFCreateError("Cannot create folder \"" + cacheHome.string() + "\". " + SystemReason(errno));
  return pattern;
}

// The remembered digest's file name: what identifies the download without
// reading it.
fs::path MemoPath(const fs::path& archive, const fs::path& cacheHome) {
  struct stat st {};
  if (::stat(archive.c_str(), &st) != 0) return {};
  std::error_code ec;
  const std::string key = fs::weakly_canonical(fs::absolute(archive), ec).string() + "\n" + std::to_string(st.st_size) +
                          "\n" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                          "\n" + std::to_string(st.st_ino);
  const std::string digest = Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
  return cacheHome / ".sums" / digest;
}

std::optional<std::string> RememberedSha256(const fs::path& archive, const fs::path& cacheHome) {
  const fs::path memo = MemoPath(archive, cacheHome);
  if (memo.empty()) return std::nullopt;
  std::ifstream in(memo);
  std::string sha;
  if (in >> sha && sha.size() == 64) return sha;
  return std::nullopt;
}

void Remember(const fs::path& archive, const fs::path& cacheHome, const std::string& sha) {
  const fs::path memo = MemoPath(archive, cacheHome);
  if (memo.empty()) return;
  std::error_code ec;
  fs::create_directories(memo.parent_path(), ec);
  try {
    const std::string line = sha + "\n";
    WriteFileAtomic(memo, std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
  } catch (const Exception&) {
    // Only a shortcut: without it the archive is hashed again next time.
  }
}

}  // namespace

fs::path ModCacheHome() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return fs::path(xdg) / "veypatcher" / "mods";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".cache" / "veypatcher" / "mods";
}

bool LooksLikeArchive(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  ArchivePtr a = OpenReader();
  if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) return false;
  archive_entry* entry = nullptr;
  const int r = archive_read_next_header(a.get(), &entry);
  // The "raw" reader is not enabled, so any header read means an archive
  // format; an empty file reads as the "empty" format, which is none.
  if (archive_format(a.get()) == ARCHIVE_FORMAT_EMPTY) return false;
  return r == ARCHIVE_OK || r == ARCHIVE_WARN || r == ARCHIVE_EOF;
}

std::string ArchiveSha256(const fs::path& archive, const fs::path& cacheHome) {
  if (auto known = RememberedSha256(archive, cacheHome)) return *known;
  std::string sha = Sha256OfFile(archive);
  Remember(archive, cacheHome, sha);
  return sha;
}

ExtractedMod ExtractModArchive(const fs::path& archivePath, const fs::path& cacheHome, const ExtractLimits& limits) {
  if (auto known = RememberedSha256(archivePath, cacheHome)) {
    std::error_code ec;
    if (fs::is_directory(cacheHome / *known, ec)) return {*known, cacheHome / *known, true};
  }
  HashingSource source(archivePath);
  TempFolder temp(CacheTempFolder(cacheHome));
  {
    ArchivePtr a = OpenReader();
    archive_read_set_read_callback(a.get(), &HashingSource::Read);
    archive_read_set_seek_callback(a.get(), &HashingSource::Seek);
    archive_read_set_skip_callback(a.get(), &HashingSource::Skip);
    archive_read_set_callback_data(a.get(), &source);
    if (archive_read_open1(a.get()) != ARCHIVE_OK) Refuse(kArchiveUnreadable, Unreadable(archivePath, a.get()));
    ExtractInto(a.get(), archivePath, temp.Path(), source.Size(), limits);
  }
  ExtractedMod result{source.Finish(), cacheHome / "", false};
  result.folder = cacheHome / result.sha256;
  if (::rename(temp.Path().c_str(), result.folder.c_str()) != 0) {
    const int err = errno;
    std::error_code ec;
    // Another run unpacked the same archive meanwhile: its copy is as good.
    if (!fs::is_directory(result.folder, ec))
      throw EFCreateError("Cannot rename \"" + temp.Path().string() + "\". " + SystemReason(err));
    result.reused = true;
  } else {
    temp.Release();
  }
  Remember(archivePath, cacheHome, result.sha256);
  return result;
}

std::vector<std::string> FindModFolders(const fs::path& root) {
  std::vector<std::string> found;
  std::error_code ec;
  auto walk = [&](auto& self, const fs::path& folder, const std::string& relative, int depth) -> void {
    std::vector<fs::path> subfolders;
    bool holds = false;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
      if (!item.is_directory(ec) || item.is_symlink(ec)) continue;
      const std::string name = item.path().filename().string();
      if (Folded(name) == "veypatchdata")
        holds = true;
      else
        subfolders.push_back(item.path());
    }
    if (holds) found.push_back(relative);
    if (depth == 3) return;
    for (const auto& sub : subfolders)
      self(self, sub, relative.empty() ? sub.filename().string() : relative + "/" + sub.filename().string(), depth + 1);
  };
  walk(walk, root, "", 0);
  std::sort(found.begin(), found.end());
  return found;
}

fs::path ChooseModFolder(const fs::path& root, const std::optional<std::string>& in) {
  const auto found = FindModFolders(root);
  std::string listing;
  for (const auto& folder : found) listing += "\n  " + (folder.empty() ? std::string(".") : folder);
  if (in) {
    std::string wanted = *in;
    while (!wanted.empty() && (wanted.back() == '/' || wanted.back() == '\\')) wanted.pop_back();
    std::replace(wanted.begin(), wanted.end(), '\\', '/');
    if (wanted == ".") wanted.clear();
    for (const auto& folder : found)
      if (Folded(folder) == Folded(wanted)) return folder.empty() ? root : root / folder;
    Refuse(kArchiveNoMod, "No mod folder \"" + *in + "\" in the archive; it holds:" +
                              (found.empty() ? std::string(" none") : listing));
  }
  if (found.empty())
    Refuse(kArchiveNoMod, "The archive holds no \"veypatchdata\" folder (looked up to three folders deep).");
  if (found.size() > 1)
    Refuse(kArchiveSeveralMods, "The archive holds several mods; choose one with --in:" + listing);
  return found.front().empty() ? root : root / found.front();
}

}  // namespace vey::platform
