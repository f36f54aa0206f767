// Fuzz harness for the talk-table reader and writer: whatever loads must save
// and load back with the same entries.
#include <cstdint>
#include <cstdlib>

#include "formats/UTLKFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vey::TTLKFileHandler table;
  try {
    table.LoadFromBytes({data, size});
  } catch (const vey::EHell&) {
    return 0;
  }
  std::vector<std::uint8_t> saved = table.SaveToBytes();
  vey::TTLKFileHandler again;
  again.LoadFromBytes(saved);
  if (again.Count() != table.Count()) std::abort();
  for (std::uint32_t i = 0; i < table.Count(); ++i) {
    const auto& a = table.Entries()[i];
    const auto& b = again.Entries()[i];
    if (a.Text() != b.Text() || a.Flags() != b.Flags() || a.SoundResRef() != b.SoundResRef() ||
        a.SoundLengthBits() != b.SoundLengthBits() || b.StringSize() != b.Text().size())
      std::abort();
    auto found = again.FindIdentical(b);
    if (found && *found > i) std::abort();
  }
  if (again.SaveToBytes() != saved) std::abort();
  return 0;
}
