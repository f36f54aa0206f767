// TwoDA: builds binary 2DA tables for tests that need a table on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vey::test {

// Rows are labelled by their index; "****" and missing cells are stored empty.
// Every cell text is stored once per cell.
std::vector<std::uint8_t> TwoDA(const std::vector<std::string>& columns,
                                const std::vector<std::vector<std::string>>& rows);

}  // namespace vey::test
