// UTLKFile: reading, extending and writing talk tables.
#include "formats/UTLKFile.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "common/ByteReader.h"
#include "common/FileIO.h"

namespace vey {
namespace {

constexpr std::string_view kTlkFileType = "TLK ";
constexpr std::string_view kTlkVersion = "V3.0";
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kEntrySize = 40;
// Texts are read in pieces of this size; a NUL cuts only its own piece.
constexpr std::size_t kPiece = 4096;

constexpr const char* kMsgNotFound = "Unable to load specified TLK file since it could not be found!";
constexpr const char* kMsgType = "Type mismatch. Specified file is not a valid TLK file!";
constexpr const char* kMsgVersion = "Version mismatch. File is not a valid v3.0 TLK file!";
constexpr const char* kMsgNoEntries = "No entries found in the specified TLK file!";
constexpr const char* kMsgOverflow = "Error reading string data table. Overflow into entry data table!";
constexpr const char* kMsgTruncated =
    "Unexpected end of file while reading the TLK file. The file is damaged and cannot be loaded!";
constexpr const char* kMsgTooMuchText =
    "The texts of the TLK file add up to far more than the file holds. The file is damaged and "
    "cannot be loaded!";
constexpr const char* kMsgTooLarge = "The TLK file would grow beyond 4 GB. Unable to save!";

std::string TextUpToNul(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  const void* nul = std::memchr(bytes.data(), 0, bytes.size());
  std::size_t len = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data())
                        : bytes.size();
  return std::string(reinterpret_cast<const char*>(bytes.data()), len);
}

// A stored text with NULs in it: each piece is cut at its first NUL.
std::string JoinPiecesCutAtNul(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece)
    text += TextUpToNul(bytes.subspan(at, std::min(kPiece, bytes.size() - at)));
  return text;
}

std::size_t Mix(std::size_t h, std::uint64_t v) {
  return h ^ (std::hash<std::uint64_t>{}(v) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
}

// Consistent with IdenticalEntries: +0 and -0 compare equal, so they hash alike.
std::size_t IdentityHash(const TTLKString& e) {
  std::size_t h = std::hash<std::string_view>{}(e.Text());
  h = Mix(h, e.Flags());
  h = Mix(h, LoadU64(e.SoundResRef().data()));
  h = Mix(h, LoadU64(e.SoundResRef().data() + 8));
  h = Mix(h, (static_cast<std::uint64_t>(e.VolumeVariance()) << 32) | e.PitchVariance());
  h = Mix(h, e.SoundLength() == 0.0f ? 0u : e.SoundLengthBits());
  return h;
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void TTLKString::SetSoundResRef(std::string_view name) {
  soundResRef_.fill(0);
  std::memcpy(soundResRef_.data(), name.data(), std::min(name.size(), soundResRef_.size()));
}

std::string TTLKString::SoundResRefText() const { return TextUpToNul(soundResRef_); }

void TTLKString::SetText(std::string v) {
  textSize_ = v.size();
  if (v.empty()) {
    text_.reset();
    return;
  }
  auto owner = std::make_shared<const std::string>(std::move(v));
  text_ = std::shared_ptr<const char>(owner, owner->data());
}

bool IdenticalEntries(const TTLKString& a, const TTLKString& b) {
  return a.Flags() == b.Flags() && a.SoundResRef() == b.SoundResRef() &&
         a.VolumeVariance() == b.VolumeVariance() && a.PitchVariance() == b.PitchVariance() &&
         a.SoundLength() == b.SoundLength() && a.Text() == b.Text();
}

void TStringDataList::Add(TTLKString entry) {
  if (size_ % kChunk == 0) chunks_.push_back(std::make_unique<TTLKString[]>(kChunk));
  (*this)[size_] = std::move(entry);
  cursor_ = size_++;
}

const TTLKString* TStringDataList::First() const {
  if (size_ == 0) {
    cursor_ = kNoCursor;
    return nullptr;
  }
  cursor_ = 0;
  return &(*this)[0];
}

const TTLKString* TStringDataList::Next() const {
  if (cursor_ == kNoCursor || cursor_ + 1 >= size_) {
    cursor_ = kNoCursor;
    return nullptr;
  }
  return &(*this)[++cursor_];
}

TTLKFileHandler::TTLKFileHandler(const std::filesystem::path& path) { LoadFromFile(path); }

void TTLKFileHandler::Reset() {
  fileType_.clear();
  version_.clear();
  languageId_ = 0;
  count_ = 0;
  stringDataOffset_ = 0;
  entries_ = TStringDataList();
  isOpen_ = false;
  indexBuilt_ = false;
  identical_.clear();
}

void TTLKFileHandler::LoadFromFile(const std::filesystem::path& path) {
  Reset();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw EHell(kMsgNotFound);
  fileName_ = path;
  LoadFromBytes(ReadWholeFile(path), path);
}

void TTLKFileHandler::LoadFromBytes(std::span<const std::uint8_t> data,
                                    const std::filesystem::path& fileName) {
  LoadFromBytes(std::vector<std::uint8_t>(data.begin(), data.end()), fileName);
}

void TTLKFileHandler::LoadFromBytes(std::vector<std::uint8_t>&& data, const std::filesystem::path& fileName) {
  Reset();
  fileName_ = fileName;
  try {
    ReadEntries(std::make_shared<const std::vector<std::uint8_t>>(std::move(data)));
  } catch (...) {
    Reset();
    throw;
  }
  isOpen_ = true;
}

void TTLKFileHandler::ReadEntries(const std::shared_ptr<const std::vector<std::uint8_t>>& file) {
  std::span<const std::uint8_t> data(*file);
  fileType_ = TextUpToNul(data.first(std::min<std::size_t>(4, data.size())));
  if (fileType_ != kTlkFileType) throw EHell(kMsgType);
  version_ = TextUpToNul(data.subspan(4, std::min<std::size_t>(4, data.size() - 4)));
  if (version_ != kTlkVersion) throw EHell(kMsgVersion);
  if (data.size() < kHeaderSize) throw EHell(kMsgTruncated);
  languageId_ = LoadU32(data.data() + 8);
  std::uint32_t count = LoadU32(data.data() + 12);
  stringDataOffset_ = LoadU32(data.data() + 16);
  if (count == 0) throw EHell(kMsgNoEntries);

  // Every entry must start below the string data, which the header places.
  std::uint64_t firstBadEntry =
      stringDataOffset_ <= kHeaderSize ? 0 : (stringDataOffset_ - kHeaderSize + kEntrySize - 1) / kEntrySize;
  if (firstBadEntry < count) throw EHell(kMsgOverflow);
  if (kHeaderSize + std::uint64_t{count} * kEntrySize > data.size()) throw EHell(kMsgTruncated);

  // Check every text against the file before anything is allocated. Entries
  // may share text, but not without bound: a few hundred bytes of header
  // must not make us build gigabytes of copies.
  const std::uint8_t* table = data.data() + kHeaderSize;
  const std::uint64_t textBudget = 8 * std::uint64_t{data.size()} + (1u << 20);
  std::uint64_t textTotal = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = table + std::size_t{i} * kEntrySize;
    std::uint64_t size = LoadU32(e + 32);
    if (size == 0) continue;
    std::uint64_t start = std::uint64_t{stringDataOffset_} + LoadU32(e + 28);
    if (start > data.size() || size > data.size() - start) throw EHell(kMsgTruncated);
    textTotal += size;
    if (textTotal > textBudget) throw EHell(kMsgTooMuchText);
  }

  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = table + std::size_t{i} * kEntrySize;
    TTLKString entry;
    entry.SetFlags(LoadU32(e));
    TTLKString::ResRef resRef;
    std::memcpy(resRef.data(), e + 4, resRef.size());
    entry.SetSoundResRef(resRef);
    entry.SetVolumeVariance(LoadU32(e + 20));
    entry.SetPitchVariance(LoadU32(e + 24));
    entry.SetOffsetToString(LoadU32(e + 28));
    entry.SetStringSize(LoadU32(e + 32));
    entry.SetSoundLengthBits(LoadU32(e + 36));
    entry.SetStrRef(i);
    if (entry.StringSize() > 0) {
      auto bytes = data.subspan(std::size_t{stringDataOffset_} + entry.OffsetToString(), entry.StringSize());
      if (std::memchr(bytes.data(), 0, bytes.size())) {
        entry.SetText(JoinPiecesCutAtNul(bytes));
      } else {
        // The usual case: the text is a slice of the file, shared, not copied.
        entry.text_ = std::shared_ptr<const char>(file, reinterpret_cast<const char*>(bytes.data()));
        entry.textSize_ = bytes.size();
      }
    }
    entries_.Add(std::move(entry));
  }
  count_ = count;
}

std::uint32_t TTLKFileHandler::AddEntry(TTLKString entry) {
  if (!isOpen_) throw EHell("Unable to add new entry. No TLK file is open!");
  if (count_ == UINT32_MAX) throw EHell(kMsgTooLarge);
  entry.SetStringSize(static_cast<std::uint32_t>(entry.Text().size()));
  entry.SetStrRef(count_);
  entries_.Add(std::move(entry));
  IndexEntry(count_);
  return count_++;
}

void TTLKFileHandler::ReplaceEntry(std::uint32_t index, TTLKString entry) {
  if (!isOpen_) throw EHell("Unable to replace an entry. No TLK file is open!");
  if (index >= count_) throw EHell("Unable to replace an entry past the end of the TLK file!");
  entry.SetStringSize(static_cast<std::uint32_t>(entry.Text().size()));
  entry.SetStrRef(index);
  entries_[index] = std::move(entry);
  // The identity index no longer tells the first identical entry; it is
  // rebuilt when next asked.
  indexBuilt_ = false;
  identical_.clear();
}

void TTLKFileHandler::IndexEntry(std::uint32_t index) const {
  if (!indexBuilt_) return;
  const TTLKString& e = entries_[index];
  if (std::isnan(e.SoundLength())) return;  // identical to nothing, ever
  auto& bucket = identical_[IdentityHash(e)];
  // Only the first of identical entries can ever be found.
  for (std::uint32_t other : bucket)
    if (IdenticalEntries(entries_[other], e)) return;
  bucket.push_back(index);
}

std::optional<std::uint32_t> TTLKFileHandler::FindIdentical(const TTLKString& entry) const {
  if (!indexBuilt_) {
    indexBuilt_ = true;
    identical_.reserve(entries_.Size());
    for (std::uint32_t i = 0; i < entries_.Size(); ++i) IndexEntry(i);
  }
  auto it = identical_.find(IdentityHash(entry));
  if (it == identical_.end()) return std::nullopt;
  for (std::uint32_t index : it->second)
    if (IdenticalEntries(entries_[index], entry)) return index;
  return std::nullopt;
}

void TTLKFileHandler::SaveToFile(const std::filesystem::path& path) {
  if (!isOpen_) throw EHell("There is no open file to save!");
  std::filesystem::path target = path.empty() ? fileName_ : path;
  std::vector<std::uint8_t> bytes = SaveToBytes();
  WriteFileAtomic(target, bytes);
}

std::vector<std::uint8_t> TTLKFileHandler::SaveToBytes() {
  if (!isOpen_) throw EHell("There is no open file to save!");
  if (fileType_ != kTlkFileType) throw EHell("There is no valid TLK file currently open to save!");
  if (entries_.IsEmpty()) throw EHell("There is no current data in the TLK file to write!");

  const std::uint64_t stringStart = kHeaderSize + std::uint64_t{entries_.Size()} * kEntrySize;
  std::uint64_t textTotal = 0;
  for (std::size_t i = 0; i < entries_.Size(); ++i) textTotal += entries_[i].Text().size();
  // The last text's offset (and the string data offset) must fit 32 bits.
  if (stringStart + textTotal > UINT32_MAX) throw EHell(kMsgTooLarge);

  // Only the header and entry table are sized up front; the texts are
  // appended into reserved room so their 10+ MB are not zeroed first.
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(stringStart + textTotal));
  out.resize(static_cast<std::size_t>(stringStart));
  std::memcpy(out.data(), kTlkFileType.data(), 4);
  std::memcpy(out.data() + 4, kTlkVersion.data(), 4);
  PutU32(out.data() + 8, languageId_);
  PutU32(out.data() + 12, static_cast<std::uint32_t>(entries_.Size()));
  PutU32(out.data() + 16, static_cast<std::uint32_t>(stringStart));

  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < entries_.Size(); ++i) {
    const TTLKString& e = entries_[i];
    // The size field announces exactly the bytes written, even for a text
    // that was cut at a NUL when it was read.
    auto size = static_cast<std::uint32_t>(e.Text().size());
    std::uint8_t* entry = out.data() + kHeaderSize + i * kEntrySize;
    PutU32(entry, e.Flags());
    std::memcpy(entry + 4, e.SoundResRef().data(), 16);
    PutU32(entry + 20, e.VolumeVariance());
    PutU32(entry + 24, e.PitchVariance());
    PutU32(entry + 28, size == 0 ? 0 : offset);
    PutU32(entry + 32, size);
    PutU32(entry + 36, e.SoundLengthBits());
    out.insert(out.end(), e.Text().begin(), e.Text().end());
    offset += size;
  }
  stringDataOffset_ = static_cast<std::uint32_t>(stringStart);
  return out;
}

}  // namespace vey
