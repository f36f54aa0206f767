// UERFHandler: opening an archive (header, localized strings, key and
// resource lists, each checked against the file) and extracting resources.
#include <algorithm>

#include "common/ByteReader.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "formats/UERFHandler.h"
#include "formats/UERFHandlerDetail.h"

namespace vey {

using namespace erf_detail;

namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowDamaged(const fs::path& path, std::string_view what) {
  throw EERFError(FormatMsg("Unable to load file \"%s\", %s lies outside the file!",
                            {PathText(path), what}),
                  17);
}

// Reads a run of small records through a 64 KiB window instead of one
// read per field.
class WindowReader {
 public:
  explicit WindowReader(const InputFile& file) : file_(file) {}
  // The caller has checked that [pos, pos + n) lies inside the file.
  std::span<const std::uint8_t> Get(std::uint64_t pos, std::size_t n) {
    if (pos < base_ || pos + n > base_ + buf_.size()) {
      auto len = std::min<std::uint64_t>(std::max<std::size_t>(n, 1 << 16), file_.Size() - pos);
      buf_ = file_.ReadAt(pos, static_cast<std::size_t>(len));
      base_ = pos;
    }
    return std::span<const std::uint8_t>(buf_).subspan(static_cast<std::size_t>(pos - base_), n);
  }

 private:
  const InputFile& file_;
  std::uint64_t base_ = 0;
  std::vector<std::uint8_t> buf_;
};

}  // namespace

bool TERFHandler::IsArchiveFile(const fs::path& path) {
  try {
    InputFile file(path);
    if (file.Size() < 8) return false;
    auto head = file.ReadAt(0, 8);
    std::string_view type(reinterpret_cast<const char*>(head.data()), 4);
    std::string_view version(reinterpret_cast<const char*>(head.data()) + 4, 4);
    return version == "V1.0" &&
           std::find(std::begin(kKnownTypes), std::end(kKnownTypes), type) != std::end(kKnownTypes);
  } catch (...) {
    return false;
  }
}

void TERFHandler::LoadFromFile(const fs::path& path) {
  // Test before closing: a missing file must leave the open archive open.
  std::error_code ec;
  if (!fs::is_regular_file(path, ec))
    throw EERFError(FormatMsg("Unable to load file \"%s\", file not found!", {PathText(path)}), 5);
  Close();
  try {
    source_.emplace(path);
    std::string type, version;
    if (source_->Size() >= 8) {
      auto head = source_->ReadAt(0, 8);
      ByteReader r(head);
      type = r.FixedString(4);
      version = r.FixedString(4);
    }
    if (version != "V1.0" ||
        std::find(std::begin(kKnownTypes), std::end(kKnownTypes), type) == std::end(kKnownTypes))
      throw EERFError(FormatMsg("Unable to load file \"%s\", it does not appear to be a valid ERF "
                                "file type!",
                                {path.string()}),
                      6);
    if (type == "RIM ") {
      header_ = std::make_unique<TERF_RIMHeader>();
      header_->FileType = type;
      header_->Version = version;
      ReadRIMTables(path);
    } else {
      header_ = std::make_unique<TERF_ERFHeader>();
      header_->FileType = type;
      header_->Version = version;
      ReadERFTables(path);
    }
    CheckResourceData(path);
    IndexResources();
    fileName_ = path;
    isOpen_ = true;
    modified_ = false;
  } catch (const ReadPastEnd&) {
    Close();
    ThrowDamaged(path, "a table");
  } catch (...) {
    Close();
    throw;
  }
}

void TERFHandler::ReadERFTables(const fs::path& path) {
  auto& h = static_cast<TERF_ERFHeader&>(*header_);
  const std::uint64_t size = source_->Size();
  if (size < TERF_ERFHeader::kSize) ThrowDamaged(path, "its header");
  auto headBytes = source_->ReadAt(8, TERF_ERFHeader::kSize - 8);
  ByteReader r(headBytes);
  h.LanguageCount = r.I32();
  h.LocalizedStringSize = r.U32();
  h.EntryCount = r.I32();
  h.OffsetToLocalizedString = r.U32();
  h.OffsetToKeyList = r.U32();
  h.OffsetToResourceList = r.U32();
  h.BuildYear = r.U32();
  h.BuildDay = r.U32();
  h.DescriptionStrRef = r.U32();
  auto reserved = r.Bytes(h.Reserved.size());
  std::copy(reserved.begin(), reserved.end(), h.Reserved.begin());

  // Negative counts have always meant an empty table.
  const std::uint64_t languages = h.LanguageCount > 0 ? static_cast<std::uint64_t>(h.LanguageCount) : 0;
  const std::uint64_t entries = h.EntryCount > 0 ? static_cast<std::uint64_t>(h.EntryCount) : 0;

  // Each string needs at least its 8-byte head; checking that first bounds
  // the count by the file before anything is sized by it.
  // An empty table's offset is never used, so it is not held against the file.
  std::uint64_t pos = h.OffsetToLocalizedString;
  if (languages > 0 && !Inside(pos, languages * 8, size))
    ThrowDamaged(path, "its localized string table");
  WindowReader window(*source_);
  locStrings_.reserve(static_cast<std::size_t>(languages));
  for (std::uint64_t i = 0; i < languages; ++i) {
    if (!Inside(pos, 8, size)) ThrowDamaged(path, "its localized string table");
    auto head = window.Get(pos, 8);
    std::uint32_t length = LoadU32(head.data() + 4);
    if (!Inside(pos + 8, length, size)) ThrowDamaged(path, "its localized string table");
    TERF_LocString s;
    s.LanguageId = static_cast<std::int32_t>(LoadU32(head.data()));
    auto text = window.Get(pos + 8, length);
    s.SetText(std::string(text.begin(), text.end()));
    locStrings_.push_back(std::move(s));
    pos += 8 + length;
  }

  if (entries > 0 && !Inside(h.OffsetToKeyList, entries * kERFKeySize, size))
    ThrowDamaged(path, "its key list");
  if (entries > 0 && !Inside(h.OffsetToResourceList, entries * kERFResourceSize, size))
    ThrowDamaged(path, "its resource list");
  std::vector<std::uint8_t> keys, list;
  if (entries > 0) {
    keys = source_->ReadAt(h.OffsetToKeyList, static_cast<std::size_t>(entries * kERFKeySize));
    list = source_->ReadAt(h.OffsetToResourceList,
                           static_cast<std::size_t>(entries * kERFResourceSize));
  }
  ByteReader kr(keys), lr(list);
  resources_.reserve(static_cast<std::size_t>(entries));
  for (std::uint64_t i = 0; i < entries; ++i) {
    auto res = std::make_unique<TERF_Resource>();
    res->ResRef.SetName(kr.String(16));
    res->ResId = kr.U32();
    res->ResType = kr.I16();
    res->Reserved1 = kr.U16();
    res->Offset = lr.U32();
    res->Size = lr.U32();
    resources_.push_back(std::move(res));
  }
}

void TERFHandler::ReadRIMTables(const fs::path& path) {
  auto& h = static_cast<TERF_RIMHeader&>(*header_);
  const std::uint64_t size = source_->Size();
  if (size < TERF_RIMHeader::kSize) ThrowDamaged(path, "its header");
  auto headBytes = source_->ReadAt(8, TERF_RIMHeader::kSize - 8);
  ByteReader r(headBytes);
  h.Unknown = r.U32();
  h.EntryCount = r.I32();
  h.OffsetToKeyList = r.U32();
  auto reserved = r.Bytes(h.Reserved.size());
  std::copy(reserved.begin(), reserved.end(), h.Reserved.begin());

  const std::uint64_t entries = h.EntryCount > 0 ? static_cast<std::uint64_t>(h.EntryCount) : 0;
  if (entries > 0 && !Inside(h.OffsetToKeyList, entries * kRIMKeySize, size))
    ThrowDamaged(path, "its key list");
  std::vector<std::uint8_t> keys;
  if (entries > 0)
    keys = source_->ReadAt(h.OffsetToKeyList, static_cast<std::size_t>(entries * kRIMKeySize));
  ByteReader kr(keys);
  resources_.reserve(static_cast<std::size_t>(entries));
  for (std::uint64_t i = 0; i < entries; ++i) {
    auto res = std::make_unique<TERF_Resource>();
    res->ResRef.SetName(kr.String(16));
    res->ResType = kr.I16();
    res->Reserved1 = kr.U16();
    res->ResId = kr.U16();
    res->Reserved2 = kr.U16();
    res->Offset = kr.U32();
    res->Size = kr.U32();
    resources_.push_back(std::move(res));
  }
}

// Refusing data ranges at open keeps every later extraction and rebuild from
// failing halfway through.
void TERFHandler::CheckResourceData(const fs::path& path) const {
  for (const auto& res : resources_) {
    if (res->Size != 0 && !Inside(res->Offset, res->Size, source_->Size())) {
      std::string name = res->ResRef.Name();
      auto ext = TERF_Resource::TypeToExtension(res->ResType);
      if (!ext.empty()) name += "." + ext;
      ThrowDamaged(path, "the data of resource \"" + name + "\"");
    }
  }
}

void TERFHandler::IndexResources() {
  loadedIndex_.clear();
  for (const auto& res : resources_)
    loadedIndex_[MakeKey(AsciiLowerCopy(res->ResRef.Name()), res->ResType)].push_back(res.get());
}

const TERFHandler::Pending* TERFHandler::FindPendingContent(std::string_view name, int type) const {
  auto key = MakeKey(AsciiLowerCopy(name), type);
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
    std::error_code ec;
    if (it->live && it->identity == key && (it->inMemory || fs::is_regular_file(it->source, ec)))
      return &*it;
  }
  return nullptr;
}

void TERFHandler::ExtractResource(std::string_view name, int type, const fs::path& destination) const {
  if (!isOpen_)
    throw EERFError("Unable to get resource from file, no ERF file is open!", 3);
  if (!source_)
    throw EERFError("Unable to get resource from file, the file could not be read!", 12);
  auto ext = TERF_Resource::TypeToExtension(type);
  auto defaultPath = [&](const std::string& resName) {
    return workFolder_ / (ext.empty() ? resName : resName + "." + ext);
  };

  // A queued file is what the next save will store, so it is the current content.
  if (const Pending* p = FindPendingContent(name, type)) {
    AtomicFileWriter out(destination.empty()
                             ? defaultPath(CleanResRef(ArchiveBaseName(FileNameOf(p->name))))
                             : destination);
    if (p->inMemory) {
      out.Write(p->data);
    } else {
      InputFile in(p->source);
      out.CopyFrom(in, 0, in.Size());
    }
    out.Commit();
    return;
  }
  const TERF_Resource* res = FindLoaded(AsciiLowerCopy(name), type);
  if (!res)
    throw EERFError(FormatMsg("Resource \"%s.%s\" could not be found in the ERF file. Unable to "
                              "extract it!",
                              {name, ext}),
                    14);
  AtomicFileWriter out(destination.empty() ? defaultPath(res->ResRef.Name()) : destination);
  if (res->Size != 0) out.CopyFrom(*source_, res->Offset, res->Size);
  out.Commit();
}

std::vector<std::uint8_t> TERFHandler::ExtractResourceData(std::string_view name, int type) const {
  if (!isOpen_)
    throw EERFError("Unable to get resource from file, no ERF file is open!", 3);
  if (!source_)
    throw EERFError("Unable to get resource from file, the file could not be read!", 12);
  if (const Pending* p = FindPendingContent(name, type)) {
    if (p->inMemory) return p->data;
    InputFile in(p->source);
    return in.ReadAt(0, static_cast<std::size_t>(in.Size()));
  }
  const TERF_Resource* res = FindLoaded(AsciiLowerCopy(name), type);
  if (!res)
    throw EERFError(FormatMsg("Resource \"%s.%s\" could not be found in the ERF file. Unable to "
                              "extract it!",
                              {name, TERF_Resource::TypeToExtension(type)}),
                    14);
  if (res->Size == 0) return {};
  return source_->ReadAt(res->Offset, res->Size);
}

}  // namespace vey
