// T2DAHandler: loading limits, lookups, growth and the pooled writer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <random>

#include "common/ByteReader.h"
#include "common/FileIO.h"
#include "formats/U2DAEdit.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using test::Bytes;
using test::ExpectFailure;

// Header, labels and row count of a table; offsets and strings follow.
Bytes Head(std::string_view columnBlock, std::int32_t rows, std::string_view rowBlock) {
  Bytes b;
  b.Ascii("2DA V2.b").U8(0x0A).Ascii(columnBlock).U8(0).I32(rows).Ascii(rowBlock);
  return b;
}

// 2 x 3 table as the writer lays it out: "****" and "abc" shared in reach.
std::vector<std::uint8_t> SmallTable() {
  return Head("label\tname\tcost\t", 2, "0\t1\t")
      .U16(0).U16(2).U16(3)     // row 0: "a"  ""  "abc"
      .U16(7).U16(2).U16(3)     // row 1: "1"  ""  "abc"
      .U8(0x34).U8(0x12)        // data size, deliberately not the real one
      .Ascii("a").U8(0).U8(0).Ascii("abc").U8(0).Ascii("1").U8(0);
}

void LoadBytes(T2DAHandler& t, const std::vector<std::uint8_t>& data, const std::string& name = {}) {
  t.LoadFromBytes(data, name);
}

T2DAHandler Loaded(const std::vector<std::uint8_t>& data, const std::string& name = "t.2da") {
  T2DAHandler t;
  t.LoadFromBytes(data, name);
  return t;
}

TEST(T2DAHandlerLoad, ReadsLabelsCellsAndEmptyTexts) {
  auto t = Loaded(SmallTable());
  ASSERT_TRUE(t.Loaded());
  EXPECT_EQ(t.ColumnCount(), 3);
  EXPECT_EQ(t.RowCount(), 2);
  EXPECT_EQ(t.GetColumnLabel(2), "cost");
  EXPECT_EQ(t.GetRowLabel(1), "1");
  EXPECT_EQ(t.GetCell(0, 0), "a");
  EXPECT_EQ(t.GetCell(0, 1), "****");
  EXPECT_EQ(t.GetCell(0, 2), "abc");
  EXPECT_EQ(t.GetCell(1, 0), "1");
  EXPECT_EQ(t.GetCell(1, 1), "****");
  EXPECT_EQ(t.GetCell(1, 2), "abc");
}

TEST(T2DAHandlerSave, RoundTripsTheLayoutAndKeepsTheDataSizeBytes) {
  auto data = SmallTable();
  auto t = Loaded(data);
  EXPECT_SAME_BYTES(t.SaveToBytes(), data);

  // Growth does not recompute the data-size field either.
  t.AddRow();
  t.AddColumn();
  auto grown = t.SaveToBytes();
  std::size_t at = Head("label\tname\tcost\tColumn4\t", 3, "0\t1\t2\t").Size() + 2 * 12;
  EXPECT_EQ(grown[at], 0x34);
  EXPECT_EQ(grown[at + 1], 0x12);
}

TEST(T2DAHandlerSave, PoolsEqualCellsInWindow) {
  // (1,0) "x" equals (0,1), which lies in a later column: written again.
  // (1,1) "x" shares the text of (0,1), in the same column.
  // (2,1) "a" reuses (0,0), an earlier column of an earlier row.
  // "****" cells share the first empty text within reach.
  T2DAHandler t = Loaded(Head("c0\tc1\t", 1, "0\t").U16(0).U16(0).U8(0).U8(0).U8(0));
  t.AddRow();
  t.AddRow();
  t.SetCell(0, 0, "a");
  t.SetCell(0, 1, "x");
  t.SetCell(1, 0, "x");
  t.SetCell(1, 1, "x");
  t.SetCell(2, 0, "****");
  t.SetCell(2, 1, "a");
  std::vector<std::uint8_t> expected = Head("c0\tc1\t", 3, "0\t1\t2\t")
      .U16(0).U16(2)   // "a" "x"
      .U16(4).U16(2)   // "x" again, then the (0,1) text
      .U16(6).U16(0)   // empty text, "a" of (0,0)
      .U8(0).U8(0)
      .Ascii("a").U8(0).Ascii("x").U8(0).Ascii("x").U8(0).U8(0);
  EXPECT_SAME_BYTES(t.SaveToBytes(), expected);
}

TEST(T2DAHandlerSave, OnlyEmptyCellsGiveOneNul) {
  auto t = Loaded(Head("a\tb\t", 2, "0\t1\t").U16(0).U16(0).U16(0).U16(0).U8(9).U8(9).U8(0));
  EXPECT_EQ(t.GetCell(1, 1), "****");
  std::vector<std::uint8_t> expected =
      Head("a\tb\t", 2, "0\t1\t").U16(0).U16(0).U16(0).U16(0).U8(9).U8(9).U8(0);
  EXPECT_SAME_BYTES(t.SaveToBytes(), expected);
  // An empty text set from outside is another value than "****", though
  // both are stored as a lone NUL: the window keeps them apart.
  t.SetCell(0, 1, "");
  expected = Head("a\tb\t", 2, "0\t1\t").U16(0).U16(1).U16(0).U16(0).U8(9).U8(9).U8(0).U8(0);
  EXPECT_SAME_BYTES(t.SaveToBytes(), expected);
  EXPECT_EQ(Loaded(t.SaveToBytes()).GetCell(0, 1), "****");
}

// The window search done the slow, obvious way, to check the indexed writer
// on tables where first occurrences wander between columns.
std::vector<std::uint16_t> WindowOffsetsByScan(const std::vector<std::vector<std::string>>& cells) {
  std::vector<std::vector<std::uint32_t>> off(cells.size(), std::vector<std::uint32_t>(cells[0].size()));
  std::uint32_t pos = 0;
  std::vector<std::uint16_t> flat;
  for (std::size_t r = 0; r < cells.size(); ++r) {
    for (std::size_t c = 0; c < cells[r].size(); ++c) {
      bool found = false;
      for (std::size_t r2 = 0; r2 <= r && !found; ++r2)
        for (std::size_t c2 = 0; c2 <= c && !found; ++c2) {
          if (r2 == r && c2 == c) break;
          if (cells[r2][c2] == cells[r][c]) {
            off[r][c] = off[r2][c2];
            found = true;
          }
        }
      if (!found) {
        off[r][c] = pos;
        pos += static_cast<std::uint32_t>(cells[r][c] == "****" ? 1 : cells[r][c].size() + 1);
      }
      flat.push_back(static_cast<std::uint16_t>(off[r][c]));
    }
  }
  return flat;
}

// Saves a rows x columns table filled by value(r, c) and checks every offset
// against the scan, and the texts after a reload.
template <typename Value>
void ExpectWindowLayout(std::size_t rows, std::size_t columns, Value value, const std::string& what) {
  std::string colBlock, rowBlock;
  for (std::size_t c = 0; c < columns; ++c) colBlock += "c" + std::to_string(c) + "\t";
  for (std::size_t r = 0; r < rows; ++r) rowBlock += std::to_string(r) + "\t";
  Bytes b = Head(colBlock, static_cast<std::int32_t>(rows), rowBlock);
  b.Zeros(2 * rows * columns).U8(0).U8(0).U8(0);
  T2DAHandler t = Loaded(b);
  std::vector<std::vector<std::string>> cells(rows, std::vector<std::string>(columns));
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < columns; ++c) {
      cells[r][c] = value(r, c);
      t.SetCell(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c), cells[r][c]);
    }
  auto bytes = t.SaveToBytes();
  auto expected = WindowOffsetsByScan(cells);
  std::size_t at = b.Size() - 2 * rows * columns - 3;
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(LoadU16(bytes.data() + at + 2 * i), expected[i]) << what << " cell " << i;
  T2DAHandler back = Loaded(bytes);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < columns; ++c)
      ASSERT_EQ(back.GetCell(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)), cells[r][c]) << what;
}

TEST(T2DAHandlerSave, IndexedPoolingMatchesTheWindowScan) {
  std::mt19937 rng(7);
  const char* alphabet[] = {"****", "a", "b", "cc", "d"};
  for (int round = 0; round < 40; ++round) {
    std::size_t rows = 1 + rng() % 12, columns = 1 + rng() % 7;
    ExpectWindowLayout(rows, columns, [&](std::size_t, std::size_t) { return alphabet[rng() % 5]; },
                       "round " + std::to_string(round));
  }
  // A wide table of mostly distinct texts, with a few repeated ones moving
  // between columns: too many columns x texts for a row of offsets per text.
  ExpectWindowLayout(6, 700, [&](std::size_t, std::size_t) -> std::string {
    unsigned k = rng() % 10;
    return k < 5 ? alphabet[rng() % 5] : "v" + std::to_string(rng() % 20000);
  }, "wide table");
}

TEST(T2DAHandlerSave, SharesATextWrittenAtOffset65535) {
  // Row 1's "****" is written again (its first copy lies in a later column),
  // so the string data reaches 65535 exactly where "z" begins; the second "z"
  // must share it, not send the table to pooling everywhere.
  const std::size_t fillers = 655;
  ExpectWindowLayout(fillers + 5, 2, [&](std::size_t r, std::size_t c) -> std::string {
    if (c == 1) return "****";
    if (r == 0) return "q";
    if (r == 1) return "****";
    if (r < fillers + 2) return std::string(98 - std::to_string(r).size(), 'f') + "-" + std::to_string(r);
    if (r == fillers + 2) return std::string(30, 'g');  // 4 + 65500 + 31 bytes before "z"
    return "z";
  }, "text at 65535");
}

TEST(T2DAHandlerLoad, RefusesTextFormatAndKeepsTable) {
  auto t = Loaded(SmallTable(), "first.2da");
  ExpectFailure<EDead>([&] { LoadBytes(t, test::ToBytes("2DA V2.0\n\nlabel name\n"), "text.2da"); }, 1,
                       "Specified file was a 2DA file but not in binary format. That format is unhandled "
                       "at this time. Unable to load.");
  ExpectFailure<EDead>([&] { LoadBytes(t, test::ToBytes("GFF V3.2 and more"), "x.gff"); }, 2,
                       "Specified file is not a valid binary 2DA file. Unable to load.");
  ExpectFailure<EDead>([&] { LoadBytes(t, test::ToBytes("2DA"), "short"); }, 2,
                       "Specified file is not a valid binary 2DA file. Unable to load.");
  EXPECT_TRUE(t.Loaded());
  EXPECT_EQ(t.GetCell(0, 2), "abc");
  EXPECT_EQ(t.FileName(), "first.2da");
}

TEST(T2DAHandlerLoad, ColumnLabelBlockStopsAt4094Bytes) {
  std::string block(4092, 'x');
  block += '\t';  // 4093 bytes plus the NUL
  auto t = Loaded(Head(block, 0, ""));
  EXPECT_EQ(t.ColumnCount(), 1);
  EXPECT_EQ(t.GetColumnLabel(0).size(), 4092u);

  block.insert(0, "y");
  ExpectFailure<EDead>([&] { LoadBytes(t, Head(block, 0, "")); }, 3,
                       "Malformatted data encountered while reading 2DA! Unable to continue!");
  EXPECT_FALSE(t.Loaded());
}

TEST(T2DAHandlerLoad, RowCountLimitIs9999) {
  std::string rowBlock;
  for (int i = 0; i < 9999; ++i) rowBlock += std::to_string(i) + "\t";
  auto t = Loaded(Head("a\t", 9999, rowBlock).Zeros(2 * 9999).U8(0).U8(0).U8(0));
  EXPECT_EQ(t.RowCount(), 9999);
  EXPECT_EQ(t.GetRowLabel(9998), "9998");
  ExpectFailure<EDead>([&] { LoadBytes(t, Head("a\t", 10000, rowBlock + "9999\t")); }, 4,
                       "Sanity check failed, number of 2DA rows reported as unrealistically large! Load "
                       "aborted.");
  EXPECT_FALSE(t.Loaded());
}

TEST(T2DAHandlerLoad, CellTextLimitIs4095Bytes) {
  std::string text(4095, 'q');
  auto t = Loaded(Head("a\t", 1, "0\t").U16(0).U8(0).U8(0).Ascii(text).U8(0));
  EXPECT_EQ(t.GetCell(0, 0), text);
  ExpectFailure<EDead>([&] { LoadBytes(t, Head("a\t", 1, "0\t").U16(0).U8(0).U8(0).Ascii(text + "q").U8(0)); },
                       6, "Buffer overflow while reading 2DA cell entry. This is very bad.");
  // Without any NUL in reach the text is just as overlong.
  ExpectFailure<EDead>([&] { LoadBytes(t, Head("a\t", 1, "0\t").U16(0).U8(0).U8(0).Ascii(text + "qq")); },
                       6, "Buffer overflow while reading 2DA cell entry. This is very bad.");
}

TEST(T2DAHandlerLoad, CellOffsetsAtAndBeyondTheEnd) {
  // A text starting exactly at the end reads as an empty cell; one byte
  // further is past the end.
  auto t = Loaded(Head("a\tb\t", 1, "0\t").U16(0).U16(2).U8(0).U8(0).Ascii("z").U8(0));
  EXPECT_EQ(t.GetCell(0, 1), "****");
  // A text cut off by the end of the file leaves the cell empty too.
  LoadBytes(t, Head("a\tb\t", 1, "0\t").U16(0).U16(2).U8(0).U8(0).Ascii("z").U8(0).Ascii("cut"));
  EXPECT_EQ(t.GetCell(0, 1), "****");
  ExpectFailure<EDead>([&] { LoadBytes(t, Head("a\tb\t", 1, "0\t").U16(0).U16(3).U8(0).U8(0).Ascii("z").U8(0)); },
                       5, "Attempted to read past end of file while reading 2DA cell entry. Aborting...");
  EXPECT_FALSE(t.Loaded());
}

TEST(T2DAHandlerLoad, RefusesTruncatedAndOverlongStructure) {
  const std::string malformed = "Malformatted data encountered while reading 2DA! Unable to continue!";
  T2DAHandler t;
  std::vector<std::vector<std::uint8_t>> bad = {
      Bytes().Ascii("2DA V2.b"),                                  // nothing after the signature
      Bytes().Ascii("2DA V2.b\na\tb\t"),                          // no end of the column labels
      Head("a\t", 2, "0\t1"),                                     // ends inside the row labels
      Head("a\t", 3, "0\t"),                                      // claims more rows than bytes
      Head("a\t", 1, std::string(4096, 'r') + "\t").U16(0).U8(0).U8(0).U8(0),  // row label too long
      Head("a\tb\t", 2, "0\t1\t").U16(0).U16(0).U16(0),             // offset table cut short
      Head("a\t", 1, "0\t").U16(0).U8(0),                          // data-size field cut short
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectFailure<EDead>([&] { LoadBytes(t, bad[i]); }, 3, malformed);
    EXPECT_FALSE(t.Loaded());
  }
  // A row label of 4095 bytes is still fine.
  LoadBytes(t, Head("a\t", 1, std::string(4095, 'r') + "\t").U16(0).U8(0).U8(0).U8(0));
  EXPECT_EQ(t.GetRowLabel(0).size(), 4095u);
}

TEST(T2DAHandlerLoad, EmptyTablesLoadButDoNotSave) {
  auto t = Loaded(Head("a\tb\t", 0, ""));
  EXPECT_EQ(t.RowCount(), 0);
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 28, "The open 2da file is empty. There is no point in saving it.");
  t.AddRow();
  EXPECT_SAME_BYTES(t.SaveToBytes(), Head("a\tb\t", 1, "0\t").U16(0).U16(0).U8(0).U8(0).U8(0).Build());

  // A negative row count means no rows, not a negative count.
  LoadBytes(t, Head("a\t", -5, ""));
  EXPECT_EQ(t.RowCount(), 0);
  EXPECT_EQ(t.AddRow(), 0);
}

TEST(T2DAHandlerLookup, FindsLabelsInAnyCaseAndFollowsEdits) {
  auto t = Loaded(Head("Label\tNAME\tlabel\t", 2, "Alpha\tbeta\t").Zeros(12).U8(0).U8(0).U8(0), "spells.2da");
  EXPECT_EQ(t.ColumnIndexOf("label"), 0);
  EXPECT_EQ(t.ColumnIndexOf("name"), 1);
  EXPECT_EQ(t.RowIndexOf("ALPHA"), 0);
  EXPECT_EQ(t.RowIndexOf("Beta"), 1);

  // Renaming the first of two equal labels exposes the second; renaming it
  // back restores the first.
  t.SetColumnLabel(0, "other");
  EXPECT_EQ(t.ColumnIndexOf("LABEL"), 2);
  EXPECT_EQ(t.ColumnIndexOf("Other"), 0);
  t.SetColumnLabel(0, "LaBeL");
  EXPECT_EQ(t.ColumnIndexOf("label"), 0);

  EXPECT_EQ(t.AddColumn(), 3);
  EXPECT_EQ(t.GetColumnLabel(3), "Column4");
  EXPECT_EQ(t.ColumnIndexOf("column4"), 3);

  EXPECT_EQ(t.AddRow(), 2);
  EXPECT_EQ(t.RowIndexOf("2"), 2);
  t.SetRowLabel(2, "Gamma");
  EXPECT_EQ(t.RowIndexOf("gamma"), 2);
  ExpectFailure<EDead>([&] { t.RowIndexOf("2"); }, 10, "Unable to find a row matching the label 2!");
  EXPECT_EQ(t.CopyRow(0, "alpha"), 3);
  EXPECT_EQ(t.RowIndexOf("Alpha"), 0);  // the first of the two
  t.SetRowLabel(0, "zero");
  EXPECT_EQ(t.RowIndexOf("Alpha"), 3);

  ExpectFailure<EDead>([&] { t.ColumnIndexOf("missing"); }, 8,
                       "Unable to find a column matching the label missing in spells.2da!");
  // A fresh load drops the old labels.
  LoadBytes(t, Head("x\t", 0, ""), "other.2da");
  ExpectFailure<EDead>([&] { t.ColumnIndexOf("label"); }, 8,
                       "Unable to find a column matching the label label in other.2da!");
}

TEST(T2DAHandlerEdit, GrowsByRowsColumnsAndCopies) {
  auto t = Loaded(SmallTable());
  EXPECT_EQ(t.AddColumn(), 3);
  EXPECT_EQ(t.GetCell(0, 2), "abc");  // cells keep their places
  EXPECT_EQ(t.GetCell(1, 0), "1");
  EXPECT_EQ(t.GetCell(1, 3), "****");
  EXPECT_EQ(t.CopyRow(-1, "x"), -1);
  EXPECT_EQ(t.CopyRow(2, "x"), -1);
  EXPECT_EQ(t.RowCount(), 2);
  EXPECT_EQ(t.CopyRow(1, ""), 2);
  EXPECT_EQ(t.GetRowLabel(2), "2");
  EXPECT_EQ(t.GetCell(2, 0), "1");
  EXPECT_EQ(t.CopyRow(0, "copy"), 3);
  EXPECT_EQ(t.GetRowLabel(3), "copy");
  EXPECT_EQ(t.GetCell(3, 2), "abc");
  EXPECT_EQ(t.GetCell(3, 0), "a");
}

TEST(T2DAHandlerEdit, RefusesWhenNotLoadedAndChecksIndexes) {
  T2DAHandler t;
  const std::string noTable = "No 2da file has been loaded. ";
  ExpectFailure<EDead>([&] { t.ColumnIndexOf("a"); }, 7, noTable + "Unable to look up column labels.");
  ExpectFailure<EDead>([&] { t.RowIndexOf("a"); }, 9, noTable + "Unable to look up column labels.");
  ExpectFailure<EDead>([&] { t.RowCount(); }, 11, noTable + "Unable to look up row count.");
  ExpectFailure<EDead>([&] { t.ColumnCount(); }, 12, noTable + "Unable to look up column count.");
  ExpectFailure<EDead>([&] { t.GetColumnLabel(0); }, 13, noTable + "Unable to look up column label.");
  ExpectFailure<EDead>([&] { t.GetRowLabel(0); }, 15, noTable + "Unable to look up row label.");
  ExpectFailure<EDead>([&] { t.GetCell(0, 0); }, 17, noTable + "Unable to look up cell value.");
  ExpectFailure<EDead>([&] { t.SetColumnLabel(0, ""); }, 20, noTable + "Unable to set column label.");
  ExpectFailure<EDead>([&] { t.SetRowLabel(0, ""); }, 22, noTable + "Unable to set row label.");
  ExpectFailure<EDead>([&] { t.SetCell(0, 0, ""); }, 24, noTable + "Unable to set cell value.");
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 27, "No 2da file has been loaded that can be saved.");
  ExpectFailure<EDead>([&] { t.AddColumn(); }, 29, noTable + "Unable to look up column labels.");
  ExpectFailure<EDead>([&] { t.CopyRow(0, ""); }, 30, noTable + "Unable to look up column labels.");
  ExpectFailure<EDead>([&] { t.AddRow(); }, 31, noTable + "Unable to look up column labels.");

  LoadBytes(t, SmallTable());
  ExpectFailure<EDead>([&] { t.GetColumnLabel(3); }, 14, "Invalid column index specified, unable to look up column label.");
  ExpectFailure<EDead>([&] { t.GetRowLabel(-1); }, 16, "Invalid row index specified, unable to look up row label.");
  // The row is checked before the column.
  ExpectFailure<EDead>([&] { t.GetCell(2, 9); }, 18, "Invalid row index specified, unable to look up cell value.");
  ExpectFailure<EDead>([&] { t.GetCell(1, 3); }, 19, "Invalid column index specified, unable to look up cell value.");
  ExpectFailure<EDead>([&] { t.SetColumnLabel(-1, ""); }, 21, "Invalid column index specified, unable to set column label.");
  ExpectFailure<EDead>([&] { t.SetRowLabel(2, ""); }, 23, "Invalid row index specified, unable to set row label.");
  ExpectFailure<EDead>([&] { t.SetCell(-1, -1, ""); }, 25, "Invalid row index specified, unable to set cell value.");
  ExpectFailure<EDead>([&] { t.SetCell(0, 3, ""); }, 26, "Invalid column index specified, unable to set cell value.");
}

// A table of 1 column whose rows hold distinct texts of the given length.
T2DAHandler DistinctTexts(int rows, std::size_t length, bool repeatInLaterColumn) {
  auto t = Loaded(Head("a\t", 1, "0\t").U16(0).U8(0).U8(0).U8(0));
  if (repeatInLaterColumn) t.AddColumn();
  for (int r = 0; r < rows; ++r) {
    if (r > 0) t.AddRow();
    std::string text = std::to_string(r);
    text.resize(length, '.');
    // The repeat sits left of its first occurrence, outside the window.
    if (repeatInLaterColumn) {
      t.SetCell(r, 1, text);
      t.SetCell(r, 0, r > 0 ? t.GetCell(r - 1, 1) : "****");
    } else {
      t.SetCell(r, 0, text);
    }
  }
  return t;
}

TEST(T2DAHandlerSave, PoolsEverythingWhenTheWindowOverflows) {
  // 500 texts of 99 bytes: 50,000 bytes once, 100,000 with the window.
  auto t = DistinctTexts(500, 99, true);
  auto bytes = t.SaveToBytes();
  auto back = Loaded(bytes);
  for (int r = 0; r < 500; ++r) {
    ASSERT_EQ(back.GetCell(r, 0), t.GetCell(r, 0));
    ASSERT_EQ(back.GetCell(r, 1), t.GetCell(r, 1));
  }
  EXPECT_LT(bytes.size(), 60000u);
}

TEST(T2DAHandlerSave, RefusesTooMuchTextBeforeTouchingTheFile) {
  test::TempDir dir;
  auto target = dir.Write("big.2da", "old");
  auto t = DistinctTexts(700, 99, false);  // 70,000 distinct bytes
  ExpectFailure<EDead>([&] { t.SaveToFile(target); }, T2DAHandler::kCodeStringDataOverflow,
                       "The cell texts of the 2DA table need more than the 65535 bytes of string data "
                       "that its 16-bit offsets can address. Unable to save.");
  EXPECT_EQ(dir.Read("big.2da"), "old");

  // The last text may start at 65535 and run beyond it.
  auto fits = DistinctTexts(656, 99, false);  // 655 x 100 = 65,500 before the last
  EXPECT_NO_THROW(fits.SaveToBytes());
}

TEST(T2DAHandlerSave, RefusesTextsTheFormatCannotHold) {
  const std::string message =
      "A 2DA label or cell text is longer than 4095 bytes, or a label holds a tab (or a column label a "
      "NUL), which the file format cannot store. Unable to save.";
  auto t = Loaded(SmallTable());
  t.SetCell(0, 0, std::string(4095, 'c'));
  EXPECT_NO_THROW(t.SaveToBytes());
  t.SetCell(0, 0, std::string(4096, 'c'));
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 3, message);
  t.SetCell(0, 0, "cell\twith tab is fine");
  t.SetRowLabel(1, std::string(4095, 'r'));
  EXPECT_NO_THROW(t.SaveToBytes());
  t.SetRowLabel(1, std::string(4096, 'r'));
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 3, message);
  t.SetRowLabel(1, "row\tlabel");
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 3, message);
  t.SetRowLabel(1, std::string("nul\0ok", 6));
  t.SetColumnLabel(0, std::string("nul\0bad", 7));
  ExpectFailure<EDead>([&] { t.SaveToBytes(); }, 3, message);
}

TEST(T2DAHandlerFile, ReplacesReadOnlyTargetsWholeOrNotAtAll) {
  test::TempDir dir;
  auto path = dir.Write("t.2da", SmallTable());
  T2DAHandler t;
  t.LoadFromFile(path);
  EXPECT_EQ(t.FileName(), path.string());
  t.SetCell(0, 0, "changed");
  ::chmod(path.c_str(), 0444);
  t.SaveToFile(path);
  T2DAHandler back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.GetCell(0, 0), "changed");

  // A write that fails part way (the file-size limit stops it) leaves the
  // old file whole and no stray file beside it.
  auto before = dir.Read("t.2da");
  for (int r = 0; r < 200; ++r) t.SetCell(t.AddRow(), 1, "row " + std::to_string(r));
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ::setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(t.SaveToFile(path), EFCreateError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(dir.Read("t.2da"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  // A file that cannot be opened keeps the table.
  EXPECT_THROW(t.LoadFromFile(dir / "missing.2da"), EFOpenError);
  EXPECT_TRUE(t.Loaded());
}

// The cells noted as they change are the cells a whole comparison with the
// table as loaded finds (new rows and columns against empty cells), in row
// then column order, whatever the mix of edits.
TEST(T2DAHandlerChanges, ChangedCellsAreThoseThatDifferFromTheLoadedTable) {
  const std::vector<std::string> texts{"a", "abc", "1", "****", "", "x", "y"};
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto before = Loaded(SmallTable());
    auto t = Loaded(SmallTable());
    t.KeepChanges();
    for (int step = 0; step < 12; ++step) {
      switch (pick(6)) {
        case 0: t.AddRow(); break;
        case 1: t.CopyRow(pick(static_cast<std::size_t>(t.RowCount())), ""); break;
        case 2: t.AddColumn(); break;
        default:
          t.SetCell(pick(static_cast<std::size_t>(t.RowCount())), pick(static_cast<std::size_t>(t.ColumnCount())),
                    texts[static_cast<std::size_t>(pick(texts.size()))]);
      }
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> expected;
    for (std::int32_t r = 0; r < t.RowCount(); ++r)
      for (std::int32_t c = 0; c < t.ColumnCount(); ++c) {
        const std::string& now = t.GetCell(r, c);
        const bool old = r < before.RowCount() && c < before.ColumnCount();
        if (old ? now != before.GetCell(r, c) : !(now.empty() || now == "****")) expected.emplace_back(r, c);
      }
    EXPECT_EQ(t.ChangedCells(), expected);
  }
  // A load ends the noting.
  auto t = Loaded(SmallTable());
  t.KeepChanges();
  t.SetCell(0, 0, "z");
  t.LoadFromBytes(SmallTable());
  t.SetCell(0, 0, "z");
  EXPECT_TRUE(t.ChangedCells().empty());
}

}  // namespace
}  // namespace vey
