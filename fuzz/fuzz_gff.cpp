// GFF reader fuzzing: any input either loads or raises EGFFError; what loads
// saves, reloads, and saves again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/UGFFFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vey::TGFFFile doc;
  try {
    doc.LoadFromBytes(std::span<const std::uint8_t>(data, size));
  } catch (const vey::EGFFError&) {
    return 0;
  }
  std::vector<std::uint8_t> first = doc.SaveToBytes();
  vey::TGFFFile again;
  again.LoadFromBytes(first);  // a file we wrote must load: no catch here
  if (again.SaveToBytes() != first) std::abort();
  return 0;
}
