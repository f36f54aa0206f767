// The text form of 2DA tables read into T2DAHandler (dump and diff use it;
// installation keeps refusing it).
#include <gtest/gtest.h>

#include "formats/U2DAEdit.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey {
namespace {

T2DAHandler FromText(std::string_view text) {
  T2DAHandler t;
  t.LoadFromTextBytes(test::ToBytes(text), "t.2da");
  return t;
}

std::vector<std::string> Row(const T2DAHandler& t, int r) {
  std::vector<std::string> cells{t.GetRowLabel(r)};
  for (int c = 0; c < t.ColumnCount(); ++c) cells.push_back(t.GetCell(r, c));
  return cells;
}

TEST(TwoDAText, ReadsLabelsQuotedCellsAndFillsMissingOnes) {
  const T2DAHandler t = FromText(
      "2DA V2.0\r\n"
      "DEFAULT: ****\r\n"
      "      label      name   desc\r\n"
      "0     Long_Sword 1001   \"A fine blade\"\r\n"
      "\r\n"
      "1\t\"\"\t****\r\n"
      "2 Dagger");
  ASSERT_TRUE(t.Loaded());
  EXPECT_EQ(t.ColumnCount(), 3);
  EXPECT_EQ(t.GetColumnLabel(2), "desc");
  ASSERT_EQ(t.RowCount(), 3);
  EXPECT_EQ(Row(t, 0), (std::vector<std::string>{"0", "Long_Sword", "1001", "A fine blade"}));
  EXPECT_EQ(Row(t, 1), (std::vector<std::string>{"1", "****", "****", "****"}));
  EXPECT_EQ(Row(t, 2), (std::vector<std::string>{"2", "Dagger", "****", "****"}));
  EXPECT_EQ(t.ColumnIndexOf("NAME"), 1);
}

TEST(TwoDAText, ReadsTheSameTableAsTheBinaryForm) {
  const T2DAHandler text = FromText("2DA V2.0\n\n label cost\n0 a 5\n1 b ****\n");
  T2DAHandler binary;
  binary.LoadFromBytes(test::TwoDA({"label", "cost"}, {{"a", "5"}, {"b", "****"}}));
  // Saved in binary form, both are the same table; only the data-size field,
  // which the text form has not, may differ.
  auto a = text.SaveToBytes();
  auto b = binary.SaveToBytes();
  ASSERT_EQ(a.size(), b.size());
  const std::size_t dataSizeAt = 9 + 12 + 4 + 4 + 8;
  a[dataSizeAt] = b[dataSizeAt];
  a[dataSizeAt + 1] = b[dataSizeAt + 1];
  EXPECT_SAME_BYTES(a, b);
}

TEST(TwoDAText, MalformedTextIsRefusedWithItsLineAndKeepsTheEarlierTable) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"2DA V2.0\n\na b\n0 1 2 3\n", "at line 4: 3 cells for 2 columns"},
      {"2DA V2.0\n\na b\n0 \"open\n", "at line 4: a double quote is not closed"},
      {"2DA V2.0\n\n\n", "the column labels are missing"},
      {"2DA V2.0 extra\n\na\n", "at line 1: the first line is not \"2DA V2.0\""},
      {"2DA V2.b\n", "at line 1"},
  };
  for (const auto& c : cases) {
    T2DAHandler t = FromText("2DA V2.0\n\nkeep\n0 x\n");
    try {
      t.LoadFromTextBytes(test::ToBytes(c.text));
      ADD_FAILURE() << c.text;
    } catch (const EDead& e) {
      EXPECT_EQ(e.Code(), T2DAHandler::kCodeMalformedText);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    ASSERT_TRUE(t.Loaded()) << c.text;
    EXPECT_EQ(t.GetCell(0, 0), "x");
  }
}

TEST(TwoDAText, TheBinaryReaderStillRefusesIt) {
  T2DAHandler t;
  test::ExpectFailure<EDead>(
      [&] { t.LoadFromBytes(test::ToBytes("2DA V2.0\n\na\n")); }, 1,
      "Specified file was a 2DA file but not in binary format. That format is unhandled at this time. Unable to load.");
}

}  // namespace
}  // namespace vey
