// UQK_IniFile: the instruction-file index (parsed once, re-parsed when the file
// changes on disk) and the line-preserving string write.
#include "common/UQK_IniFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey {
namespace {

constexpr std::size_t kMaxValueLength = 2047;
// Other readers of these files list key names as zero-terminated strings
// followed by one more zero in 16,384 bytes and drop the names past that; every
// name is listed here, and a longer section is reported.
constexpr std::size_t kKeyListBytes = 16384;

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view Trim(std::string_view s) {
  auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::size_t HashNoCase(std::string_view s, std::size_t seed = 14695981039346656037ull) {
  std::size_t h = seed;
  for (char c : s) {
    h ^= static_cast<unsigned char>(AsciiLower(c));
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

// Named rather than file-local: the reader's index, a member type, holds
// them.
namespace ini_index {

struct NoCaseHash {
  std::size_t operator()(std::string_view s) const { return HashNoCase(s); }
};
struct NoCaseEqual {
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};

struct KeyId {
  std::size_t section;
  std::string_view key;
};
struct KeyIdHash {
  std::size_t operator()(const KeyId& k) const { return HashNoCase(k.key, k.section * 0x9E3779B97F4A7C15ull + 1); }
};
struct KeyIdEqual {
  bool operator()(const KeyId& a, const KeyId& b) const {
    return a.section == b.section && EqualsNoCase(a.key, b.key);
  }
};

struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
  bool operator==(const FileStamp&) const = default;
};

}  // namespace ini_index

namespace {

ini_index::FileStamp StampOf(const std::string& fileName) {
  ini_index::FileStamp s;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
  s.exists = true;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.mtimeSec = st.st_mtim.tv_sec;
  s.mtimeNsec = st.st_mtim.tv_nsec;
  s.ctimeSec = st.st_ctim.tv_sec;
  s.ctimeNsec = st.st_ctim.tv_nsec;
  return s;
}

std::string ReadBytes(const std::string& fileName) {
  auto bytes = ReadWholeFile(fileName);
  return std::string(bytes.begin(), bytes.end());
}

std::string DecodeEscapes(std::string_view s) {
  return ReplaceAll(ReplaceAll(s, "<#LF#>", "\n"), "<#CR#>", "\r");
}

std::string EncodeEscapes(std::string_view s) {
  return ReplaceAll(ReplaceAll(s, "\n", "<#LF#>"), "\r", "<#CR#>");
}

}  // namespace

struct TQK_Inifile::Index {
  struct Entry {
    std::string_view key;
    std::string_view value;
    bool hasValue = false;
    std::size_t lineBegin = 0, lineEnd = 0;
    std::int32_t line = 0;
  };
  struct Section {
    std::string_view name;
    std::vector<Entry> entries;
    std::size_t lastLineEnd = 0;  // end of its header or last entry line
    std::int32_t line = 0;
  };

  ini_index::FileStamp stamp;
  TTextEncoding encoding = TTextEncoding::Windows1252;
  // The views below point into content, which is never changed after Parse.
  std::string content;
  // Only the first section of each name is read; later ones are kept apart
  // so that checks can point at them.
  std::vector<Section> sections;
  std::vector<Section> repeated;
  std::vector<TQK_IniLostChar> lostChars;
  std::unordered_map<std::string_view, std::size_t, ini_index::NoCaseHash, ini_index::NoCaseEqual> sectionByName;
  std::unordered_map<ini_index::KeyId, std::size_t, ini_index::KeyIdHash, ini_index::KeyIdEqual> firstEntry;

  void Parse();
  void LocateLostCharacters(const std::vector<std::size_t>& lostAt);
  const Section* FindSection(std::string_view name) const {
    auto it = sectionByName.find(name);
    return it == sectionByName.end() ? nullptr : &sections[it->second];
  }
  const Entry* FindEntry(std::string_view section, std::string_view key) const {
    auto s = sectionByName.find(section);
    if (s == sectionByName.end()) return nullptr;
    auto e = firstEntry.find(ini_index::KeyId{s->second, key});
    return e == firstEntry.end() ? nullptr : &sections[s->second].entries[e->second];
  }
};

void TQK_Inifile::Index::Parse() {
  std::string_view text = content;
  std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  constexpr std::size_t kIgnored = static_cast<std::size_t>(-1);
  std::size_t current = kIgnored;  // entries before any section are dropped
  bool inRepeated = false;
  std::int32_t lineNo = 1;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::int32_t thisLine = lineNo;
    // CR LF ends one line: the LF is then met as an empty line of its own.
    if (end < text.size() && (text[end] == '\n' || end + 1 >= text.size() || text[end + 1] != '\n')) ++lineNo;
    std::size_t lineBegin = pos;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    std::size_t indent = line.find_first_not_of(kBlanks);
    if (indent == std::string_view::npos || line[indent] == ';') continue;
    line.remove_prefix(indent);
    if (line[0] == '[') {
      std::size_t close = line.rfind(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      inRepeated = sectionByName.contains(name);
      if (inRepeated) {
        current = repeated.size();
        repeated.push_back(Section{name, {}, end, thisLine});
      } else {
        current = sections.size();
        sections.push_back(Section{name, {}, end, thisLine});
        sectionByName.emplace(name, current);
      }
      continue;
    }
    if (current == kIgnored) continue;
    Entry entry;
    entry.lineBegin = lineBegin;
    entry.lineEnd = end;
    entry.line = thisLine;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      entry.key = Trim(line);
    } else {
      entry.key = Trim(line.substr(0, eq));
      entry.value = Unquote(Trim(line.substr(eq + 1)));
      entry.hasValue = true;
    }
    // A nameless entry could never be listed (it would end the list of names).
    if (entry.key.empty()) continue;
    if (inRepeated) {
      repeated[current].entries.push_back(entry);
      continue;
    }
    Section& section = sections[current];
    firstEntry.emplace(ini_index::KeyId{current, entry.key}, section.entries.size());
    section.entries.push_back(entry);
    section.lastLineEnd = end;
  }
}

void TQK_Inifile::Index::LocateLostCharacters(const std::vector<std::size_t>& lostAt) {
  // Line numbers by the same rule as Parse: CR LF, LF and a lone CR end a line.
  std::vector<std::size_t> lineStarts{0};
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\n' || (content[i] == '\r' && (i + 1 >= content.size() || content[i + 1] != '\n')))
      lineStarts.push_back(i + 1);
  }
  std::unordered_map<std::int32_t, std::pair<std::string_view, std::string_view>> whatIsOn;
  for (const auto* list : {&sections, &repeated}) {
    for (const Section& s : *list) {
      whatIsOn.emplace(s.line, std::pair{s.name, std::string_view{}});
      for (const Entry& e : s.entries) whatIsOn.emplace(e.line, std::pair{s.name, e.key});
    }
  }
  for (std::size_t at : lostAt) {
    // The BOM was not converted: offsets count from the byte after it.
    std::size_t offset = at + (content.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    auto line = static_cast<std::int32_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), offset) -
                                          lineStarts.begin());
    if (!lostChars.empty() && lostChars.back().line == line) continue;
    TQK_IniLostChar lost;
    lost.line = line;
    if (auto it = whatIsOn.find(line); it != whatIsOn.end()) {
      lost.section = it->second.first;
      lost.key = it->second.second;
    }
    lostChars.push_back(std::move(lost));
  }
}

TQK_Inifile::TQK_Inifile(std::string fileName) : fileName_(std::move(fileName)) {}
TQK_Inifile::~TQK_Inifile() = default;
TQK_Inifile::TQK_Inifile(TQK_Inifile&&) noexcept = default;
TQK_Inifile& TQK_Inifile::operator=(TQK_Inifile&&) noexcept = default;

const TQK_Inifile::Index& TQK_Inifile::Current() const {
  ini_index::FileStamp stamp = StampOf(fileName_);
  if (index_ && index_->stamp == stamp) return *index_;
  auto fresh = std::make_unique<Index>();
  fresh->stamp = stamp;
  std::vector<std::size_t> lostAt;
  if (stamp.exists) {
    try {
      fresh->content = ReadBytes(fileName_);
    } catch (const Exception&) {
      // Unreadable reads as missing; the stamp stays, so it is not retried
      // until the file changes.
      fresh->content.clear();
    }
    fresh->encoding = DetectTextEncoding(fresh->content);
    // The mark stays in front, so that offsets into the text are those of the file's lines.
    if (fresh->encoding == TTextEncoding::Utf8)
      fresh->content = "\xEF\xBB\xBF" + Utf8ToWin1252Lossy(std::string_view(fresh->content).substr(3), &lostAt);
  }
  fresh->Parse();
  if (!lostAt.empty()) fresh->LocateLostCharacters(lostAt);
  index_ = std::move(fresh);
  return *index_;
}

std::string TQK_Inifile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
  const Index::Entry* e = Current().FindEntry(section, key);
  if (!e || !e->hasValue) return DecodeEscapes(defaultValue);
  return DecodeEscapes(e->value.substr(0, kMaxValueLength));
}

std::int32_t TQK_Inifile::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
  std::string text = ReadString(section, key, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.erase(0, 1);
    text[0] = '$';
  }
  return ParseInt32(text).value_or(defaultValue);
}

bool TQK_Inifile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TQK_Inifile::ReadSection(std::string_view section, std::vector<std::string>& strings) const {
  strings.clear();
  const Index::Section* s = Current().FindSection(section);
  if (!s) return;
  std::size_t used = 1;  // the zero that closes the list
  strings.reserve(s->entries.size());
  for (const auto& e : s->entries) {
    used += e.key.size() + 1;
    strings.emplace_back(e.key);
  }
  if (used > kKeyListBytes && OnLongSection) OnLongSection(section);
}

std::vector<std::string> TQK_Inifile::ReadSection(std::string_view section) const {
  std::vector<std::string> strings;
  ReadSection(section, strings);
  return strings;
}

bool TQK_Inifile::SectionExists(std::string_view section) const {
  const Index::Section* s = Current().FindSection(section);
  return s && !s->entries.empty();
}

void TQK_Inifile::ReadSectionValues(std::string_view section, std::vector<std::string>& strings) const {
  std::vector<std::string> keys;
  ReadSection(section, keys);
  strings.clear();
  for (const auto& key : keys) {
    std::string line = key + "=" + ReadString(section, key, "");
    strings.push_back(DecodeEscapes(line));
  }
}

TQK_IniLayout TQK_Inifile::Layout() const {
  const Index& index = Current();
  TQK_IniLayout layout;
  layout.encoding = index.encoding;
  layout.lostChars = index.lostChars;
  auto copy = [](const Index::Section& s) {
    TQK_IniSection out{std::string(s.name), s.line, {}};
    out.entries.reserve(s.entries.size());
    for (const auto& e : s.entries)
      out.entries.push_back({std::string(e.key), e.hasValue ? DecodeEscapes(e.value.substr(0, kMaxValueLength)) : "",
                             e.hasValue, e.line});
    return out;
  };
  layout.sections.reserve(index.sections.size());
  for (const auto& s : index.sections) layout.sections.push_back(copy(s));
  for (const auto& s : index.repeated) layout.repeated.push_back(copy(s));
  return layout;
}

TTextEncoding TQK_Inifile::Encoding() const { return Current().encoding; }

std::vector<TQK_IniLostChar> TQK_Inifile::LostCharacters() const { return Current().lostChars; }

void TQK_Inifile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  auto fail = [&] { return EIniFileException(FormatMsg("Unable to write to %s", {fileName_})); };
  // Names that would break the line structure could not be read back as written.
  if (Trim(key).empty() || key.find_first_of("=\r\n") != std::string_view::npos ||
      section.find_first_of("\r\n") != std::string_view::npos)
    throw fail();

  Index file;
  try {
    if (StampOf(fileName_).exists) file.content = ReadBytes(fileName_);
  } catch (const Exception&) {
    throw fail();
  }
  file.Parse();
  const std::string& text = file.content;
  std::string nl = text.find("\r\n") != std::string::npos ? "\r\n"
                   : text.find('\n') != std::string::npos ? "\n"
                                                          : "\r\n";
  std::string encoded = EncodeEscapes(value);
  std::string updated;
  if (const Index::Entry* e = file.FindEntry(section, key)) {
    updated = text.substr(0, e->lineBegin) + std::string(e->key) + "=" + encoded + text.substr(e->lineEnd);
  } else if (const Index::Section* s = file.FindSection(section)) {
    updated = text.substr(0, s->lastLineEnd) + nl + std::string(key) + "=" + encoded +
              text.substr(s->lastLineEnd);
  } else {
    updated = text;
    if (!updated.empty() && updated.back() != '\n' && updated.back() != '\r') updated += nl;
    updated.append("[").append(section).append("]").append(nl);
    updated.append(key).append("=").append(encoded).append(nl);
  }
  try {
    WriteFileAtomic(fileName_, std::span(reinterpret_cast<const std::uint8_t*>(updated.data()), updated.size()));
  } catch (const Exception&) {
    throw fail();
  }
  index_.reset();
}

bool MakeFolderPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

}  // namespace vey
