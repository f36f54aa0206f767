// 2DA modifiers: exclusive rows, high() and inc(), LabelIndex, AddColumn's
// row keys, CopyRow and the 2DAMEMORY stores of each modifier.
#include <gtest/gtest.h>

#include "EngineFixture.h"

namespace vey::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class Modifiers : public ::testing::Test {
 protected:
  // sections: the modifier sections, as instruction-file text.
  TVEYPatcher& Engine(std::string_view sections, const std::vector<std::string>& columns,
                      const Rows& rows) {
    f.Ini("[Settings]\nLogLevel=4\n" + std::string(sections));
    TVEYPatcher& e = f.Engine();
    e.TableFile.LoadFromBytes(TwoDA(columns, rows));
    e.SetCurrentFile("test.2da");
    return e;
  }
  std::vector<std::string> Column(TVEYPatcher& e, std::int32_t column) {
    std::vector<std::string> cells;
    for (std::int32_t r = 0; r < e.TableFile.RowCount(); ++r) cells.push_back(e.TableFile.GetCell(r, column));
    return cells;
  }
  std::vector<std::string> RowCells(TVEYPatcher& e, std::int32_t row) {
    std::vector<std::string> cells;
    for (std::int32_t c = 0; c < e.TableFile.ColumnCount(); ++c) cells.push_back(e.TableFile.GetCell(row, c));
    return cells;
  }
  EngineFixture f;
};

using S = std::vector<std::string>;

TEST_F(Modifiers, ExclusiveMatchUpdatesTheExistingRow) {
  TVEYPatcher& e = Engine(
      "[add]\nExclusiveColumn=label\nRowLabel=renamed\nlabel=ice\nname=55\nid=high()\ncost=inc(3)\n"
      "2DAMEMORY1=RowIndex\n2DAMEMORY2=name\n"
      "[same]\nExclusiveColumn=label\nlabel=ice\nname=55\n",
      {"label", "name", "id", "cost"},
      {{"fire", "1", "7", "10"}, {"ice", "2", "8", "20"}, {"ice", "3", "9", "30"}});
  e.ApplyAddRow("add");
  EXPECT_EQ(e.TableFile.RowCount(), 3);
  EXPECT_EQ(RowCells(e, 1), (S{"ice", "55", "8", "20"}));
  EXPECT_EQ(e.TableFile.GetRowLabel(1), "1");
  EXPECT_EQ(RowCells(e, 2), (S{"ice", "3", "9", "30"}));  // only the first match
  EXPECT_EQ(e.Memory, (S{"1", "55"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tMatching value in column label found for existing row 1..."));
  EXPECT_EQ(f.CountContaining("New Exclusive row matched line 1 in 2DA file test.2da, modifying "
                              "existing line instead."),
            1u);

  // Nothing differs the second time: no change line.
  f.lines.clear();
  e.ApplyAddRow("same");
  EXPECT_EQ(f.CountContaining("New Exclusive row matched"), 0u);
  EXPECT_EQ(e.TableFile.RowCount(), 3);
  EXPECT_EQ(e.WarningCount() + e.ErrorCount(), 0);
}

TEST_F(Modifiers, ExclusiveTestWithoutMatchOrUsableColumnAddsTheRow) {
  TVEYPatcher& e = Engine(
      "[new]\nExclusiveColumn=label\nlabel=wind\nname=4\n"
      "[nocolumn]\nExclusiveColumn=Label\nlabel=fire\n"  // columns compare exactly here
      "[lower]\nexclusivecolumn=label\nlabel=earth\n"
      "[novalue]\nExclusiveColumn=label\nname=9\n",
      {"label", "name"}, {{"fire", "1"}});
  e.ApplyAddRow("new");
  ASSERT_EQ(e.TableFile.RowCount(), 2);
  EXPECT_EQ(RowCells(e, 1), (S{"wind", "4"}));

  e.ApplyAddRow("nocolumn");
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid Exclusive column label \"Label\" specified, ignoring..."));
  ASSERT_EQ(e.TableFile.RowCount(), 3);
  EXPECT_EQ(RowCells(e, 2), (S{"fire", "****"}));

  // Written in lower case the key still drives the test, but in the key loop
  // it is a column label: it creates the row and warns.
  e.ApplyAddRow("lower");
  ASSERT_EQ(e.TableFile.RowCount(), 4);
  EXPECT_EQ(RowCells(e, 3), (S{"earth", "****"}));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"exclusivecolumn\" encountered! Skipping "
                       "entry..."));

  e.ApplyAddRow("novalue");
  EXPECT_EQ(e.TableFile.RowCount(), 4);
  EXPECT_TRUE(f.Logged(" [Error] \tNo value has been assigned to column label for new 2DA line in "
                       "modifier \"novalue\" with Exclusive checking enabled! Skipping line..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tError locating row when trying to modify existing Exclusive row "
                       "in modifier \"novalue\"."));
}

TEST_F(Modifiers, AddRowCreatesItsRowLazilyAndStoresFromIt) {
  TVEYPatcher& e = Engine(
      "[empty]\nRowLabel=\n"
      "[full]\nRowLabel=my_row\nlabel=StrRef5\nname=\nbogus=1\n2DAMEMORY1=RowIndex\n"
      "2DAMEMORY2=RowLabel\n2DAMEMORY3=label\n"
      "[early]\n2DAMEMORY4=RowIndex\nlabel=x\n",
      {"label", "name"}, {{"fire", "1"}});
  e.StrRefTable.push_back({5, 1234});
  e.ApplyAddRow("empty");
  EXPECT_EQ(e.TableFile.RowCount(), 1);

  e.ApplyAddRow("full");
  ASSERT_EQ(e.TableFile.RowCount(), 2);
  EXPECT_EQ(e.TableFile.GetRowLabel(1), "my_row");
  EXPECT_EQ(RowCells(e, 1), (S{"1234", "****"}));
  EXPECT_EQ(e.Memory, (S{"1", "my_row", "1234"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tAdding new row (index 1) to 2DA file test.2da..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"bogus\" encountered! Skipping entry..."));

  // Before the row exists a 2DAMEMORY key is taken for a column.
  e.ApplyAddRow("early");
  ASSERT_EQ(e.TableFile.RowCount(), 3);
  EXPECT_EQ(e.Memory.size(), 3u);
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"2DAMEMORY4\" encountered! Skipping "
                       "entry..."));
}

TEST_F(Modifiers, HighCountsOnlyCellsOfDigits) {
  TVEYPatcher& e = Engine(
      "[a]\nid=high()\nnone=HIGH()\nbig=High()anything\n"
      "[b]\nRowLabel=high()\nid=high()\n"
      "[change]\nRowIndex=0\nid=high()\n",
      {"id", "none", "big"},
      {{"1", "-3", "99999999999999999999"},
       {"7", "abc", "5"},
       {"****", "****", "****"},
       {"-3", "1.5", "0"},
       {"abc", " 4", "12"}});
  e.ApplyAddRow("a");
  EXPECT_EQ(RowCells(e, 5), (S{"8", "1", "100000000000000000000"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tSetting added row column id to next HIGHEST value 8."));

  // Row labels 0..5 exist; the label is computed before the row is created.
  e.ApplyAddRow("b");
  EXPECT_EQ(e.TableFile.GetRowLabel(6), "6");
  EXPECT_EQ(e.TableFile.GetCell(6, 0), "9");
  EXPECT_TRUE(f.Logged(" [Debug] \tSetting row label to next HIGHEST value 6."));

  // The row being changed counts.
  e.ApplyChangeRow("change");
  EXPECT_EQ(e.TableFile.GetCell(0, 0), "10");
}

TEST_F(Modifiers, ChangeRowFindsItsRowFirst) {
  TVEYPatcher& e = Engine(
      "[byindex]\nRowIndex=2DAMEMORY1\nname=by_index\n2DAMEMORY2=label\n"
      "[bylabel]\nRowLabel=r2\nname=by_label\nRowIndex=0\n"
      "[columnfirst]\nname=lost\nRowIndex=0\n"
      "[outofrange]\nRowIndex=7\nname=lost\n"
      "[notanumber]\nRowIndex=one\nname=lost\n",
      {"label", "name"}, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  e.TableFile.SetRowLabel(2, "R2");
  e.Memory = {"1"};
  e.ApplyChangeRow("byindex");
  EXPECT_EQ(Column(e, 1), (S{"1", "by_index", "3"}));
  EXPECT_EQ(e.Memory, (S{"1", "b"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tModifying line (index 1) in 2DA file test.2da..."));

  // Once the row is known, a second identifying key is a column.
  e.ApplyChangeRow("bylabel");
  EXPECT_EQ(Column(e, 1), (S{"1", "by_index", "by_label"}));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"RowIndex\" encountered! Skipping entry..."));

  e.ApplyChangeRow("columnfirst");
  EXPECT_TRUE(f.Logged(" [Error] \tNo RowIndex/RowLabel identifier for row to modify found at top of "
                       "modifier list! Unable to apply modifier \"columnfirst\"."));
  e.ApplyChangeRow("outofrange");
  EXPECT_TRUE(f.Logged(" [Error] \tNo RowIndex/RowLabel identifier for row to modify found at top of "
                       "modifier list! Unable to apply modifier \"outofrange\"."));
  EXPECT_EQ(Column(e, 1), (S{"1", "by_index", "by_label"}));

  ExpectFailure<EConvertError>([&] { e.ApplyChangeRow("notanumber"); }, 0,
                               "'one' is not a valid integer value");
}

TEST_F(Modifiers, LabelIndexTakesTheLastMatch) {
  TVEYPatcher& e = Engine(
      "[twice]\nLabelIndex=dup\nname=changed\n"
      "[lower]\nlabelindex=dup\nname=lost\n"
      "[none]\nLabelIndex=missing\nname=lost\n",
      {"label", "name"}, {{"dup", "1"}, {"other", "2"}, {"dup", "3"}, {"DUP", "4"}});
  e.ApplyChangeRow("twice");
  EXPECT_EQ(Column(e, 1), (S{"1", "2", "changed", "4"}));
  EXPECT_TRUE(f.Logged(" [Warning] \tWarning, multiple rows matching Label Index found! Last found row "
                       "will be used..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tMultiple matches for specified Label Index, previously found row 0, "
                       "now found row 2."));
  EXPECT_EQ(e.WarningCount(), 1);

  e.ApplyChangeRow("lower");
  e.ApplyChangeRow("none");
  EXPECT_EQ(e.ErrorCount(), 2);
  EXPECT_EQ(Column(e, 1), (S{"1", "2", "changed", "4"}));

  EngineFixture g;
  g.Ini("[Settings]\nLogLevel=4\n[x]\nLabelIndex=dup\nname=lost\n");
  TVEYPatcher& h = g.Engine();
  h.TableFile.LoadFromBytes(TwoDA({"Label", "name"}, {{"dup", "1"}}));
  h.ApplyChangeRow("x");
  EXPECT_TRUE(g.Logged(" [Error] \tLabelIndex used as index when changing line in modifier \"x\" but "
                       "2DA file has no label column! Skipping..."));
  EXPECT_EQ(h.TableFile.GetCell(0, 1), "1");
}

TEST_F(Modifiers, AddColumnRowKeysAndDefault) {
  TVEYPatcher& e = Engine(
      "[col]\nI1=early\nColumnLabel=2DAMEMORY2\nI0=before\nDefaultValue=0\nI5=2DAMEMORY1\n"
      "L3=2DAMEMORY1\nLnope=1\nI9=far\nI2=\nX4=ignored\n2DAMEMORY3=ColumnLabel\n2DAMEMORY4=I0\n"
      "[dup]\nColumnLabel=name\nI0=lost\n"
      "[othercase]\nColumnLabel=NAME\nDefaultValue=StrRef1\n",
      {"name"}, {{"a"}, {"b"}, {"c"}, {"d"}, {"e"}, {"f"}});
  e.Memory = {"stored", "power"};
  e.StrRefTable.push_back({1, 77});
  e.ApplyAddColumn("col");
  ASSERT_EQ(e.TableFile.ColumnCount(), 2);
  EXPECT_EQ(e.TableFile.GetColumnLabel(1), "power");
  // I0 was set before the default and keeps its value; keys before the column
  // exist are ignored; an empty value takes the default.
  EXPECT_EQ(Column(e, 1), (S{"before", "0", "0", "stored", "0", "stored"}));
  EXPECT_EQ(e.Memory, (S{"stored", "power", "power", "before"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tAdding new column to 2DA file test.2da..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid row label nope encountered! Skipping entry..."));

  e.ApplyAddColumn("dup");
  EXPECT_TRUE(f.Logged(" [Error] \tA column with the label \"name\" already exists in test.2da, unable "
                       "to add new column!"));
  EXPECT_EQ(e.TableFile.ColumnCount(), 2);

  e.ApplyAddColumn("othercase");
  ASSERT_EQ(e.TableFile.ColumnCount(), 3);
  EXPECT_EQ(Column(e, 2), S(6, "77"));
}

TEST_F(Modifiers, CopyRowCopiesAtTheFirstColumnKey) {
  TVEYPatcher& e = Engine(
      "[copy]\nRowIndex=1\n2DAMEMORY1=RowIndex\nNewRowLabel=copied\nname=x\n2DAMEMORY2=RowIndex\n"
      "NewRowLabel=late\n"
      "[bylabel]\nRowLabel=2DAMEMORY3\nNewRowLabel=high()\ncost=inc(3)\n"
      "[nocolumns]\nRowIndex=0\nNewRowLabel=never\n"
      "[tokenindex]\nRowIndex=2DAMEMORY1\nname=lost\n"
      "[beyond]\nRowIndex=9\nname=lost\n",
      {"name", "cost"}, {{"a", "10"}, {"b", "20"}});
  e.ApplyCopyRow("copy");
  ASSERT_EQ(e.TableFile.RowCount(), 3);
  EXPECT_EQ(RowCells(e, 2), (S{"x", "20"}));
  EXPECT_EQ(e.TableFile.GetRowLabel(2), "copied");
  EXPECT_EQ(e.Memory, (S{"1", "2"}));
  EXPECT_TRUE(f.Logged(" [Debug] \tCopying line 1 to new line 2 in test.2da."));

  e.Memory.push_back("0");
  e.ApplyCopyRow("bylabel");
  ASSERT_EQ(e.TableFile.RowCount(), 4);
  EXPECT_EQ(RowCells(e, 3), (S{"a", "13"}));
  EXPECT_EQ(e.TableFile.GetRowLabel(3), "2");  // labels 0, 1 and "copied"
  EXPECT_TRUE(f.Logged(" [Debug] \tIncrementing value of copied row for column cost by 3, new value is "
                       "13."));

  e.ApplyCopyRow("nocolumns");
  e.ApplyCopyRow("tokenindex");
  e.ApplyCopyRow("beyond");
  EXPECT_EQ(e.TableFile.RowCount(), 4);
  EXPECT_EQ(e.WarningCount() + e.ErrorCount(), 0);
}

TEST_F(Modifiers, CopyRowIncrementAndHigh) {
  TVEYPatcher& e = Engine(
      "[inc]\nRowIndex=0\nn=inc(x)\nm=inc(3)\no=inc(-3)\np=inc(3\nq=high()\n",
      {"n", "m", "o", "p", "q"}, {{"10", "****", "10", "10", "4"}});
  e.ApplyCopyRow("inc");
  ASSERT_EQ(e.TableFile.RowCount(), 2);
  EXPECT_EQ(RowCells(e, 1), (S{"10", "****", "10", "inc(3", "5"}));
  EXPECT_TRUE(f.Logged(" [Warning] \tRow value increment failed! Specified modifier \"x\" is not a "
                       "number. Old row value not changed."));
  EXPECT_TRUE(f.Logged(" [Warning] \tRow value increment failed! Specified row column does not contain "
                       "a number. Old row value not changed."));
  EXPECT_TRUE(f.Logged(" [Warning] \tRow value increment failed! Specified modifier \"-3\" is not a "
                       "number. Old row value not changed."));
  EXPECT_TRUE(f.Logged(" [Debug] \tSetting copied row column q to next HIGHEST value 5."));
  EXPECT_EQ(e.WarningCount(), 3);
}

TEST_F(Modifiers, CopyRowWithExclusiveMatchUpdatesInstead) {
  TVEYPatcher& e = Engine(
      "[copy]\nExclusiveColumn=name\nRowIndex=0\nname=b\ncost=99\nNewRowLabel=ignored\n",
      {"name", "cost"}, {{"a", "10"}, {"b", "20"}});
  e.ApplyCopyRow("copy");
  EXPECT_EQ(e.TableFile.RowCount(), 2);
  EXPECT_EQ(RowCells(e, 1), (S{"b", "99"}));
  EXPECT_EQ(e.TableFile.GetRowLabel(1), "1");
}

// The first row is a match like any other: a search that began at row 1
// would add a second copy of it.
TEST_F(Modifiers, ExclusiveMatchInTheFirstRowUpdatesItForAddRowAndCopyRow) {
  for (const char* apply : {"AddRow", "CopyRow"}) {
    EngineFixture g;
    g.Ini("[Settings]\nLogLevel=4\n[m]\nExclusiveColumn=name\nRowIndex=1\nname=a\ncost=99\n");
    TVEYPatcher& e = g.Engine();
    e.TableFile.LoadFromBytes(TwoDA({"name", "cost"}, {{"a", "10"}, {"b", "20"}}));
    e.SetCurrentFile("test.2da");
    if (std::string_view(apply) == "AddRow")
      e.ApplyAddRow("m");
    else
      e.ApplyCopyRow("m");
    EXPECT_EQ(e.TableFile.RowCount(), 2) << apply;
    EXPECT_EQ(e.TableFile.GetCell(0, 1), "99") << apply;
    EXPECT_EQ(e.TableFile.GetCell(1, 1), "20") << apply;
  }
}

// A row key one past the last row names no row: it is skipped like any
// other missing row, and the keys after it still apply.
TEST_F(Modifiers, AddColumnRowKeyEqualToTheRowCountIsSkipped) {
  TVEYPatcher& e = Engine("[col]\nColumnLabel=extra\nI2=past\nI1=kept\n", {"name"}, {{"a"}, {"b"}});
  e.ApplyAddColumn("col");
  ASSERT_EQ(e.TableFile.ColumnCount(), 2);
  EXPECT_EQ(Column(e, 1), (S{"****", "kept"}));
  EXPECT_EQ(e.TableFile.RowCount(), 2);
  EXPECT_EQ(e.ErrorCount(), 0);
}

}  // namespace
}  // namespace vey::test
