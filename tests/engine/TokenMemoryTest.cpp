// Token memory: the StrRef table from the TLKList, 2DAMEMORY stores from 2DA
// rows, columns and GFF fields, and their substitution.
#include <gtest/gtest.h>

#include "EngineFixture.h"

namespace vey::test {
namespace {

class TokenMemory : public ::testing::Test {
 protected:
  TVEYPatcher& Engine(std::string_view extraIni = "") {
    f.Ini(std::string("[Settings]\nLogLevel=4\n") + std::string(extraIni));
    return f.Engine();
  }
  // A table with labels "a", "b" and the columns label and id.
  void LoadTable(TVEYPatcher& e) {
    e.TableFile.LoadFromBytes(TwoDA({"label", "id"}, {{"first", "10"}, {"second", "****"}}));
    e.TableFile.SetRowLabel(0, "a");
    e.TableFile.SetRowLabel(1, "b");
  }
  EngineFixture f;
};

TEST_F(TokenMemory, StrRefTableTakesQualifyingKeysInOrderAndTheFirstOfTwins) {
  TVEYPatcher& e = Engine(
      "[TLKList]\n!SourceFile=append.tlk\nStrRef3=7\nstrref12=8\nSTRREF3=9\nStrRef=1\nStrRef-1=2\n"
      "StrRef4x=3\nStrRef5=x\nStrRef6=\n");
  e.LoadStrRefTable();
  ASSERT_EQ(e.StrRefTable.size(), 3u);
  EXPECT_TRUE(f.Logged(" [Debug] \t3 StrRef tokens found and indexed."));
  EXPECT_EQ(e.ResolveStrRefToken("strREF3"), 7);
  EXPECT_EQ(e.ResolveStrRefToken("StrRef12"), 8);
  EXPECT_EQ(e.WarningCount(), 0);

  EXPECT_EQ(e.ResolveStrRefToken("StrRef99"), 0);
  EXPECT_TRUE(f.Logged(" [Warning] \tEncountered StrRef token \"StrRef99\" in modifier list that was not "
                       "present in the TLKList! Value set to StrRef #0."));
  // Too many digits to be any entry's number: no match, no overflow.
  EXPECT_EQ(e.ResolveStrRefToken("StrRef99999999999999999999"), 0);
  EXPECT_EQ(e.WarningCount(), 2);
}

TEST_F(TokenMemory, StrRefTokenForm) {
  TVEYPatcher& e = Engine();
  EXPECT_TRUE(e.IsStrRefToken("StrRef1"));
  EXPECT_TRUE(e.IsStrRefToken("sTrReF012"));
  EXPECT_FALSE(e.IsStrRefToken("StrRef"));
  EXPECT_FALSE(e.IsStrRefToken("StrRef-1"));
  EXPECT_FALSE(e.IsStrRefToken("StrRef1a"));
  EXPECT_FALSE(e.IsStrRefToken(" StrRef1"));
  EXPECT_FALSE(e.IsStrRefToken("2DAMEMORY1"));
}

TEST_F(TokenMemory, StrRefTokensGoFirstAndSlotTextIsNotResolvedAgain) {
  TVEYPatcher& e = Engine("[TLKList]\nStrRef1=40\n");
  e.LoadStrRefTable();
  e.Memory = {"StrRef1", "2DAMEMORY1"};
  EXPECT_EQ(e.SubstituteTokens("StrRef1"), "40");
  EXPECT_EQ(e.SubstituteTokens("2DAMEMORY1"), "StrRef1");
  EXPECT_EQ(e.SubstituteTokens("2DAMEMORY2"), "2DAMEMORY1");
  EXPECT_EQ(e.SubstituteTokens("****"), "****");
  EXPECT_EQ(e.WarningCount() + e.ErrorCount(), 0);
}

TEST_F(TokenMemory, StoreGrowsToTheSlotAndLeavesTheOthersEmpty) {
  TVEYPatcher& e = Engine();
  LoadTable(e);
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY5", "RowIndex", "", 1, mkAddRow));
  ASSERT_EQ(e.Memory.size(), 5u);
  EXPECT_EQ(e.Memory[4], "1");
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY2"), "");
  EXPECT_TRUE(f.Logged(" [Debug] \tFound a 2DAMEMORY5 token! Storing value \"1\" from 2da to memory..."));
  // A later store into the same slot replaces the value; a lower slot does not shrink.
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY5", "RowLabel", "", 0, mkChangeRow));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "label", "", 0, mkCopyRow));
  EXPECT_EQ(e.Memory.size(), 5u);
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY5"), "a");
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY1"), "first");
}

TEST_F(TokenMemory, SlotZeroAndMalformedSlots) {
  TVEYPatcher& e = Engine();
  LoadTable(e);
  EXPECT_FALSE(e.StoreMemoryToken("2DAMEMORY0", "RowIndex", "", 0, mkAddRow));
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid 2DAMEMORY token found! Token indexes start at 1 and go up..."));
  EXPECT_TRUE(e.Memory.empty());
  // Only the word in capitals makes a token.
  EXPECT_FALSE(e.StoreMemoryToken("2daMemory1", "RowIndex", "", 0, mkAddRow));
  EXPECT_EQ(e.ResolveMemoryToken("2daMemory1"), "2daMemory1");

  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORYx", "RowIndex", "", 1, mkAddRow));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid memory token 2DAMEMORYx encountered, using first memory slot instead."));
  EXPECT_EQ(e.Memory, TMemory{"1"});
  // A slot number no mod needs is refused instead of growing the memory.
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY4000000000", "RowIndex", "", 0, mkAddRow));
  EXPECT_EQ(e.Memory, TMemory{"0"});
}

TEST_F(TokenMemory, ResolveFallsBackToTheFirstSlotOrKeepsTheToken) {
  TVEYPatcher& e = Engine();
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY1"), "2DAMEMORY1");
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid memory token 2DAMEMORY1 encountered, unable to insert a proper "
                       "value into cell or field!"));
  e.Memory = {"one", "two", "three"};
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY9"), "one");
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid memory token 2DAMEMORY9 encountered, assuming first memory slot."));
  const int warnings = e.WarningCount();
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY0"), "one");
  EXPECT_EQ(e.WarningCount(), warnings);
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY3"), "three");
  EXPECT_TRUE(f.Logged(" [Debug] \tFound a 2DAMEMORY3 value, substituting with value \"three\" in memory..."));
  EXPECT_EQ(e.ResolveMemoryToken("2DAMEMORY"), "one");
  EXPECT_EQ(e.ResolveMemoryToken("plain text"), "plain text");
}

TEST_F(TokenMemory, RowStoresWarnAndKeepTheSlotOnBadSources) {
  TVEYPatcher& e = Engine();
  LoadTable(e);
  e.Memory = {"kept"};
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "nosuchcolumn", "", 0, mkAddRow));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"nosuchcolumn\" passed to 2DAMEMORY1 key!"));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "label", "", -1, mkAddRow));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "RowLabel", "", 2, mkAddRow));
  EXPECT_TRUE(f.Logged(" [Warning] \tError looking up row label for row index 2"));
  EXPECT_EQ(e.Memory, TMemory{"kept"});
  // RowIndex is stored even without a row.
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "RowIndex", "", -1, mkAddRow));
  EXPECT_EQ(e.Memory, TMemory{"-1"});
  // Column lookups ignore case, the source words do not.
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "ID", "", 1, mkChangeRow));
  EXPECT_EQ(e.Memory, TMemory{"****"});
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "rowindex", "", 1, mkChangeRow));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid column label \"rowindex\" passed to 2DAMEMORY1 key!"));
}

TEST_F(TokenMemory, NewColumnStoresByRowIndexOrLabel) {
  TVEYPatcher& e = Engine();
  LoadTable(e);
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "ColumnLabel", "", 1, mkAddColumn));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY2", "i0", "", 1, mkAddColumn));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY3", "Lb", "", 0, mkAddColumn));
  EXPECT_EQ(e.Memory, (TMemory{"id", "10", "second"}));

  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "Lzz", "", 0, mkAddColumn));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid row label \"Lzz\" passed to 2DAMEMORY1 key!"));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "I7", "", 0, mkAddColumn));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "X0", "", 0, mkAddColumn));
  EXPECT_EQ(f.CountContaining("Invalid column label passed to 2DAMEMORY1 key!"), 2u);
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "ColumnLabel", "", 5, mkAddColumn));
  EXPECT_TRUE(f.Logged(" [Warning] \tError looking up column label for column index 5"));
  EXPECT_EQ(e.Memory[0], "id");
}

TEST_F(TokenMemory, FieldStoresTakeListIndexAndFieldPathInAnyCase) {
  TVEYPatcher& e = Engine();
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY1", "LISTINDEX", "ItemList\\3", 3, mkGFFField));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY2", "!FieldPath", "ItemList\\3", 3, mkGFFField));
  EXPECT_TRUE(e.StoreMemoryToken("2DAMEMORY3", "RowIndex", "ItemList\\3", 3, mkGFFField));
  EXPECT_EQ(e.Memory, (TMemory{"3", "ItemList\\3", ""}));
  EXPECT_TRUE(f.Logged(" [Debug] \tFound a 2DAMEMORY2 token! Storing Field Path \"ItemList\\3\" from GFF to memory..."));
}

}  // namespace
}  // namespace vey::test
