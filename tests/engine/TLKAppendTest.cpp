// Talk-table appending: reuse of identical entries, the two passes, StrRef
// remapping, backups and summary lines, and the aborts of the step.
#include <gtest/gtest.h>

#include <limits>

#include "EngineFixture.h"
#include "formats/UTLKFile.h"
#include "support/TalkTableBytes.h"

namespace vey::test {
namespace {

class TLKAppend : public ::testing::Test {
 protected:
  void SetUp() override { f.MakeGame(); }
  TVEYPatcher& Engine(std::string_view tlkList, bool installer = true) {
    f.Ini(std::string("[Settings]\nLogLevel=4\nInstallerMode=") + (installer ? "1" : "0") +
          "\n[TLKList]\n" + std::string(tlkList));
    return f.Engine();
  }
  void Game(const std::vector<TalkEntry>& entries, const std::string& name = "dialog.tlk") {
    f.WriteFile(f.Game() + name, TalkTable(entries));
  }
  void Mod(const std::vector<TalkEntry>& entries, const std::string& name = "append.tlk") {
    f.WriteFile(f.Data() + name, TalkTable(entries));
  }
  std::vector<std::string> GameTexts(const std::string& name = "dialog.tlk") {
    return TalkTexts(ToBytes(f.ReadFile(f.Game() + name)));
  }
  std::int32_t Token(TVEYPatcher& e, std::int32_t number) {
    for (const TStrRefEntry& entry : e.StrRefTable)
      if (entry.Token == number) return entry.Value;
    ADD_FAILURE() << "no token " << number;
    return -1;
  }
  EngineFixture f;
};

TEST_F(TLKAppend, ReusesTheFirstIdenticalEntryAndAppendsEverythingElse) {
  Game({{"Bad StrRef"}, {"Hello"}, {"Sword", 1, "snd_sword", 1.5f}, {"Hello"}});
  Mod({{"Fresh"},
       {"Hello"},
       {"Sword", 1, "snd_sword", 1.5f},
       {"Sword", 1, "snd_sword", 2.0f},  // sound length differs
       {"Sword", 3, "snd_sword", 1.5f},  // flags differ
       {"Sword", 1, "snd_swore", 1.5f},  // sound name differs
       {"hello"},                        // letter case differs
       {"Fresh"},                        // identical to the one appended above
       {"Unnamed"}});                    // no token names it: appended all the same
  TVEYPatcher& e = Engine("StrRef1=0\nStrRef2=1\nStrRef3=2\nStrRef4=3\nStrRef5=4\nStrRef6=5\n"
                          "StrRef7=6\nStrRef8=7\nStrRef9=42\n");
  const std::string original = f.ReadFile(f.Game() + "dialog.tlk");
  e.ProcessTLKList();

  EXPECT_EQ(GameTexts(), (std::vector<std::string>{"Bad StrRef", "Hello", "Sword", "Hello", "Fresh",
                                                   "Sword", "Sword", "Sword", "hello", "Unnamed"}));
  EXPECT_EQ(Token(e, 1), 4);
  EXPECT_EQ(Token(e, 2), 1);  // the first of the two "Hello" entries
  EXPECT_EQ(Token(e, 3), 2);
  EXPECT_EQ(Token(e, 4), 5);
  EXPECT_EQ(Token(e, 5), 6);
  EXPECT_EQ(Token(e, 6), 7);
  EXPECT_EQ(Token(e, 7), 8);
  EXPECT_EQ(Token(e, 8), 4);
  EXPECT_EQ(Token(e, 9), 42);  // names no mod entry: kept as it was

  EXPECT_TRUE(f.Logged(" [Debug] \tIdentical string for append StrRef 1 found in dialog.tlk StrRef 1, "
                       "reusing it instead."));
  EXPECT_TRUE(f.Logged(" [Debug] \tAppending new entry to dialog.tlk, new StrRef is 9"));
  EXPECT_TRUE(f.Logged(" [Install] \tAppending strings to TLK file \"" + f.Game() + "dialog.tlk\""));
  EXPECT_TRUE(f.Logged(" [Install] \tSaving unaltered backup copy of dialog.tlk file in " + f.App() +
                       "backup/"));
  EXPECT_TRUE(f.Logged(" [Install] \tdialog.tlk file updated with 6 new entries, 3 entries already "
                       "existed."));
  EXPECT_EQ(f.ReadFile(f.App() + "backup/dialog.tlk"), original);
  EXPECT_EQ(e.ProgressCount(), 1);
  EXPECT_EQ(e.ErrorCount() + e.WarningCount(), 0);
}

// Sound lengths compare as numbers: -0 equals +0, and NaN equals nothing,
// not even the same bits.
TEST_F(TLKAppend, SoundLengthsCompareAsNumbers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Game({{"Zero", 0, "", -0.0f}, {"Nan", 0, "", nan}});
  Mod({{"Zero", 0, "", 0.0f}, {"Nan", 0, "", nan}});
  TVEYPatcher& e = Engine("StrRef0=0\nStrRef1=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(GameTexts(), (std::vector<std::string>{"Zero", "Nan", "Nan"}));
  EXPECT_EQ(Token(e, 0), 0);
  EXPECT_EQ(Token(e, 1), 2);
}

// An index reused from the game table can equal the index of a later mod
// entry; the token that received it must not move again.
TEST_F(TLKAppend, ATokenIsRemappedOncePerPass) {
  Game({{"a"}, {"b"}, {"c"}, {"Yes"}});
  Mod({{"x0"}, {"Yes"}, {"x2"}, {"x3"}});
  TVEYPatcher& e = Engine("StrRef10=1\nStrRef11=3\nStrRef12=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(Token(e, 10), 3);
  EXPECT_EQ(Token(e, 11), 6);
  EXPECT_EQ(Token(e, 12), 3);
}

TEST_F(TLKAppend, SummaryLinesAndSavingWhenNothingIsNew) {
  Game({{"One"}, {"Two"}});
  Mod({{"Two"}, {"One"}});
  TVEYPatcher& e = Engine("StrRef0=0\n");
  e.ProcessTLKList();
  EXPECT_TRUE(f.Logged(" [Install] \tdialog.tlk file not updated, all 2 entries were already present."));
  // Still saved through the writer (the string data offset is recomputed) and backed up.
  EXPECT_TRUE(f.Exists(f.App() + "backup/dialog.tlk"));
  EXPECT_EQ(GameTexts(), (std::vector<std::string>{"One", "Two"}));
  EXPECT_EQ(Token(e, 0), 1);

  EngineFixture g;
  g.MakeGame();
  g.WriteFile(g.Game() + "dialog.tlk", TalkTable(std::vector<std::string>{"One"}));
  g.WriteFile(g.Data() + "append.tlk", TalkTable(std::vector<std::string>{"New"}));
  g.Ini("[Settings]\nLogLevel=4\nInstallerMode=1\nBackupFiles=0\n[TLKList]\nStrRef0=0\n");
  g.Engine().ProcessTLKList();
  EXPECT_TRUE(g.Logged(" [Install] \tdialog.tlk file updated with 1 new entries."));
  EXPECT_FALSE(g.Exists(g.App() + "backup"));
}

TEST_F(TLKAppend, WithoutTokensNeitherTableIsTouched) {
  Game({{"One"}});
  Game({{"Eins"}}, "dialogf.tlk");
  Mod({{"New"}});
  Mod({{"Neu"}}, "appendf.tlk");
  const std::string before = f.ReadFile(f.Game() + "dialog.tlk");
  TVEYPatcher& e = Engine("!SourceFile=append.tlk\nStrRefX=0\nStrRef1=\n");
  e.ProcessTLKList();
  EXPECT_EQ(f.ReadFile(f.Game() + "dialog.tlk"), before);
  EXPECT_EQ(GameTexts("dialogf.tlk"), std::vector<std::string>{"Eins"});
  EXPECT_EQ(e.ProgressCount(), 0);
  EXPECT_EQ(f.CountContaining("TLK file"), 0u);
}

TEST_F(TLKAppend, SecondPassAppendsToTheSecondTableFromItsOwnSource) {
  Game({{"One"}, {"Two"}, {"Three"}});
  Game({{"Eins"}, {"Zwei"}, {"Drei"}}, "dialogf.tlk");
  Mod({{"Four"}}, "mine.tlk");
  Mod({{"Vier"}, {"Zwei"}}, "minef.tlk");
  TVEYPatcher& e = Engine("!SourceFile=mine.tlk\n!SourceFileF=minef.tlk\nStrRef1=0\n");
  e.ProcessTLKList();
  EXPECT_EQ(GameTexts(), (std::vector<std::string>{"One", "Two", "Three", "Four"}));
  EXPECT_EQ(GameTexts("dialogf.tlk"), (std::vector<std::string>{"Eins", "Zwei", "Drei", "Vier"}));
  EXPECT_TRUE(f.Logged(" [Install] \tdialogf.tlk file updated with 1 new entries, 1 entries already "
                       "existed."));
  // After the first pass the token holds 3, which is no index of the second
  // source table, so the second pass leaves it.
  EXPECT_EQ(Token(e, 1), 3);
  EXPECT_EQ(e.ProgressCount(), 1);
}

TEST_F(TLKAppend, MissingSecondSourceSkipsThatPass) {
  Game({{"One"}});
  Game({{"Eins"}}, "dialogf.tlk");
  Mod({{"Two"}});
  TVEYPatcher& e = Engine("StrRef1=0\n");
  e.ProcessTLKList();
  EXPECT_EQ(GameTexts("dialogf.tlk"), std::vector<std::string>{"Eins"});
  EXPECT_EQ(f.CountContaining("dialogf.tlk"), 0u);
  EXPECT_EQ(Token(e, 1), 1);
}

TEST_F(TLKAppend, NoTargetChosenEmptiesTheTokensAndAborts) {
  Game({{"One"}});
  Mod({{"Two"}});
  TVEYPatcher& e = Engine("StrRef1=0\n", /*installer=*/false);
  f.fake.openDialog.answers.push_back(std::nullopt);  // the user cancels
  ExpectFailure<EAbort>([&] { e.ProcessTLKList(); }, 1, "No TLK file loaded. Unable to proceed.");
  EXPECT_TRUE(e.StrRefTable.empty());
  EXPECT_TRUE(f.Logged(" [Error] \tNo dialog.tlk file specified. Unable to proceed!"));
}

TEST_F(TLKAppend, RunEndsWithTheTaggedLineForAnUnreadableTable) {
  f.MakeGame();
  f.dir.Write("game/dialog.tlk", "TLK V9.9");
  Mod({{"Two"}});
  f.Ini("[Settings]\nLogLevel=4\nInstallerMode=1\n[TLKList]\nStrRef1=0\n");
  TRunResult result;
  EXPECT_THROW(f.Engine().Run(result), EHell);
  EXPECT_TRUE(f.Logged(" [Error] \tVersion mismatch. File is not a valid v3.0 TLK file! (TLK)"));
}

TEST_F(TLKAppend, SourceNameLeavingTheDataFolderIsRefused) {
  Game({{"One"}});
  f.WriteFile(f.App() + "outside.tlk", TalkTable(std::vector<std::string>{"Two"}));
  TVEYPatcher& e = Engine("!SourceFile=../outside.tlk\nStrRef1=0\n");
  e.ProcessTLKList();
  EXPECT_EQ(GameTexts(), std::vector<std::string>{"One"});
  EXPECT_EQ(e.ErrorCount(), 1);
  EXPECT_EQ(Token(e, 1), 0);
}

// The numbers the strings received reach the later lists through the tokens.
TEST_F(TLKAppend, LaterListsWriteTheAppendedNumbers) {
  Game({{"One"}, {"Two"}});
  Mod({{"Two"}, {"Three"}});
  f.WriteFile(f.Game() + "override/spells.2da", TwoDA({"label", "name"}, {{"fire", "1"}}));
  TVEYPatcher& e = Engine("StrRef7=0\nStrRef8=1\n"
                          "[2DAList]\nTable0=spells.2da\n[spells.2da]\nAddRow0=new_spell\n"
                          "ChangeRow0=old_spell\n[new_spell]\nlabel=ice\nname=StrRef8\n"
                          "[old_spell]\nRowIndex=0\nname=strref7\n");
  TRunResult result;
  e.Run(result);
  EXPECT_EQ(result.Errors + result.Warnings, 0);
  e.TableFile.LoadFromBytes(ToBytes(f.ReadFile(f.Game() + "override/spells.2da")));
  EXPECT_EQ(e.TableFile.GetCell(0, 1), "1");
  EXPECT_EQ(e.TableFile.GetCell(1, 1), "2");
}

}  // namespace
}  // namespace vey::test
