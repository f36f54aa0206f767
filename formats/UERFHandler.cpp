// UERFHandler: archive tables, resource lookup and extraction, queued edits
// and the single-pass rebuild.
#include "formats/UERFHandler.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>
#include <utility>

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"

namespace vey {
namespace {

namespace fs = std::filesystem;

struct TypeEntry {
  const char* extension;
  int type;
};

constexpr TypeEntry kTypes[] = {
    {"res", 0},     {"bmp", 1},     {"mve", 2},     {"tga", 3},     {"wav", 4},
    {"plt", 6},     {"ini", 7},     {"mp3", 8},     {"mpg", 9},     {"txt", 10},
    {"wma", 11},    {"wmv", 12},    {"xmv", 13},    {"plh", 2000},  {"tex", 2001},
    {"mdl", 2002},  {"thg", 2003},  {"fnt", 2005},  {"lua", 2007},  {"slt", 2008},
    {"nss", 2009},  {"ncs", 2010},  {"mod", 2011},  {"are", 2012},  {"set", 2013},
    {"ifo", 2014},  {"bic", 2015},  {"wok", 2016},  {"2da", 2017},  {"tlk", 2018},
    {"txi", 2022},  {"git", 2023},  {"bti", 2024},  {"uti", 2025},  {"btc", 2026},
    {"utc", 2027},  {"dlg", 2029},  {"itp", 2030},  {"btt", 2031},  {"utt", 2032},
    {"dds", 2033},  {"bts", 2034},  {"uts", 2035},  {"ltr", 2036},  {"gff", 2037},
    {"fac", 2038},  {"bte", 2039},  {"ute", 2040},  {"btd", 2041},  {"utd", 2042},
    {"btp", 2043},  {"utp", 2044},  {"dft", 2045},  {"gic", 2046},  {"gui", 2047},
    {"css", 2048},  {"ccs", 2049},  {"btm", 2050},  {"utm", 2051},  {"dwk", 2052},
    {"pwk", 2053},  {"btg", 2054},  {"utg", 2055},  {"jrl", 2056},  {"sav", 2057},
    {"utw", 2058},  {"4pc", 2059},  {"ssf", 2060},  {"hak", 2061},  {"nwm", 2062},
    {"bik", 2063},  {"lyt", 3000},  {"vis", 3001},  {"rim", 3002},  {"pth", 3003},
    {"lip", 3004},  {"bwm", 3005},  {"txb", 3006},  {"tpc", 3007},  {"mdx", 3008},
    {"rsv", 3009},  {"sig", 3010},  {"xbx", 3011},  {"erf", 9997},  {"bif", 9998},
    {"key", 9999},
};
static_assert(std::size(kTypes) == 86);

constexpr std::string_view kKnownTypes[] = {"ERF ", "MOD ", "HAK ", "SAV ", "RIM "};
constexpr std::uint32_t kERFKeySize = 24;
constexpr std::uint32_t kERFResourceSize = 8;
constexpr std::uint32_t kRIMKeySize = 32;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;
constexpr std::uint64_t kCopyRun = 64ull << 20;

bool IsResRefChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Names from instruction files may carry either separator.
std::string_view FileNameOf(std::string_view path) {
  auto cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The extension with its dot, from the last dot of the file name; empty when none.
std::string_view ExtensionOf(std::string_view path) {
  auto name = FileNameOf(path);
  auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string_view WithoutExtension(std::string_view fileName) {
  return fileName.substr(0, fileName.size() - ExtensionOf(fileName).size());
}

// The name a queued file gets in the archive ends where its extension first
// occurs ("a.utc.utc" is "a").
std::string_view ArchiveBaseName(std::string_view fileName) {
  auto dotExt = ExtensionOf(fileName);
  return dotExt.empty() ? fileName : fileName.substr(0, fileName.find(dotExt));
}

// Lookup key of a resource: lower-cased name and the type's two bytes. The
// suffix has a fixed length, so no name can imitate another key.
std::string MakeKey(std::string_view lowerName, int type) {
  std::string key(lowerName);
  key.push_back(static_cast<char>(type & 0xFF));
  key.push_back(static_cast<char>((type >> 8) & 0xFF));
  return key;
}

bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

fs::path ExecutableFolder() {
  static const fs::path folder = [] {
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    // Callers join names to it directly, so it ends with a separator.
    return (ec ? fs::current_path(ec) : exe.parent_path()) / "";
  }();
  return folder;
}

[[noreturn]] void ThrowDamaged(const fs::path& path, std::string_view what) {
  throw EERFError(FormatMsg("Unable to load file \"%s\", %s lies outside the file!",
                            {PathText(path), what}),
                  17);
}

// Today's build stamp: years since 1900 and day of the year from 1.
std::pair<std::uint32_t, std::uint32_t> BuildDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {static_cast<std::uint32_t>(local.tm_year), static_cast<std::uint32_t>(local.tm_yday + 1)};
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

void TERF_ResRef::SetName(std::string_view name) {
  bytes_.fill(0);
  std::size_t out = 0;
  for (char c : name.substr(0, bytes_.size()))
    if (IsResRefChar(c)) bytes_[out++] = c;
}

std::string TERF_ResRef::Name() const {
  std::string name;
  for (char c : bytes_)
    if (c != 0) name.push_back(c);
  return name;
}

TERF_ERFHeader::TERF_ERFHeader() { std::tie(BuildYear, BuildDay) = BuildDate(); }

void TERF_LocString::SetText(std::string text) {
  text_ = std::move(text);
  Size = static_cast<std::int32_t>(text_.size());
}

std::string TERF_Resource::TypeToExtension(int type) {
  for (const auto& entry : kTypes)
    if (entry.type == type) return entry.extension;
  return {};
}

int TERF_Resource::ExtensionToType(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty()) return -1;
  for (const auto& entry : kTypes)
    if (EqualsNoCase(entry.extension, extension)) return entry.type;
  return -1;
}

struct TERFHandler::OutputEntry {
  const TERF_Resource* loaded = nullptr;  // else copied from source or data
  std::string source;
  const std::vector<std::uint8_t>* data = nullptr;
  TERF_ResRef resRef;
  std::int16_t type = -1;
  std::uint64_t size = 0;
  std::uint64_t offset = 0;
};

TERFHandler::TERFHandler() { Close(); }

TERFHandler::TERFHandler(const fs::path& path) : TERFHandler() { LoadFromFile(path); }

TERFHandler::~TERFHandler() = default;

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

void TERFHandler::Close() {
  source_.reset();
  header_.reset();
  locStrings_.clear();
  resources_.clear();
  loadedIndex_.clear();
  pending_.clear();
  pendingBySource_.clear();
  livePending_ = 0;
  fileName_.clear();
  workFolder_ = ExecutableFolder();
  isOpen_ = false;
  modified_ = false;
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

TERF_Resource* TERFHandler::FindLoaded(std::string_view lowerName, int type) const {
  auto it = loadedIndex_.find(MakeKey(lowerName, type));
  return it == loadedIndex_.end() ? nullptr : it->second.front();
}

void TERFHandler::RemoveLoaded(TERF_Resource* resource) {
  auto key = MakeKey(AsciiLowerCopy(resource->ResRef.Name()), resource->ResType);
  auto& same = loadedIndex_[key];
  same.erase(std::find(same.begin(), same.end(), resource));
  if (same.empty()) loadedIndex_.erase(key);
  resources_.erase(std::find_if(resources_.begin(), resources_.end(),
                                [&](const auto& r) { return r.get() == resource; }));
  if (auto* erf = dynamic_cast<TERF_ERFHeader*>(header_.get())) --erf->EntryCount;
  if (auto* rim = dynamic_cast<TERF_RIMHeader*>(header_.get())) --rim->EntryCount;
  modified_ = true;
}

void TERFHandler::RemovePending(std::size_t index) {
  auto& p = pending_[index];
  pendingBySource_.erase(p.sourceKey);
  p.live = false;
  --livePending_;
  // Dead slots are dropped once they dominate, so long edit sessions stay small.
  if (pending_.size() > 64 && livePending_ * 2 < pending_.size()) {
    std::erase_if(pending_, [](const Pending& e) { return !e.live; });
    pendingBySource_.clear();
    for (std::size_t i = 0; i < pending_.size(); ++i) pendingBySource_[pending_[i].sourceKey] = i;
  }
}

bool TERFHandler::IsRIM() const { return dynamic_cast<const TERF_RIMHeader*>(header_.get()) != nullptr; }

const TERF_ERFHeader* TERFHandler::ERFHeader() const {
  return dynamic_cast<const TERF_ERFHeader*>(header_.get());
}

const TERF_RIMHeader* TERFHandler::RIMHeader() const {
  return dynamic_cast<const TERF_RIMHeader*>(header_.get());
}

std::vector<std::string> TERFHandler::PendingSources() const {
  std::vector<std::string> out;
  for (const auto& p : pending_)
    if (p.live && !p.inMemory) out.push_back(p.source);
  return out;
}

std::vector<std::string> TERFHandler::PendingNames() const {
  std::vector<std::string> out;
  for (const auto& p : pending_)
    if (p.live) out.push_back(p.name);
  return out;
}

std::vector<std::pair<std::string, const std::vector<std::uint8_t>*>> TERFHandler::PendingData() const {
  std::vector<std::pair<std::string, const std::vector<std::uint8_t>*>> out;
  for (const auto& p : pending_)
    if (p.live && p.inMemory) out.emplace_back(p.name, &p.data);
  return out;
}

bool TERFHandler::HasResource(std::string_view fileName, bool includePending) const {
  if (!isOpen_)
    throw EERFError("Unable to get resource from file, no ERF file is open!", 3);
  auto ext = ExtensionOf(fileName);
  auto name = CleanResRef(AsciiLowerCopy(WithoutExtension(fileName)));
  int type = TERF_Resource::ExtensionToType(ext);
  if (FindLoaded(name, type)) return true;
  if (!includePending) return false;

  // Queued files match by their source's file name, as given or reduced to a
  // resource name, and by the name they get in the archive.
  auto key = MakeKey(name, type);
  auto lowerFile = AsciiLowerCopy(fileName);
  auto sourceMatch = name + '/' + AsciiLowerCopy(ext);
  for (const auto& p : pending_) {
    if (p.live && (p.sourceKey == lowerFile || p.sourceMatch == sourceMatch ||
                   (type != -1 && p.identity == key)))
      return true;
  }
  return false;
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

std::string TERFHandler::PrepareAdd(std::string_view target, const std::string& sourceKey, bool replace) {
  auto targetFile = FileNameOf(target);
  auto dotExt = ExtensionOf(targetFile);
  auto base = ArchiveBaseName(targetFile);
  auto name = AsciiLowerCopy(base);
  auto ext = AsciiLowerCopy(dotExt.empty() ? dotExt : dotExt.substr(1));
  int type = TERF_Resource::ExtensionToType(ext);
  if (type == -1)
    throw EERFError(FormatMsg("Cannot add resource \"%s\"! Unsupported file type \"%s\" "
                              "encountered!",
                              {name, ext}),
                    9);

  if (TERF_Resource* res = FindLoaded(name, type)) {
    if (!replace)
      throw EERFError(FormatMsg("Cannot add resource \"%s.%s\"! A file with this name already "
                                "exists in the ERF!",
                                {name, ext}),
                      10);
    RemoveLoaded(res);
  }
  if (auto it = pendingBySource_.find(sourceKey); it != pendingBySource_.end()) {
    if (!replace)
      throw EERFError(FormatMsg("Cannot add resource \"%s.%s\"! A file with this name has already "
                                "been added to the ERF!",
                                {name, ext}),
                      11);
    RemovePending(it->second);
  }
  return MakeKey(AsciiLowerCopy(CleanResRef(base)), type);
}

void TERFHandler::PushPending(Pending p) {
  pendingBySource_[p.sourceKey] = pending_.size();
  pending_.push_back(std::move(p));
  ++livePending_;
  modified_ = true;
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

void TERFHandler::AddResource(const fs::path& source, bool replace, std::string_view targetName) {
  if (!isOpen_) throw EERFError("Unable to add resource to file, no ERF file is open!", 2);
  Pending p;
  p.source = source.string();
  p.name = std::string(targetName.empty() ? FileNameOf(p.source) : targetName);
  p.sourceKey = AsciiLowerCopy(FileNameOf(p.source));
  p.identity = PrepareAdd(p.name, p.sourceKey, replace);
  p.sourceMatch = CleanResRef(WithoutExtension(p.sourceKey)) + '/' + std::string(ExtensionOf(p.sourceKey));
  PushPending(std::move(p));
}

void TERFHandler::AddResourceData(std::string_view fileName, std::vector<std::uint8_t> data, bool replace) {
  if (!isOpen_) throw EERFError("Unable to add resource to file, no ERF file is open!", 2);
  Pending p;
  p.name = std::string(fileName);
  // The leading NUL keeps these keys apart from every source file name, so
  // only another in-memory entry of the same name replaces one, and lookups by
  // a source's file name never match it. sourceMatch stays empty for the same
  // reason.
  p.sourceKey = std::string(1, '\0') + AsciiLowerCopy(fileName);
  p.identity = PrepareAdd(p.name, p.sourceKey, replace);
  p.inMemory = true;
  p.data = std::move(data);
  PushPending(std::move(p));
}

void TERFHandler::DeleteResource(std::string_view name, int type) {
  if (!isOpen_)
    throw EERFError("Unable to delete resource from file, no ERF file is open!", 4);
  if (TERF_Resource* res = FindLoaded(AsciiLowerCopy(name), type)) {
    RemoveLoaded(res);
    return;
  }
  auto fileName = AsciiLowerCopy(name) + "." + TERF_Resource::TypeToExtension(type);
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    const auto& p = pending_[i];
    if (p.live && (p.sourceKey == fileName || AsciiLowerCopy(FileNameOf(p.name)) == fileName)) {
      RemovePending(i);
      return;
    }
  }
  throw EERFError(FormatMsg("Unable to delete resource from file, resource \"%s\" not found!",
                            {name}),
                  8);
}

// The content of the rebuilt archive: loaded resources in list order, then
// queued files in queue order. Queued files whose source has gone are left
// out; of those that remain, a later one replaces an earlier one and a loaded
// resource of the same name and type.
std::vector<TERFHandler::OutputEntry> TERFHandler::PlanOutput() const {
  std::vector<OutputEntry> queued;
  std::unordered_map<std::string, std::size_t> lastOf;
  for (const auto& p : pending_) {
    if (!p.live) continue;
    std::uint64_t size = p.data.size();
    if (!p.inMemory) {
      std::error_code ec;
      if (!fs::is_regular_file(p.source, ec)) continue;
      size = fs::file_size(p.source, ec);
      if (ec) continue;
    }
    OutputEntry e;
    e.source = p.source;
    if (p.inMemory) e.data = &p.data;
    auto file = FileNameOf(p.name);
    e.resRef.SetName(ArchiveBaseName(file));
    e.type = static_cast<std::int16_t>(TERF_Resource::ExtensionToType(ExtensionOf(file)));
    e.size = size;
    lastOf[p.identity] = queued.size();
    queued.push_back(std::move(e));
  }

  std::vector<OutputEntry> out;
  out.reserve(resources_.size() + queued.size());
  for (const auto& res : resources_) {
    if (lastOf.count(MakeKey(AsciiLowerCopy(res->ResRef.Name()), res->ResType))) continue;
    OutputEntry e;
    e.loaded = res.get();
    e.resRef = res->ResRef;
    e.type = res->ResType;
    e.size = res->Size;
    out.push_back(std::move(e));
  }
  for (std::size_t i = 0; i < queued.size(); ++i) {
    auto key = MakeKey(AsciiLowerCopy(queued[i].resRef.Name()), queued[i].type);
    if (lastOf[key] == i) out.push_back(std::move(queued[i]));
  }
  return out;
}

// Header and tables of the rebuilt archive; sets each entry's data offset.
// Data follows the tables directly, in entry order, without gaps.
std::vector<std::uint8_t> TERFHandler::BuildTables(std::vector<OutputEntry>& entries) const {
  const std::uint64_t n = entries.size();
  auto [year, day] = BuildDate();
  ByteWriter w;
  std::uint64_t dataStart = 0;
  const auto* erf = ERFHeader();
  if (erf) {
    std::uint64_t stringBytes = 0;
    for (const auto& s : locStrings_) stringBytes += 8 + s.Text().size();
    const std::uint64_t keyList = TERF_ERFHeader::kSize + stringBytes;
    const std::uint64_t resourceList = keyList + kERFKeySize * n;
    dataStart = resourceList + kERFResourceSize * n;
    if (dataStart > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    w.Reserve(static_cast<std::size_t>(dataStart));
    w.FixedString(erf->FileType, 4);
    w.FixedString(erf->Version, 4);
    w.I32(static_cast<std::int32_t>(locStrings_.size()));
    w.U32(static_cast<std::uint32_t>(stringBytes));
    w.I32(static_cast<std::int32_t>(n));
    w.U32(TERF_ERFHeader::kSize);
    w.U32(static_cast<std::uint32_t>(keyList));
    w.U32(static_cast<std::uint32_t>(resourceList));
    w.U32(year);
    w.U32(day);
    w.U32(erf->DescriptionStrRef);
    w.Bytes(erf->Reserved);
    for (const auto& s : locStrings_) {
      w.I32(s.LanguageId);
      w.U32(static_cast<std::uint32_t>(s.Text().size()));
      w.Text(s.Text());
    }
  } else {
    const auto* rim = RIMHeader();
    dataStart = TERF_RIMHeader::kSize + kRIMKeySize * n;
    if (dataStart > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    w.Reserve(static_cast<std::size_t>(dataStart));
    w.FixedString(rim->FileType, 4);
    w.FixedString(rim->Version, 4);
    w.U32(rim->Unknown);
    w.I32(static_cast<std::int32_t>(n));
    w.U32(TERF_RIMHeader::kSize);
    w.Bytes(rim->Reserved);
  }

  std::uint64_t offset = dataStart;
  for (auto& e : entries) {
    if (offset > kMaxOffset || e.size > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    e.offset = offset;
    offset += e.size;
  }
  std::uint32_t id = 0;
  for (const auto& e : entries) {
    const auto& name = e.resRef.Bytes();
    w.Text(std::string_view(name.data(), name.size()));
    if (erf) {
      w.U32(id);
      w.I16(e.type);
      w.U16(0);
    } else {
      // The id's high half is 0 for every archive below 65536 entries.
      w.I16(e.type);
      w.U16(0);
      w.U32(id);
      w.U32(static_cast<std::uint32_t>(e.offset));
      w.U32(static_cast<std::uint32_t>(e.size));
    }
    ++id;
  }
  if (erf) {
    for (const auto& e : entries) {
      w.U32(static_cast<std::uint32_t>(e.offset));
      w.U32(static_cast<std::uint32_t>(e.size));
    }
  }
  return w.Take();
}

void TERFHandler::SaveToFile(const fs::path& path) {
  if (!isOpen_) throw EERFError("Unable to save, no ERF file is open!", 1);
  if (!source_) throw EERFError("Unable to save, could not access file!", 15);
  if (path.empty() && !modified_) return;
  const fs::path target = path.empty() ? fileName_ : path;
  if (target.empty()) throw EERFError("Unable to save, no file name has been specified!", 16);

  auto entries = PlanOutput();
  auto tables = BuildTables(entries);
  std::uint64_t total = tables.size();
  for (const auto& e : entries) total += e.size;

  // The new archive grows beside the target while the old one (possibly the
  // target itself) is still being read; one rename then replaces it.
  AtomicFileWriter out(target);
  out.Reserve(total);
  out.Write(tables);
  for (std::size_t i = 0; i < entries.size();) {
    if (entries[i].loaded) {
      // Resources that lay back to back in the old file still do in the new
      // one: copy them as one range, which the kernel does much faster than
      // many small ones. Runs are capped so progress is still reported.
      std::uint64_t from = 0, length = 0;
      for (; i < entries.size() && entries[i].loaded; ++i) {
        const auto& r = entries[i];
        if (r.size == 0) continue;
        if (length == 0)
          from = r.loaded->Offset;
        else if (r.loaded->Offset != from + length || length + r.size > kCopyRun)
          break;
        length += r.size;
      }
      if (length != 0) out.CopyFrom(*source_, from, length);
    } else if (entries[i].data) {
      out.Write(*entries[i].data);
      ++i;
    } else {
      const auto& e = entries[i];
      InputFile in(e.source);
      if (in.Size() != e.size)
        throw EFOpenError(FormatMsg("Cannot open file \"%s\". %s",
                                    {PathText(e.source), "It changed while the archive was being saved."}));
      out.CopyFrom(in, 0, e.size);
      ++i;
    }
    if (saveProgress_) saveProgress_(out.Written(), total);
  }
  out.Commit();
  LoadFromFile(target);
}

}  // namespace vey
