// TextEncoding: byte-order marks, the UTF-8 look test and the lossy conversion.
#include "common/TextEncoding.h"

#include "common/Win1252.h"

namespace vey {
namespace {

// The Windows-1252 byte of a code point, or 0 when the code page has none.
unsigned char Win1252ByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (unsigned b = 0x80; b < 0xA0; ++b)
    if (Win1252ToCodePoint(static_cast<unsigned char>(b)) == cp) return static_cast<unsigned char>(b);
  return 0;
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point;
// 0 when the bytes there are not one (overlong forms and surrogates included).
std::size_t Utf8Sequence(std::string_view text, std::size_t i, char32_t& cp) {
  auto b = static_cast<unsigned char>(text[i]);
  std::size_t extra = 0;
  char32_t min = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1, min = 0x80, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2, min = 0x800, cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3, min = 0x10000, cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + extra >= text.size()) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

}  // namespace

TTextEncoding DetectTextEncoding(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return TTextEncoding::Utf8;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return TTextEncoding::Utf16;
  return TTextEncoding::Windows1252;
}

bool LooksLikeUtf8(std::string_view text) {
  bool multiByte = false;
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    char32_t cp = 0;
    std::size_t n = Utf8Sequence(text, i, cp);
    if (n == 0) return false;
    multiByte = true;
    i += n;
  }
  return multiByte;
}

std::string Utf8ToWin1252Lossy(std::string_view text, std::vector<std::size_t>* lostAt) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    char32_t cp = 0;
    std::size_t n = b < 0x80 ? 0 : Utf8Sequence(text, i, cp);
    if (n == 0) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    unsigned char mapped = Win1252ByteOf(cp);
    if (mapped == 0) {
      if (lostAt) lostAt->push_back(out.size());
      out.push_back('?');
    } else {
      out.push_back(static_cast<char>(mapped));
    }
    i += n;
  }
  return out;
}

std::string Utf16FileMessage(std::string_view fileName) {
  std::string text = "The instruction file \"";
  text += fileName;
  text += "\" is saved as UTF-16 text, which the installer cannot read. "
          "Save it as Windows-1252 or as UTF-8 and try again.";
  return text;
}

}  // namespace vey
