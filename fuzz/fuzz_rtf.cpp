// Fuzzes the RTF log writer: any line text must give a document of printable
// ASCII whose braces balance, so that no text can break out of its paragraph.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/LogViews.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vey::platform::RichTextLog log;
  vey::platform::TextAttributes a;
  // Lines split at NUL; the first byte of each picks a font name and weight.
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty()) {
      a.bold = line[0] & 1;
      a.fontName = (line[0] & 2) ? std::string(line.substr(0, 8)) : "Courier New";
      a.color = {static_cast<std::uint8_t>(line[0]), 2, 3};
    }
    log.SetAttributes(a);
    log.AppendLine(line);
    start = end + 1;
  }
  std::string rtf = log.ToRtf();
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    auto c = static_cast<unsigned char>(rtf[i]);
    if ((c < 0x20 || c >= 0x7F) && c != '\r' && c != '\n') std::abort();
    if (c == '\\') {
      ++i;  // an escaped character never opens or closes a group
      continue;
    }
    if (c == '{') ++depth;
    if (c == '}' && --depth < 0) std::abort();
  }
  if (depth != 0) std::abort();
  return 0;
}
