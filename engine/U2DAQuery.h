// U2DAQuery: T2DAQuery, the lookups the 2DA modifiers make over a table (rows
// holding a cell value, the next number above a column or the row labels) and
// the edits they make through it; and decimal arithmetic on digit strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/U2DAEdit.h"

namespace vey {

// Digit strings of any length: a + b, and the larger of the two by value.
std::string AddDecimal(std::string_view a, std::string_view b);
bool DecimalLess(std::string_view a, std::string_view b);

class T2DAQuery {
 public:
  explicit T2DAQuery(T2DAHandler& table) : table_(table) {}

  // The first row whose cell in column equals value exactly; -1 when none.
  std::int32_t FirstRowWithCell(std::int32_t column, std::string_view value);
  // Every such row, ascending.
  std::vector<std::int32_t> RowsWithCell(std::int32_t column, std::string_view value);
  // One more than the largest cell (row label) made of digits alone; "1"
  // when there is none.
  std::string NextHighestInColumn(std::int32_t column);
  std::string NextHighestRowLabel();

  std::int32_t AddRow();
  std::int32_t AddColumn();
  std::int32_t CopyRow(std::int32_t source, const std::string& label);
  void SetCell(std::int32_t row, std::int32_t column, const std::string& value);
  void SetRowLabel(std::int32_t row, const std::string& label);

 private:
  T2DAHandler& table_;
};

}  // namespace vey
