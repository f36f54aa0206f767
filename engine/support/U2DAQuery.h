// U2DAQuery: T2DAQuery, the lookups the 2DA modifiers make over a table (rows
// holding a cell value, the next number above a column or the row labels) and
// the edits they make through it; and decimal arithmetic on digit strings.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/U2DAEdit.h"

namespace vey {

// Digit strings of any length: a + b, and a < b by value.
std::string AddDecimal(std::string_view a, std::string_view b);
bool DecimalLess(std::string_view a, std::string_view b);

// Answers as scans of the whole table would, from indexes built on first use
// and kept in step with the edits made through it. Any change made to the
// table another way (a new load included) is seen through the table's
// revision and drops the indexes.
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
  struct DecimalOrder {
    bool operator()(const std::string& a, const std::string& b) const { return DecimalLess(a, b); }
  };
  // How many cells (labels) hold each number, keyed without leading zeros.
  class Numbers {
   public:
    void Add(const std::string& text, int delta);
    std::string Next() const;

   private:
    std::map<std::string, std::int32_t, DecimalOrder> counts_;
  };
  struct ColumnIndex {
    std::unordered_map<std::string, std::vector<std::int32_t>> rows;  // ascending
    Numbers numbers;
  };

  // Drops the indexes when the table changed behind this object's back.
  void Sync();
  void Synced() { revision_ = table_.Revision(); }
  ColumnIndex& Column(std::int32_t column);
  Numbers& Labels();
  void CellAdded(std::int32_t row, std::int32_t column, const std::string& value);
  void CellRemoved(std::int32_t row, std::int32_t column, const std::string& value);
  void RowAdded(std::int32_t row);

  T2DAHandler& table_;
  std::uint64_t revision_ = 0;
  std::unordered_map<std::int32_t, ColumnIndex> columns_;
  bool labelsBuilt_ = false;
  Numbers labels_;
};

}  // namespace vey
