// ArchiveReading: mod archives read through libarchive, hashed as they are
// read, names decoded and checked, checksums and limits enforced.
#include "platform/ArchiveReading.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <set>

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
  const InputFile& File() const { return file_; }

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

// The archive's name as a person gave it, for messages.
std::string Shown(const fs::path& archivePath) { return PrintableName(archivePath.string()); }

std::string Reason(archive* a) {
  const char* why = archive_error_string(a);
  return why && *why ? why : "its structure cannot be read";
}

// The archive cannot be read from its start: damaged, or no archive at all.
[[noreturn]] void RefuseUnreadable(const fs::path& archivePath, archive* a) {
  Refuse(kArchiveUnreadable, "The archive \"" + Shown(archivePath) +
                                 "\" is damaged or is no archive that can be read (zip, 7z, rar, tar and "
                                 "compressed tars can): " + Reason(a) + ". Download it again.");
}

// Damage met while reading it, at (or after) an entry.
[[noreturn]] void RefuseDamaged(const fs::path& archivePath, const std::string& where, archive* a) {
  Refuse(kArchiveDamaged, "The archive \"" + Shown(archivePath) + "\" is damaged " + where + ": " + Reason(a) +
                              "; nothing of it is used. Download it again.");
}

// Names as UTF-8 for every format: libarchive turns what the archive
// carries (zip's UTF-8 mark, 7z's UTF-16) into the text of the thread's
// locale, which in the "C" locale cannot hold anything but ASCII.
class Utf8Names {
 public:
  Utf8Names() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {
    if (locale_) previous_ = ::uselocale(locale_);
  }
  ~Utf8Names() {
    if (!locale_) return;
    ::uselocale(previous_);
    ::freelocale(locale_);
  }
  Utf8Names(const Utf8Names&) = delete;
  Utf8Names& operator=(const Utf8Names&) = delete;

 private:
  locale_t locale_;
  locale_t previous_ = nullptr;
};

bool IsZip(archive* a) { return (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP; }

// A name as UTF-8 (zip names without the UTF-8 mark are read as code page
// 437 unless they are UTF-8), or nothing when it cannot be read as text.
std::optional<std::string> NameText(archive* a, const char* raw) {
  if (!raw) return std::nullopt;
  return IsZip(a) ? ZipNameText(raw) : std::string(raw);
}

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
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

[[noreturn]] void RefuseTooMany(const fs::path& archivePath, std::uint64_t limit) {
  Refuse(kArchiveTooLarge, "The archive \"" + Shown(archivePath) + "\" holds more than " + std::to_string(limit) +
                               " entries, more than any mod needs; it is refused and nothing of it is kept.");
}

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// The number of entries a zip's central directory declares, read from its
// end before libarchive reads the whole directory into memory; nothing
// when it is no zip or the count cannot be found.
std::optional<std::uint64_t> ZipEntryCount(const InputFile& file) {
  constexpr std::size_t kEndRecord = 22, kLongest = kEndRecord + 0xFFFF;
  const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), kLongest));
  if (tail < kEndRecord) return std::nullopt;
  const std::uint64_t base = file.Size() - tail;
  const std::vector<std::uint8_t> bytes = file.ReadAt(base, tail);
  for (std::size_t at = tail - kEndRecord + 1; at-- > 0;) {
    if (LittleEndian(bytes, at, 4) != 0x06054b50) continue;
    std::uint64_t count = LittleEndian(bytes, at + 10, 2);
    // A zip64 archive gives the count in its own record, found through the
    // locator just before this one.
    if (at >= 20 && LittleEndian(bytes, at - 20, 4) == 0x07064b50) {
      const std::uint64_t record = LittleEndian(bytes, at - 20 + 8, 8);
      if (record + 56 <= file.Size()) {
        const std::vector<std::uint8_t> zip64 = file.ReadAt(record, 56);
        if (LittleEndian(zip64, 0, 4) == 0x06064b50) count = std::max(count, LittleEndian(zip64, 32, 8));
      }
    }
    return count;
  }
  return std::nullopt;
}

[[noreturn]] void RefuseEntry(const std::string& name, const std::string& why) {
  Refuse(kArchiveEntryRefused, "The archive's entry \"" + PrintableName(name) + "\" is refused: " + why + ".");
}

// Reads and checks every entry and hands it to the writer; the writer's
// failures come back through its calls.
void ExtractEntries(archive* a, const fs::path& archivePath, PipelinedWriter& writer, std::uint64_t archiveSize,
                    const ExtractLimits& limits, const std::atomic<bool>* cancel) {
  NameBook names;
  std::uint64_t total = 0;
  const std::uint64_t byRatio = archiveSize > UINT64_MAX / std::max<std::uint64_t>(limits.ratio, 1)
                                    ? UINT64_MAX
                                    : archiveSize * limits.ratio;
  const std::uint64_t cap = std::max(limits.absolute, byRatio);
  archive_entry* entry = nullptr;
  std::uint64_t entries = 0;
  std::string previous;
  const auto interrupted = [&] {
    if (cancel && cancel->load())
      Refuse(kArchiveInterrupted, "Unpacking the archive \"" + Shown(archivePath) +
                                      "\" was interrupted; what was unpacked is removed and nothing was installed.");
  };
  for (;;) {
    interrupted();
    const int r = archive_read_next_header(a, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      if (entries == 0) RefuseUnreadable(archivePath, a);
      RefuseDamaged(archivePath, "after the entry \"" + PrintableName(previous) + "\"", a);
    }
    if (++entries > limits.entries) RefuseTooMany(archivePath, limits.entries);
    const auto decoded = NameText(a, archive_entry_pathname(entry));
    if (!decoded)
      RefuseEntry(previous.empty() ? "(the first entry)" : "(the entry after \"" + previous + "\")",
                  "its name cannot be read as text in the archive's encoding");
    const std::string name = *decoded;
    previous = name;
    const auto refuse = [&](const std::string& why) { RefuseEntry(name, why); };
    auto parts = SplitEntryName(name);
    if (!parts) refuse(NameRefusal(name));
    if (parts->empty()) continue;  // "./" names the root itself
    names.Add(*parts, name);
    if (names.ThroughLink(*parts)) refuse("it would be written through a link");
    const char* rawHardlink = archive_entry_hardlink(entry);
    const mode_t type = archive_entry_filetype(entry);
    if (rawHardlink) {
      const std::string hardlink = NameText(a, rawHardlink).value_or("");
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
        const std::string to = NameText(a, archive_entry_symlink(entry)).value_or("");
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
        Refuse(kArchiveTooLarge, "The archive \"" + Shown(archivePath) + "\" unpacks to more than " +
                                     std::to_string(cap) + " bytes (at the entry \"" + PrintableName(name) +
                                     "\"); extraction stopped and what was extracted is removed.");
    };
    for (;;) {
      interrupted();
      const int d = archive_read_data_block(a, &block, &size, &offset);
      if (d == ARCHIVE_EOF) break;
      // A warning here is a checksum that does not match: the bytes are not
      // the ones the archive was made of.
      if (d != ARCHIVE_OK) RefuseDamaged(archivePath, "at the entry \"" + PrintableName(name) + "\"", a);
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
                 const ExtractLimits& limits, const std::atomic<bool>* cancel) {
  PipelinedWriter writer(folder);
  try {
    try {
      ExtractEntries(a, archivePath, writer, archiveSize, limits, cancel);
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


}  // namespace

std::string UnpackArchive(const fs::path& archivePath, const fs::path& folder, const ExtractLimits& limits,
                          const std::atomic<bool>* cancel) {
  HashingSource source(archivePath);
  if (const auto count = ZipEntryCount(source.File()); count && *count > limits.entries)
    RefuseTooMany(archivePath, limits.entries);
  {
    Utf8Names names;
    ArchivePtr a = OpenReader();
    archive_read_set_read_callback(a.get(), &HashingSource::Read);
    archive_read_set_seek_callback(a.get(), &HashingSource::Seek);
    archive_read_set_skip_callback(a.get(), &HashingSource::Skip);
    archive_read_set_callback_data(a.get(), &source);
    if (archive_read_open1(a.get()) != ARCHIVE_OK) RefuseUnreadable(archivePath, a.get());
    ExtractInto(a.get(), archivePath, folder, source.Size(), limits, cancel);
  }
  return source.Finish();
}

std::string ArchiveProblem(const fs::path& path) {
  // A zip declaring more entries than are ever unpacked is an archive, and
  // the unpack refuses it before its directory is read into memory; so is it
  // here.
  try {
    if (const auto count = ZipEntryCount(InputFile(path)); count && *count > ExtractLimits{}.entries) return {};
  } catch (const Exception&) {
  }
  ArchivePtr a = OpenReader();
  if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) return Reason(a.get());
  archive_entry* entry = nullptr;
  const int r = archive_read_next_header(a.get(), &entry);
  // The "raw" reader is not enabled, so any header read means an archive
  // format; an empty file reads as the "empty" format, which is none.
  if (archive_format(a.get()) == ARCHIVE_FORMAT_EMPTY) return "the file is empty";
  if (r == ARCHIVE_OK || r == ARCHIVE_WARN || r == ARCHIVE_EOF) return {};
  return Reason(a.get());
}

}  // namespace vey::platform
