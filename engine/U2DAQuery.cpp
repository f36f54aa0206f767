// U2DAQuery: lookups over the modifiers' table and digit-string arithmetic.
#include "engine/U2DAQuery.h"

#include <algorithm>

#include "common/UQK_Common.h"

namespace vey {
namespace {

std::string_view WithoutLeadingZeros(std::string_view digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

}  // namespace

bool DecimalLess(std::string_view a, std::string_view b) {
  a = WithoutLeadingZeros(a);
  b = WithoutLeadingZeros(b);
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::string AddDecimal(std::string_view a, std::string_view b) {
  a = WithoutLeadingZeros(a);
  b = WithoutLeadingZeros(b);
  std::string sum;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int digit = carry;
    if (i < a.size()) digit += a[a.size() - 1 - i] - '0';
    if (i < b.size()) digit += b[b.size() - 1 - i] - '0';
    sum.push_back(static_cast<char>('0' + digit % 10));
    carry = digit / 10;
  }
  std::reverse(sum.begin(), sum.end());
  return sum;
}

std::int32_t T2DAQuery::FirstRowWithCell(std::int32_t column, std::string_view value) {
  for (std::int32_t row = 0; row < table_.RowCount(); ++row)
    if (table_.GetCell(row, column) == value) return row;
  return -1;
}

std::vector<std::int32_t> T2DAQuery::RowsWithCell(std::int32_t column, std::string_view value) {
  std::vector<std::int32_t> rows;
  for (std::int32_t row = 0; row < table_.RowCount(); ++row)
    if (table_.GetCell(row, column) == value) rows.push_back(row);
  return rows;
}

std::string T2DAQuery::NextHighestInColumn(std::int32_t column) {
  std::string_view highest = "0";
  for (std::int32_t row = 0; row < table_.RowCount(); ++row) {
    const std::string& cell = table_.GetCell(row, column);
    if (IsDigits(cell) && DecimalLess(highest, cell)) highest = cell;
  }
  return AddDecimal(highest, "1");
}

std::string T2DAQuery::NextHighestRowLabel() {
  std::string_view highest = "0";
  for (std::int32_t row = 0; row < table_.RowCount(); ++row) {
    const std::string& label = table_.GetRowLabel(row);
    if (IsDigits(label) && DecimalLess(highest, label)) highest = label;
  }
  return AddDecimal(highest, "1");
}

std::int32_t T2DAQuery::AddRow() { return table_.AddRow(); }
std::int32_t T2DAQuery::AddColumn() { return table_.AddColumn(); }
std::int32_t T2DAQuery::CopyRow(std::int32_t source, const std::string& label) {
  return table_.CopyRow(source, label);
}
void T2DAQuery::SetCell(std::int32_t row, std::int32_t column, const std::string& value) {
  table_.SetCell(row, column, value);
}
void T2DAQuery::SetRowLabel(std::int32_t row, const std::string& label) {
  table_.SetRowLabel(row, label);
}

}  // namespace vey
