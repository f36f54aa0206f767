// UTLKFile: the talk table ("TLK " "V3.0"): entries (TTLKString), their list
// (TStringDataList), the file handler TTLKFileHandler and its failure EHell.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/VeyException.h"

namespace vey {

// Carries a message only (its code is always 0).
VEY_DECLARE_FAILURE(EHell);

class TTLKString {
 public:
  using ResRef = std::array<std::uint8_t, 16>;

  TTLKString() = default;
  TTLKString(const TTLKString& other) = default;  // copies every field
  TTLKString& operator=(const TTLKString& other) = default;
  TTLKString(TTLKString&&) noexcept = default;
  TTLKString& operator=(TTLKString&&) noexcept = default;

  std::uint32_t Flags() const { return flags_; }
  void SetFlags(std::uint32_t v) { flags_ = v; }
  // All 16 stored bytes, NUL padding included.
  const ResRef& SoundResRef() const { return soundResRef_; }
  void SetSoundResRef(const ResRef& v) { soundResRef_ = v; }
  // Cut or NUL-padded to 16 bytes.
  void SetSoundResRef(std::string_view name);
  // The name up to its first NUL.
  std::string SoundResRefText() const;
  std::uint32_t VolumeVariance() const { return volumeVariance_; }
  void SetVolumeVariance(std::uint32_t v) { volumeVariance_ = v; }
  std::uint32_t PitchVariance() const { return pitchVariance_; }
  void SetPitchVariance(std::uint32_t v) { pitchVariance_ = v; }
  std::uint32_t OffsetToString() const { return offsetToString_; }
  void SetOffsetToString(std::uint32_t v) { offsetToString_ = v; }
  std::uint32_t StringSize() const { return stringSize_; }
  void SetStringSize(std::uint32_t v) { stringSize_ = v; }
  // Kept as its stored bits, so that even a NaN is written back unchanged.
  float SoundLength() const { return std::bit_cast<float>(soundLength_); }
  void SetSoundLength(float v) { soundLength_ = std::bit_cast<std::uint32_t>(v); }
  std::uint32_t SoundLengthBits() const { return soundLength_; }
  void SetSoundLengthBits(std::uint32_t v) { soundLength_ = v; }
  std::uint32_t StrRef() const { return strRef_; }
  void SetStrRef(std::uint32_t v) { strRef_ = v; }
  // Texts are immutable and shared: a loaded entry views its table's file
  // bytes, and a copy shares the text of its original.
  std::string_view Text() const { return {text_.get(), textSize_}; }
  void SetText(std::string v);

 private:
  std::uint32_t flags_ = 0;
  ResRef soundResRef_{};
  std::uint32_t volumeVariance_ = 0;
  std::uint32_t pitchVariance_ = 0;
  std::uint32_t offsetToString_ = 0;
  std::uint32_t stringSize_ = 0;
  std::uint32_t soundLength_ = 0;
  std::uint32_t strRef_ = 0;
  std::shared_ptr<const char> text_;
  std::size_t textSize_ = 0;

  friend class TTLKFileHandler;
};

// The game's notion of one string already being in a table: text (exact
// bytes), flags, all 16 sound-name bytes, both variances and the sound length
// compared as floats. Stored offset, size and StrRef do not count.
bool IdenticalEntries(const TTLKString& a, const TTLKString& b);

// The entries of one table in order. Entries never move once added, so a
// reference stays valid while others are appended. One cursor per list.
class TStringDataList {
 public:
  TStringDataList() = default;
  TStringDataList(TStringDataList&&) noexcept = default;
  TStringDataList& operator=(TStringDataList&&) noexcept = default;

  void Add(TTLKString entry);
  // The first entry, or nullptr for an empty list; puts the cursor there.
  const TTLKString* First() const;
  // The entry after the cursor; nullptr (and the cursor cleared) at the end,
  // and nullptr from then on.
  const TTLKString* Next() const;
  bool IsEmpty() const { return size_ == 0; }
  std::size_t Size() const { return size_; }
  const TTLKString& operator[](std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  TTLKString& operator[](std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }

 private:
  // Fixed-size chunks keep entries in place without one allocation each.
  static constexpr std::size_t kChunk = 4096;
  std::vector<std::unique_ptr<TTLKString[]>> chunks_;
  std::size_t size_ = 0;
  static constexpr std::size_t kNoCursor = SIZE_MAX;
  mutable std::size_t cursor_ = kNoCursor;
};

class TTLKFileHandler {
 public:
  TTLKFileHandler() = default;
  // Loads path at once; a failed load propagates.
  explicit TTLKFileHandler(const std::filesystem::path& path);

  void LoadFromFile(const std::filesystem::path& path);
  // The whole file in memory; fileName becomes the default save target. The
  // entries' texts view the bytes, so the span is copied once; hand over a
  // vector to spare that copy.
  void LoadFromBytes(std::span<const std::uint8_t> data, const std::filesystem::path& fileName = {});
  void LoadFromBytes(std::vector<std::uint8_t>&& data, const std::filesystem::path& fileName = {});
  // An empty path means the loaded file's. The target is replaced in one rename.
  void SaveToFile(const std::filesystem::path& path = {});
  // Also stores the new string data offset in the handler.
  std::vector<std::uint8_t> SaveToBytes();

  // Appends entry: its StrRef becomes the count before the call (returned) and
  // its StringSize the length of its text.
  std::uint32_t AddEntry(TTLKString entry);

  // Puts entry in place of the entry at index (below Count): its StrRef
  // becomes index and its StringSize the length of its text.
  void ReplaceEntry(std::uint32_t index, TTLKString entry);

  // StrRef of the first entry, in index order, identical to entry (appended
  // ones included); answered from a hash index built on the first call.
  std::optional<std::uint32_t> FindIdentical(const TTLKString& entry) const;

  bool IsOpen() const { return isOpen_; }
  std::uint32_t Count() const { return count_; }
  const TStringDataList& Entries() const { return entries_; }
  std::uint32_t LanguageId() const { return languageId_; }
  void SetLanguageId(std::uint32_t v) { languageId_ = v; }
  std::uint32_t StringDataOffset() const { return stringDataOffset_; }
  const std::string& FileType() const { return fileType_; }
  const std::string& Version() const { return version_; }
  const std::filesystem::path& FileName() const { return fileName_; }

 private:
  void Reset();
  void ReadEntries(const std::shared_ptr<const std::vector<std::uint8_t>>& file);
  void IndexEntry(std::uint32_t index) const;

  std::string fileType_;
  std::string version_;
  std::uint32_t languageId_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t stringDataOffset_ = 0;
  TStringDataList entries_;
  std::filesystem::path fileName_;
  bool isOpen_ = false;
  // Hash of the identity fields -> StrRefs with that hash, ascending.
  mutable bool indexBuilt_ = false;
  mutable std::unordered_map<std::size_t, std::vector<std::uint32_t>> identical_;
};

}  // namespace vey
