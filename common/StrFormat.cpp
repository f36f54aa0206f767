// StrFormat: "%s" substitution for message texts.
#include "common/StrFormat.h"

#include <charconv>

namespace vey {

std::string FormatMsg(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      if (next != args.end()) out.append(*next++);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

std::string IntToStr(std::int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

namespace {
constexpr bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }
}  // namespace

bool HasControlCharacter(std::string_view text) {
  for (char c : text)
    if (IsControl(c)) return true;
  return false;
}

std::string ShowControlCharacters(std::string_view text, bool tabsToo) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (!IsControl(c) || (c == '\t' && !tabsToo)) {
      out.push_back(c);
      continue;
    }
    const auto b = static_cast<unsigned char>(c);
    out += '<';
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
    out += '>';
  }
  return out;
}

}  // namespace vey
