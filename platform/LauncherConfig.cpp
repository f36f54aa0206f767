// LauncherConfig: small tolerant readers for launcher files.
#include "platform/LauncherConfig.h"

#include <cstdint>
#include <optional>

#include "common/Win1252.h"

namespace vey::platform {
namespace {

// Key-value text: quoted or bare tokens, braces, "//" comments.
struct VdfToken {
  enum Kind { kText, kOpen, kClose, kEnd } kind = kEnd;
  std::string text;
};

VdfToken NextVdfToken(std::string_view s, std::size_t& pos) {
  while (pos < s.size()) {
    char c = s[pos];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++pos;
    } else if (c == '/' && pos + 1 < s.size() && s[pos + 1] == '/') {
      while (pos < s.size() && s[pos] != '\n') ++pos;
    } else {
      break;
    }
  }
  if (pos >= s.size()) return {};
  char c = s[pos];
  if (c == '{') return ++pos, VdfToken{VdfToken::kOpen, {}};
  if (c == '}') return ++pos, VdfToken{VdfToken::kClose, {}};
  VdfToken t{VdfToken::kText, {}};
  if (c == '"') {
    ++pos;
    while (pos < s.size() && s[pos] != '"') {
      if (s[pos] == '\\' && pos + 1 < s.size()) {
        char e = s[++pos];
        t.text.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
      } else {
        t.text.push_back(s[pos]);
      }
      ++pos;
    }
    ++pos;  // the closing quote
    return t;
  }
  while (pos < s.size() && s[pos] != ' ' && s[pos] != '\t' && s[pos] != '\r' && s[pos] != '\n' &&
         s[pos] != '{' && s[pos] != '}' && s[pos] != '"')
    t.text.push_back(s[pos++]);
  return t;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A YAML scalar as written after "key:": quotes removed, a trailing comment
// dropped from a plain value.
std::string YamlScalar(std::string_view v) {
  v = Trim(v);
  if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"')) {
    const char quote = v.front();
    std::string out;
    for (std::size_t i = 1; i < v.size(); ++i) {
      if (v[i] == quote) {
        if (quote == '\'' && i + 1 < v.size() && v[i + 1] == '\'') {
          out.push_back('\'');
          ++i;
          continue;
        }
        break;
      }
      if (quote == '"' && v[i] == '\\' && i + 1 < v.size()) ++i;
      out.push_back(v[i]);
    }
    return out;
  }
  std::size_t comment = v.find(" #");
  if (comment != std::string_view::npos) v = Trim(v.substr(0, comment));
  return std::string(v);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A JSON string starting at the quote s[pos]; pos ends after its closing quote.
std::optional<std::string> JsonString(std::string_view s, std::size_t& pos) {
  std::string out;
  ++pos;
  char32_t high = 0;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return out;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= s.size()) return std::nullopt;
    char e = s[pos++];
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'u': {
        if (pos + 4 > s.size()) return std::nullopt;
        char32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
          int d = HexDigit(s[pos + k]);
          if (d < 0) return std::nullopt;
          cp = cp * 16 + static_cast<char32_t>(d);
        }
        pos += 4;
        if (cp >= 0xD800 && cp < 0xDC00) {
          high = cp;
          continue;
        }
        if (cp >= 0xDC00 && cp < 0xE000 && high != 0) cp = 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00);
        high = 0;
        AppendUtf8(out, cp);
        break;
      }
      default: out.push_back(e);  // \" \\ \/
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> VdfLibraryFolders(std::string_view vdf) {
  std::vector<std::string> folders;
  std::vector<std::string> keys;  // the open blocks, outermost first
  std::size_t pos = 0;
  std::optional<std::string> pendingKey;
  while (true) {
    VdfToken t = NextVdfToken(vdf, pos);
    if (t.kind == VdfToken::kEnd) break;
    if (t.kind == VdfToken::kOpen) {
      keys.push_back(pendingKey.value_or(""));
      pendingKey.reset();
    } else if (t.kind == VdfToken::kClose) {
      if (!keys.empty()) keys.pop_back();
      pendingKey.reset();
    } else if (!pendingKey) {
      pendingKey = std::move(t.text);
    } else {
      const std::string& key = *pendingKey;
      const bool inList = !keys.empty() && EqualsNoCase(keys.front(), "libraryfolders");
      // Current layout: "libraryfolders" { "0" { "path" "/x" ... } }.
      if (inList && keys.size() == 2 && EqualsNoCase(key, "path")) folders.push_back(t.text);
      // Older layout: "LibraryFolders" { "1" "/x" }.
      if (inList && keys.size() == 1 && AllDigits(key)) folders.push_back(t.text);
      pendingKey.reset();
    }
  }
  return folders;
}

LutrisGame LutrisGameFile(std::string_view yaml) {
  LutrisGame game;
  bool inGame = false;
  std::size_t start = 0;
  while (start < yaml.size()) {
    std::size_t end = yaml.find('\n', start);
    if (end == std::string_view::npos) end = yaml.size();
    std::string_view line = yaml.substr(start, end - start);
    start = end + 1;
    if (Trim(line).empty() || Trim(line).front() == '#') continue;
    const bool indented = line.front() == ' ' || line.front() == '\t';
    if (!indented) {
      inGame = Trim(line) == "game:";
      continue;
    }
    if (!inGame) continue;
    std::string_view body = Trim(line);
    std::size_t colon = body.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view key = Trim(body.substr(0, colon));
    if (key == "prefix" && game.prefix.empty()) game.prefix = YamlScalar(body.substr(colon + 1));
    if (key == "exe" && game.exe.empty()) game.exe = YamlScalar(body.substr(colon + 1));
  }
  return game;
}

std::vector<std::string> JsonStringValues(std::string_view json, std::string_view key) {
  std::vector<std::string> values;
  std::size_t pos = 0;
  std::optional<std::string> lastString;  // a string that may turn out to be a member name
  while (pos < json.size()) {
    char c = json[pos];
    if (c == '"') {
      auto s = JsonString(json, pos);
      if (!s) break;
      lastString = std::move(s);
      continue;
    }
    if (c == ':' && lastString) {
      const bool wanted = *lastString == key;
      lastString.reset();
      ++pos;
      while (pos < json.size() && (json[pos] == ' ' || json[pos] == '\t' || json[pos] == '\r' || json[pos] == '\n'))
        ++pos;
      if (wanted && pos < json.size() && json[pos] == '"') {
        auto v = JsonString(json, pos);
        if (!v) break;
        values.push_back(std::move(*v));
      }
      continue;
    }
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') lastString.reset();
    ++pos;
  }
  return values;
}

}  // namespace vey::platform
