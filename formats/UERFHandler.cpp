// UERFHandler: the archive in memory: resource names and types, lookup, and
// the queued edits that the next save applies. Reading is in
// UERFHandlerRead.cpp, the tables of a new archive in UERFHandlerWrite.cpp and
// the streamed rebuild in UERFHandlerRebuild.cpp.
#include "formats/UERFHandler.h"

#include <algorithm>
#include <utility>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "formats/UERFHandlerDetail.h"

namespace vey {

using namespace erf_detail;

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

bool IsResRefChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
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

TERFHandler::TERFHandler() { Close(); }

TERFHandler::TERFHandler(const fs::path& path) : TERFHandler() { LoadFromFile(path); }

TERFHandler::~TERFHandler() = default;

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

TERF_Resource* TERFHandler::FindLoaded(std::string_view lowerName, int type) const {
  auto it = loadedIndex_.find(MakeKey(lowerName, type));
  return it == loadedIndex_.end() ? nullptr : it->second.front();
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

}  // namespace vey
