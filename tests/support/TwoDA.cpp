// TwoDA: binary 2DA tables for engine and command-line tests.
#include "support/TwoDA.h"

#include "support/TestSupport.h"

namespace vey::test {

std::vector<std::uint8_t> TwoDA(const std::vector<std::string>& columns,
                                const std::vector<std::vector<std::string>>& rows) {
  Bytes b;
  b.Ascii("2DA V2.b").U8(0x0A);
  for (const auto& c : columns) b.Ascii(c).U8('\t');
  b.U8(0).I32(static_cast<std::int32_t>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) b.Ascii(std::to_string(r)).U8('\t');
  std::string data;
  std::vector<std::uint16_t> offsets;
  for (const auto& row : rows)
    for (std::size_t c = 0; c < columns.size(); ++c) {
      offsets.push_back(static_cast<std::uint16_t>(data.size()));
      std::string cell = c < row.size() && row[c] != "****" ? row[c] : "";
      data += cell;
      data += '\0';
    }
  for (auto o : offsets) b.U16(o);
  b.U16(static_cast<std::uint16_t>(data.size()));
  b.Ascii(data);
  return b.Build();
}

}  // namespace vey::test
