// Fuzz harness for the 2DA reader and writer: whatever loads must save and
// load back to the same table.
#include <cstdint>
#include <cstdlib>

#include "formats/U2DAEdit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vey::T2DAHandler table;
  try {
    table.LoadFromBytes({data, size}, "fuzz.2da");
  } catch (const vey::EDead&) {
    return 0;
  }
  std::vector<std::uint8_t> saved;
  try {
    saved = table.SaveToBytes();
  } catch (const vey::EDead&) {
    return 0;  // empty tables, texts the format cannot hold, string data overflow
  }
  vey::T2DAHandler again;
  again.LoadFromBytes(saved, "again.2da");
  if (again.RowCount() != table.RowCount() || again.ColumnCount() != table.ColumnCount()) std::abort();
  for (std::int32_t r = 0; r < table.RowCount(); ++r) {
    if (again.GetRowLabel(r) != table.GetRowLabel(r)) std::abort();
    for (std::int32_t c = 0; c < table.ColumnCount(); ++c)
      if (again.GetCell(r, c) != table.GetCell(r, c)) std::abort();
  }
  if (again.SaveToBytes() != saved) std::abort();
  return 0;
}
