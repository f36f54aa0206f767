// Fuzzes the registry file reader: any text, looked up under keys taken from
// the text itself, must neither crash nor read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/WineRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The first line names the key, the second the value; the rest is the file.
  std::size_t a = text.find('\n');
  std::size_t b = a == std::string_view::npos ? a : text.find('\n', a + 1);
  if (b == std::string_view::npos) return 0;
  std::string_view key = text.substr(0, a);
  std::string_view name = text.substr(a + 1, b - a - 1);
  (void)vey::platform::WineRegistry::FindString(text.substr(b + 1), key, name);
  return 0;
}
