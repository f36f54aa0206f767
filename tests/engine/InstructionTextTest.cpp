// The text of instruction files on its way into game files: Windows-1252
// files as they are, UTF-8 files (with their mark) converted, and a warning
// naming each key whose text the code page cannot hold.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "formats/U2DAEdit.h"

namespace vey::test {
namespace {

struct Saved {
  std::string cell;
  std::int32_t warnings;
};

// Adds one row whose "name" cell is the given text and reads the saved table back.
Saved RunWithName(std::string_view bom, std::string_view name) {
  EngineFixture f;
  f.MakeGame();
  f.WriteFile(f.Game() + "override/items.2da", TwoDA({"label", "name"}, {{"a", "b"}}));
  f.Ini(std::string(bom) + "[Settings]\nInstallerMode=1\nLogLevel=3\n[2DAList]\nTable0=items.2da\n"
                           "[items.2da]\nAddRow0=new_item\n[new_item]\nlabel=x\nname=" +
        std::string(name) + "\n");
  TRunResult result;
  f.Engine().Run(result);
  T2DAHandler table;
  table.LoadFromBytes(ToBytes(f.ReadFile(f.Game() + "override/items.2da")));
  EXPECT_EQ(table.RowCount(), 2);
  return {table.RowCount() == 2 ? table.GetCell(1, 1) : "", result.Warnings};
}

TEST(InstructionText, ReachesTheSavedTableInTheGamesCodePage) {
  struct Case {
    std::string_view bom, written, saved;
    std::int32_t warnings;
  };
  const std::vector<Case> cases = {
      {"", "\xC9p\xE9" "e \x80", "\xC9p\xE9" "e \x80", 0},                                   // Windows-1252 as it is
      {"", "\xC3\x89p\xC3\xA9" "e", "\xC3\x89p\xC3\xA9" "e", 0},                              // no mark: bytes kept
      {"\xEF\xBB\xBF", "\xC3\x89p\xC3\xA9" "e \xE2\x82\xAC", "\xC9p\xE9" "e \x80", 0},        // UTF-8 converted
      {"\xEF\xBB\xBF", "Sword \xE6\x97\xA5\xE6\x9C\xAC", "Sword ??", 1},                      // one warning per key
  };
  for (const Case& c : cases) {
    Saved s = RunWithName(c.bom, c.written);
    EXPECT_EQ(s.cell, c.saved) << c.written;
    EXPECT_EQ(s.warnings, c.warnings) << c.written;
  }
}

TEST(InstructionText, WarningNamesTheKeyItsSectionAndLine) {
  EngineFixture f;
  f.Ini("\xEF\xBB\xBF[Settings]\nLogLevel=3\nConfirmMessage=\xE2\x9C\x93 ready\n");
  TRunResult result;
  f.Engine().Run(result);
  EXPECT_TRUE(f.Logged(" [Warning] \tKey \"ConfirmMessage\" in section \"Settings\" (line 3) holds a character "
                       "that Windows-1252 cannot hold; it is written as \"?\"."));
  EXPECT_EQ(result.Warnings, 1);
}

}  // namespace
}  // namespace vey::test
