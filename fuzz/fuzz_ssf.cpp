// Fuzz harness for the soundset reader and writer.
#include <cstdint>
#include <cstdlib>

#include "formats/USSFFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vey::TSSFFile set;
  try {
    set.LoadFromBytes({data, size});
  } catch (const vey::ESSFError&) {
    return 0;
  }
  std::vector<std::uint8_t> saved = set.SaveToBytes();
  if (saved.size() != vey::TSSFFile::kFileSize) std::abort();
  vey::TSSFFile again;
  again.LoadFromBytes(saved);
  if (again.Values() != set.Values() || again.SaveToBytes() != saved) std::abort();
  return 0;
}
