// Fuzzes the information-text reader: any bytes give a document whose text
// is valid UTF-8 without control characters (nothing can reach a terminal as
// an escape sequence), within the reader's bounds, and printable as plain text.
// Seeds: tests/formats/data/*.rtf; words: -dict=fuzz/rtf_reader.dict.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/URtfReader.h"

namespace {

void CheckShown(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F) std::abort();
      ++i;
      continue;
    }
    std::size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > text.size()) std::abort();
    char32_t cp = b & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) std::abort();
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < 0xA0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) std::abort();
    i += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vey::rtf::Document doc = vey::rtf::ReadRtf({data, size});
  std::size_t textBytes = 0;
  for (const auto& paragraph : doc.paragraphs) {
    CheckShown(paragraph.style.listMarker);
    for (const auto& run : paragraph.runs) {
      if (run.text.find('\n') != std::string::npos) std::abort();  // breaks are paragraphs or U+2028
      CheckShown(run.text);
      CheckShown(run.style.link);
      CheckShown(run.style.fontName);
      textBytes += run.text.size();
    }
  }
  // Every shown character costs at least one input byte and takes at most four.
  if (textBytes > 4 * size + 4) std::abort();
  CheckShown(vey::rtf::PlainText(doc));
  return 0;
}
