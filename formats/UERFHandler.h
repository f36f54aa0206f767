// UERFHandler: ERF-family (ERF, MOD, HAK, SAV) and RIM archives: reading the
// tables, extracting resources, queueing edits and rebuilding the archive.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/FileIO.h"
#include "common/VeyException.h"

namespace vey {

// Codes 1-16 as the handler has always raised them; 17 and 18 are the checks
// that keep damaged or oversized archives from being read or written.
VEY_DECLARE_FAILURE(EERFError);

// A resource name: at most 16 bytes of ASCII letters, digits and underscores,
// letter case kept.
class TERF_ResRef {
 public:
  TERF_ResRef() = default;
  explicit TERF_ResRef(std::string_view name) { SetName(name); }

  // Looks at the first 16 characters only and keeps the allowed ones, packed
  // to the front; everything else (NUL included) is dropped.
  void SetName(std::string_view name);
  std::string Name() const;
  const std::array<char, 16>& Bytes() const { return bytes_; }

 private:
  std::array<char, 16> bytes_{};
};

class TERF_Header {
 public:
  virtual ~TERF_Header() = default;
  std::string FileType;  // 4 bytes, "ERF ", "MOD ", "HAK ", "SAV " or "RIM "
  std::string Version;   // 4 bytes, "V1.0"
};

class TERF_ERFHeader : public TERF_Header {
 public:
  static constexpr std::uint32_t kSize = 160;
  TERF_ERFHeader();  // build date from today, no description (StrRef -1)

  std::int32_t LanguageCount = 0;
  std::uint32_t LocalizedStringSize = 0;
  std::int32_t EntryCount = 0;
  std::uint32_t OffsetToLocalizedString = 0;
  std::uint32_t OffsetToKeyList = 0;
  std::uint32_t OffsetToResourceList = 0;
  std::uint32_t BuildYear = 0;  // years since 1900
  std::uint32_t BuildDay = 0;   // January 1 is day 1
  std::uint32_t DescriptionStrRef = 0xFFFFFFFFu;
  std::array<std::uint8_t, 116> Reserved{};
};

class TERF_RIMHeader : public TERF_Header {
 public:
  static constexpr std::uint32_t kSize = 120;

  std::uint32_t Unknown = 0;  // carried unchanged
  std::int32_t EntryCount = 0;
  std::uint32_t OffsetToKeyList = 0;
  std::array<std::uint8_t, 100> Reserved{};
};

class TERF_LocString {
 public:
  std::int32_t LanguageId = 0;
  std::int32_t Size = 0;
  const std::string& Text() const { return text_; }
  void SetText(std::string text);

 private:
  std::string text_;
};

class TERF_Resource {
 public:
  TERF_ResRef ResRef;
  std::uint32_t ResId = 0;
  std::int16_t ResType = -1;
  // The ERF key's reserved word, or the high halves of the RIM type and id.
  std::uint16_t Reserved1 = 0;
  std::uint16_t Reserved2 = 0;
  std::uint32_t Offset = 0xFFFFFFFFu;
  std::uint32_t Size = 0;

  // Lower-case extension without dot; empty for -1 and unknown numbers.
  static std::string TypeToExtension(int type);
  // Case-insensitive, one leading dot allowed; -1 when unknown or empty.
  static int ExtensionToType(std::string_view extension);
};

using TERF_ResArray = std::vector<std::unique_ptr<TERF_Resource>>;

// One open archive. Opening reads the header and tables only; resource data
// stays in the file until it is extracted or the archive is rebuilt.
//
// Edits are queued: AddResource and DeleteResource change the lists in memory,
// SaveToFile writes a new archive beside the target in one pass and renames it
// over the target, so an interrupted save leaves the old file whole. The
// rebuilt archive holds the loaded resources in their order (removed ones left
// out), then the queued files in queue order. A queued file replaces an
// earlier queued file and a loaded resource that end up with the same name
// and type. Queued files are read only when saved (or extracted): a source
// that is missing by then is left out, and ExtractResource of a queued name
// yields the queued file's current bytes.
class TERFHandler {
 public:
  TERFHandler();
  explicit TERFHandler(const std::filesystem::path& path);  // loads at once
  ~TERFHandler();
  TERFHandler(const TERFHandler&) = delete;
  TERFHandler& operator=(const TERFHandler&) = delete;

  // True when the file starts with one of the five file types and "V1.0";
  // never throws.
  static bool IsArchiveFile(const std::filesystem::path& path);

  void LoadFromFile(const std::filesystem::path& path);
  void Close();

  // fileName is "name.ext"; with includePending, queued files count too.
  bool HasResource(std::string_view fileName, bool includePending) const;
  // An empty destination means WorkFolder() + name + "." + extension.
  void ExtractResource(std::string_view name, int type,
                       const std::filesystem::path& destination = {}) const;
  // An empty targetName means the source's file name.
  void AddResource(const std::filesystem::path& source, bool replace,
                   std::string_view targetName = {});
  void DeleteResource(std::string_view name, int type);
  // An empty path rewrites the loaded file, and only when something changed.
  void SaveToFile(const std::filesystem::path& path = {});

  bool IsOpen() const { return isOpen_; }
  bool Modified() const { return modified_; }
  const std::filesystem::path& FileName() const { return fileName_; }
  bool IsRIM() const;
  const TERF_ERFHeader* ERFHeader() const;  // null unless an ERF-layout file is open
  const TERF_RIMHeader* RIMHeader() const;  // null unless a RIM is open
  const std::vector<TERF_LocString>& LocStrings() const { return locStrings_; }
  const TERF_ResArray& Resources() const { return resources_; }
  std::vector<std::string> PendingSources() const;
  std::vector<std::string> PendingNames() const;

  const std::filesystem::path& WorkFolder() const { return workFolder_; }
  void SetWorkFolder(const std::filesystem::path& folder) { workFolder_ = folder; }

  // Called after each resource a save has copied, with bytes written so far
  // and in all; lets a window stay responsive. A failure it throws abandons
  // the save and leaves the target untouched.
  using SaveProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
  void SetSaveProgress(SaveProgress progress) { saveProgress_ = std::move(progress); }

 private:
  struct Pending {
    std::string source;      // path as given
    std::string name;        // archive file name, case as given
    std::string sourceKey;   // lower-cased file name of the source
    std::string sourceMatch; // the same as resource name, '/', extension
    std::string identity;    // the resource it becomes: lower-cased name + type
    bool live = true;
  };
  struct OutputEntry;

  void ReadERFTables(const std::filesystem::path& path);
  void ReadRIMTables(const std::filesystem::path& path);
  void CheckResourceData(const std::filesystem::path& path) const;
  void IndexResources();
  TERF_Resource* FindLoaded(std::string_view lowerName, int type) const;
  void RemoveLoaded(TERF_Resource* resource);
  const Pending* FindPendingContent(std::string_view name, int type) const;
  void RemovePending(std::size_t index);
  std::vector<OutputEntry> PlanOutput() const;
  std::vector<std::uint8_t> BuildTables(std::vector<OutputEntry>& entries) const;

  std::unique_ptr<TERF_Header> header_;
  std::vector<TERF_LocString> locStrings_;
  TERF_ResArray resources_;
  // Lower-cased name + type -> loaded resources of that key, in list order.
  std::unordered_map<std::string, std::vector<TERF_Resource*>> loadedIndex_;
  std::vector<Pending> pending_;  // removed entries stay as dead slots
  std::unordered_map<std::string, std::size_t> pendingBySource_;
  std::size_t livePending_ = 0;
  std::filesystem::path fileName_;
  std::filesystem::path workFolder_;
  std::optional<InputFile> source_;
  bool isOpen_ = false;
  bool modified_ = false;
  SaveProgress saveProgress_;
};

}  // namespace vey
