// WineRegistry: a reader for the text registry files of a Wine prefix.
//
// The file holds sections "[Key\\Path] timestamp" followed by values
// "Name"="text", @="text" for the default value, str(2):"text" for strings
// with variables, and dword:/hex: forms that are not strings. Names and texts
// use backslash escapes; characters outside ASCII are written as \xHHHH.
#include "platform/WineRegistry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/FileIO.h"
#include "common/VeyException.h"
#include "common/Win1252.h"
#include "platform/GameFileSystem.h"

namespace vey::platform {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads escaped text from line at pos up to the unescaped closing character;
// pos ends just after it. nullopt when the line ends first.
std::optional<std::string> ReadEscaped(std::string_view line, std::size_t& pos, char close) {
  std::string out;
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == close) return out;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= line.size()) return std::nullopt;
    char e = line[pos++];
    switch (e) {
      case 'a': out.push_back('\a'); break;
      case 'b': out.push_back('\b'); break;
      case 'e': out.push_back('\x1b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'v': out.push_back('\v'); break;
      case 'x': {
        char32_t cp = 0;
        int digits = 0;
        for (; digits < 4 && pos < line.size() && HexValue(line[pos]) >= 0; ++digits)
          cp = cp * 16 + static_cast<char32_t>(HexValue(line[pos++]));
        if (digits == 0)
          out.push_back('x');
        else
          AppendUtf8(out, cp);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          char32_t cp = static_cast<char32_t>(e - '0');
          for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' &&
                               line[pos] <= '7';
               ++digits)
            cp = cp * 8 + static_cast<char32_t>(line[pos++] - '0');
          AppendUtf8(out, cp);
        } else {
          out.push_back(e);  // \\, \", \[, \] and anything else stand for themselves
        }
    }
  }
  return std::nullopt;
}

// The key name of a section header line, escapes undone.
std::optional<std::string> SectionKey(std::string_view line) {
  std::size_t pos = 1;
  return ReadEscaped(line, pos, ']');
}

struct ValueLine {
  std::string name;
  std::optional<std::string> text;  // nullopt for values that are not strings
};

std::optional<ValueLine> ParseValue(std::string_view line) {
  ValueLine v;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    pos = 1;
    auto name = ReadEscaped(line, pos, '"');
    if (!name) return std::nullopt;
    v.name = std::move(*name);
  }
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  std::string_view data = line.substr(pos + 1);
  // str(1) is a plain string and str(2) one with unexpanded variables; both
  // read back as strings.
  for (std::string_view typed : {"str(1):", "str(2):"})
    if (data.starts_with(typed)) data.remove_prefix(typed.size());
  if (!data.empty() && data[0] == '"') {
    std::size_t p = 1;
    v.text = ReadEscaped(data, p, '"');
    if (v.text) {
      // A string ends at its first NUL, as a registry read returns it.
      std::size_t nul = v.text->find('\0');
      if (nul != std::string::npos) v.text->resize(nul);
    }
  }
  return v;
}

std::string TrimSlashes(std::string_view key) {
  while (!key.empty() && (key.front() == '\\' || key.front() == '/')) key.remove_prefix(1);
  while (!key.empty() && (key.back() == '\\' || key.back() == '/')) key.remove_suffix(1);
  std::string out(key);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::optional<std::string> FindValue(std::string_view content, const std::string& foldedKey,
                                     std::string_view name) {
  bool inKey = false;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line[0] == '[') {
      if (inKey) return std::nullopt;  // the key's section is over
      auto key = SectionKey(line);
      inKey = key && AsciiLowerCopy(TrimSlashes(*key)) == foldedKey;
    } else if (inKey && (line[0] == '"' || line[0] == '@')) {
      auto value = ParseValue(line);
      if (value && EqualsNoCase(value->name, name)) return value->text;
    }
  }
  return std::nullopt;
}

}  // namespace

WineRegistry::WineRegistry() {
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
  }
  prefix_ = ChoosePrefix(std::getenv("WINEPREFIX"), home);
}

WineRegistry::Path WineRegistry::ChoosePrefix(const char* winePrefix, const char* home) {
  if (winePrefix && *winePrefix) return Path(winePrefix);
  if (home && *home) return Path(home) / ".wine";
  return {};
}

std::optional<std::string> WineRegistry::ReadRawString(std::string_view key,
                                                       std::string_view name) const {
  if (prefix_.empty()) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadWholeFile(prefix_ / "system.reg");
  } catch (const Exception&) {
    return std::nullopt;  // no prefix, no registry: nothing is found
  }
  return FindString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    key, name);
}

std::optional<std::string> WineRegistry::FindString(std::string_view content, std::string_view key,
                                                    std::string_view name) {
  std::string wanted = AsciiLowerCopy(TrimSlashes(key));
  if (wanted.empty()) return std::nullopt;
  if (auto v = FindValue(content, wanted, name)) return v;
  constexpr std::string_view kSoftware = "software\\";
  if (wanted.starts_with(kSoftware) && !wanted.starts_with("software\\wow6432node\\")) {
    std::string redirected = "software\\wow6432node\\" + wanted.substr(kSoftware.size());
    return FindValue(content, redirected, name);
  }
  return std::nullopt;
}

std::string WineRegistry::MapWindowsPath(std::string_view windowsPath) const {
  std::string_view p = windowsPath;
  if (p.starts_with("\\\\?\\")) p.remove_prefix(4);
  if (p.size() < 2 || p[1] != ':' || !((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')))
    return {};
  char letter = AsciiLower(p[0]);
  p.remove_prefix(2);

  // Wine's drives are the links in dosdevices; drive_c is where C: points by default.
  Path devices = prefix_ / "dosdevices";
  Path link = devices / std::string{letter, ':'};
  Path root;
  std::error_code ec;
  Path target = std::filesystem::read_symlink(link, ec);
  if (!ec) {
    root = (target.is_absolute() ? target : devices / target).lexically_normal();
  } else if (std::filesystem::is_directory(link, ec)) {
    root = link;
  } else if (letter == 'c') {
    root = prefix_ / "drive_c";
  } else {
    return {};
  }
  if (!root.has_filename() && root.has_relative_path()) root = root.parent_path();

  // Windows itself folds "." and ".." away, never above the drive root.
  std::vector<std::string> parts;
  std::size_t startPart = 0;
  for (std::size_t i = 0; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '\\' || p[i] == '/') {
      std::string_view part = p.substr(startPart, i - startPart);
      startPart = i + 1;
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
        continue;
      }
      parts.emplace_back(part);
    }
  }
  GameFileSystem fs;
  Path result = root;
  for (const std::string& part : parts) result = fs.Child(result, part);
  return result.string();
}

std::string WineRegistry::ReadString(std::string_view key, std::string_view name) {
  std::optional<std::string> raw = ReadRawString(key, name);
  if (!raw || raw->empty()) return {};
  std::string_view text = *raw;
  bool drivePath = text.size() >= 2 && text[1] == ':' &&
                   ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'));
  if (drivePath || text.starts_with("\\\\?\\")) return MapWindowsPath(text);
  if (text.starts_with("\\\\")) return {};  // a network share has no place here
  return *raw;
}

}  // namespace vey::platform
