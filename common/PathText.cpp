// PathText: the conversion of paths into message text and back out of it.
#include "common/PathText.h"

#include <optional>

#include "common/Win1252.h"

namespace vey {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The code point of the UTF-8 sequence at text[i], and its length; nullopt
// for a byte that does not start a valid, shortest-form sequence.
std::optional<std::pair<char32_t, std::size_t>> DecodeUtf8(std::string_view text, std::size_t i) {
  auto b = static_cast<unsigned char>(text[i]);
  std::size_t extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
  if (extra == 0 || i + extra >= text.size()) return std::nullopt;
  char32_t cp = b & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return std::make_pair(cp, extra + 1);
}

void AppendMark(std::string& out, char32_t cp) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[cp & 0xF]);
    cp >>= 4;
  } while (cp != 0);
  out += kPathMark;
  out += digits;
  out += kPathMark;
}

// A byte Windows-1252 leaves unassigned would be read as a mark or lost.
bool Unassigned(unsigned char b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PathText(std::string_view fsPath) {
  std::string out;
  out.reserve(fsPath.size());
  std::size_t i = 0;
  while (i < fsPath.size()) {
    auto b = static_cast<unsigned char>(fsPath[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    if (auto decoded = DecodeUtf8(fsPath, i)) {
      const auto [cp, length] = *decoded;
      int byte = Win1252FromCodePoint(cp);
      if (byte >= 0 && !Unassigned(static_cast<unsigned char>(byte)))
        out.push_back(static_cast<char>(byte));
      else
        AppendMark(out, cp);
      i += length;
      continue;
    }
    if (Unassigned(b))
      AppendMark(out, b);
    else
      out.push_back(static_cast<char>(b));
    ++i;
  }
  return out;
}

std::string PathText(const std::filesystem::path& path) { return PathText(std::string_view(path.native())); }

std::u32string MessageCodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    if (text[i] == kPathMark) {
      // Up to six digits (U+10FFFF) between two mark bytes.
      char32_t cp = 0;
      std::size_t j = i + 1;
      while (j < text.size() && j - i <= 6 && UpperHexValue(text[j]) >= 0) cp = cp * 16 + UpperHexValue(text[j++]);
      bool wellFormed = j > i + 1 && j < text.size() && text[j] == kPathMark && cp <= 0x10FFFF &&
                        !(cp >= 0xD800 && cp <= 0xDFFF);
      if (wellFormed) {
        out.push_back(cp);
        i = j + 1;
        continue;
      }
    }
    out.push_back(Win1252ToCodePoint(b));
    ++i;
  }
  return out;
}

std::string MessageToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char32_t cp : MessageCodePoints(text)) AppendUtf8(out, cp);
  return out;
}

}  // namespace vey
