// U2DAQuery: indexed lookups over the modifiers' table and digit-string
// arithmetic.
#include "engine/support/U2DAQuery.h"

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

void T2DAQuery::Numbers::Add(const std::string& text, int delta) {
  if (!IsDigits(text)) return;
  auto [it, added] = counts_.try_emplace(std::string(WithoutLeadingZeros(text)), 0);
  it->second += delta;
  if (it->second <= 0) counts_.erase(it);
}

std::string T2DAQuery::Numbers::Next() const {
  return AddDecimal(counts_.empty() ? "0" : counts_.rbegin()->first, "1");
}

void T2DAQuery::Sync() {
  if (revision_ == table_.Revision()) return;
  columns_.clear();
  labelsBuilt_ = false;
  labels_ = Numbers();
  Synced();
}

T2DAQuery::ColumnIndex& T2DAQuery::Column(std::int32_t column) {
  Sync();
  // Only a column of the table gets an index; an index kept for any other
  // would fail at the next new row.
  if (column < 0 || column >= table_.ColumnCount())
    throw EDead("Invalid column index specified, unable to look up cell value.", 19);
  auto [it, added] = columns_.try_emplace(column);
  if (added) {
    const std::int32_t rows = table_.RowCount();
    for (std::int32_t row = 0; row < rows; ++row) {
      const std::string& cell = table_.GetCell(row, column);
      it->second.rows[cell].push_back(row);
      it->second.numbers.Add(cell, 1);
    }
  }
  return it->second;
}

T2DAQuery::Numbers& T2DAQuery::Labels() {
  Sync();
  if (!labelsBuilt_) {
    for (std::int32_t row = 0; row < table_.RowCount(); ++row) labels_.Add(table_.GetRowLabel(row), 1);
    labelsBuilt_ = true;
  }
  return labels_;
}

std::int32_t T2DAQuery::FirstRowWithCell(std::int32_t column, std::string_view value) {
  ColumnIndex& index = Column(column);
  auto it = index.rows.find(std::string(value));
  return it == index.rows.end() || it->second.empty() ? -1 : it->second.front();
}

std::vector<std::int32_t> T2DAQuery::RowsWithCell(std::int32_t column, std::string_view value) {
  ColumnIndex& index = Column(column);
  auto it = index.rows.find(std::string(value));
  return it == index.rows.end() ? std::vector<std::int32_t>{} : it->second;
}

std::string T2DAQuery::NextHighestInColumn(std::int32_t column) { return Column(column).numbers.Next(); }

std::string T2DAQuery::NextHighestRowLabel() { return Labels().Next(); }

void T2DAQuery::CellAdded(std::int32_t row, std::int32_t column, const std::string& value) {
  auto it = columns_.find(column);
  if (it == columns_.end()) return;
  std::vector<std::int32_t>& rows = it->second.rows[value];
  // New rows come last, so this is nearly always an append.
  rows.insert(std::lower_bound(rows.begin(), rows.end(), row), row);
  it->second.numbers.Add(value, 1);
}

void T2DAQuery::CellRemoved(std::int32_t row, std::int32_t column, const std::string& value) {
  auto it = columns_.find(column);
  if (it == columns_.end()) return;
  auto holders = it->second.rows.find(value);
  if (holders != it->second.rows.end()) {
    std::vector<std::int32_t>& rows = holders->second;
    auto at = std::lower_bound(rows.begin(), rows.end(), row);
    if (at != rows.end() && *at == row) rows.erase(at);
    if (rows.empty()) it->second.rows.erase(holders);
  }
  it->second.numbers.Add(value, -1);
}

void T2DAQuery::RowAdded(std::int32_t row) {
  for (auto& [column, index] : columns_) CellAdded(row, column, table_.GetCell(row, column));
  if (labelsBuilt_) labels_.Add(table_.GetRowLabel(row), 1);
}

std::int32_t T2DAQuery::AddRow() {
  Sync();
  const std::int32_t row = table_.AddRow();
  RowAdded(row);
  Synced();
  return row;
}

std::int32_t T2DAQuery::AddColumn() {
  Sync();
  // A new column is indexed when first asked about; the others keep theirs.
  const std::int32_t column = table_.AddColumn();
  Synced();
  return column;
}

std::int32_t T2DAQuery::CopyRow(std::int32_t source, const std::string& label) {
  Sync();
  const std::int32_t row = table_.CopyRow(source, label);
  if (row >= 0) RowAdded(row);
  Synced();
  return row;
}

void T2DAQuery::SetCell(std::int32_t row, std::int32_t column, const std::string& value) {
  Sync();
  const std::string old = table_.GetCell(row, column);
  table_.SetCell(row, column, value);
  CellRemoved(row, column, old);
  CellAdded(row, column, value);
  Synced();
}

void T2DAQuery::SetRowLabel(std::int32_t row, const std::string& label) {
  Sync();
  const std::string old = table_.GetRowLabel(row);
  table_.SetRowLabel(row, label);
  if (labelsBuilt_) {
    labels_.Add(old, -1);
    labels_.Add(label, 1);
  }
  Synced();
}

}  // namespace vey
