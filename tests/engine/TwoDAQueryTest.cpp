// The modifiers' table lookups: indexed answers equal those of whole-table
// scans through every kind of edit and a reload; digit-string arithmetic.
#include <gtest/gtest.h>

#include <random>

#include "engine/support/U2DAQuery.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

std::int32_t ScanFirst(const T2DAHandler& t, std::int32_t column, const std::string& value) {
  for (std::int32_t r = 0; r < t.RowCount(); ++r)
    if (t.GetCell(r, column) == value) return r;
  return -1;
}

std::vector<std::int32_t> ScanAll(const T2DAHandler& t, std::int32_t column, const std::string& value) {
  std::vector<std::int32_t> rows;
  for (std::int32_t r = 0; r < t.RowCount(); ++r)
    if (t.GetCell(r, column) == value) rows.push_back(r);
  return rows;
}

std::string ScanNext(const std::vector<std::string>& texts) {
  std::string highest = "0";
  for (const std::string& text : texts) {
    bool digits = !text.empty();
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    if (digits && DecimalLess(highest, text)) highest = text;
  }
  return AddDecimal(highest, "1");
}

TEST(T2DAQueryAnswers, MatchScansThroughEditsAndReloads) {
  const std::vector<std::string> values = {"****", "1", "01", "7", "x", "12", "-3", "", "007", "12"};
  std::mt19937 random(12345);
  auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(random() % n); };
  auto value = [&] { return values[static_cast<std::size_t>(pick(values.size()))]; };

  T2DAHandler table;
  table.LoadFromBytes(TwoDA({"a", "b"}, {{"1", "x"}, {"7", "1"}, {"x", "007"}}));
  T2DAQuery query(table);
  for (int step = 0; step < 3000; ++step) {
    const std::int32_t rows = table.RowCount(), columns = table.ColumnCount();
    switch (pick(9)) {
      case 0: query.AddRow(); break;
      case 1: query.CopyRow(pick(rows + 1), pick(2) ? "" : value()); break;
      case 2: if (columns < 5) query.AddColumn(); break;
      case 3: query.SetRowLabel(pick(rows), value()); break;
      case 4:
        // Changes made past the query, as a load is, must be noticed.
        if (step % 50 == 4) table.SetCell(pick(rows), pick(columns), value());
        if (step % 500 == 4)
          table.LoadFromBytes(TwoDA({"a", "b"}, {{"12", "x"}, {"-3", "7"}}));
        break;
      default: query.SetCell(pick(table.RowCount()), pick(table.ColumnCount()), value());
    }
    const std::int32_t column = pick(table.ColumnCount());
    const std::string wanted = value();
    ASSERT_EQ(query.FirstRowWithCell(column, wanted), ScanFirst(table, column, wanted)) << step;
    ASSERT_EQ(query.RowsWithCell(column, wanted), ScanAll(table, column, wanted)) << step;
    std::vector<std::string> cells, labels;
    for (std::int32_t r = 0; r < table.RowCount(); ++r) {
      cells.push_back(table.GetCell(r, column));
      labels.push_back(table.GetRowLabel(r));
    }
    ASSERT_EQ(query.NextHighestInColumn(column), ScanNext(cells)) << step;
    ASSERT_EQ(query.NextHighestRowLabel(), ScanNext(labels)) << step;
  }
}

TEST(T2DAQueryAnswers, RefusesColumnsOutsideTheTable) {
  T2DAHandler table;
  table.LoadFromBytes(TwoDA({"a"}, {}));
  T2DAQuery query(table);
  ExpectFailure<EDead>([&] { query.FirstRowWithCell(1, "x"); }, 19,
                       "Invalid column index specified, unable to look up cell value.");
  // Nothing was kept for the bad column, so rows can still be added.
  EXPECT_EQ(query.AddRow(), 0);
  EXPECT_EQ(query.FirstRowWithCell(0, "****"), 0);
}

TEST(DecimalText, AddsAndOrdersAnyLength) {
  EXPECT_EQ(AddDecimal("999", "1"), "1000");
  EXPECT_EQ(AddDecimal("0007", "3"), "10");
  EXPECT_EQ(AddDecimal("18446744073709551615", "1"), "18446744073709551616");
  EXPECT_TRUE(DecimalLess("9", "10"));
  EXPECT_TRUE(DecimalLess("0009", "10"));
  EXPECT_FALSE(DecimalLess("010", "10"));
  EXPECT_FALSE(DecimalLess("10", "9"));
}

}  // namespace
}  // namespace vey::test
