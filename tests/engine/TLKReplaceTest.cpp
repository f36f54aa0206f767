// Talk-table replacements: entries of the mod's files copied over the game's
// in both tables, after the appends of the same pass, and the numbers that
// are skipped with a warning.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "formats/UTLKFile.h"
#include "support/TalkTableBytes.h"

namespace vey::test {
namespace {

// A game with one talk table of four entries and a mod with a talk table
// of two.
struct TalkGame {
  TalkGame() {
    f.MakeGame();
    f.WriteFile(f.Game() + "dialog.tlk", TalkTable(std::vector<TalkEntry>{{""}, {"Fire"}, {"Frost"}, {"Stone"}}));
    f.WriteFile(f.Data() + "append.tlk", TalkTable(std::vector<TalkEntry>{{"Blaze", 7, "snd_blaze", 2.5f}, {"Ice"}}));
  }
  TVEYPatcher& Engine(std::string_view sections) {
    f.Ini("[Settings]\nLogLevel=4\nInstallerMode=1\n" + std::string(sections));
    return f.Engine();
  }
  TTLKFileHandler Table(const std::string& name) {
    TTLKFileHandler t;
    t.LoadFromBytes(ToBytes(f.ReadFile(f.Game() + name)));
    return t;
  }
  std::vector<std::string> Texts(const std::string& name) { return TalkTexts(ToBytes(f.ReadFile(f.Game() + name))); }
  EngineFixture f;
};

class TLKReplace : public ::testing::Test, public TalkGame {};

TEST_F(TLKReplace, CopiesEveryPartOfTheEntryWithoutAnyToken) {
  TVEYPatcher& e = Engine("[TLKList]\nReplace0=append.tlk\n[append.tlk]\n1=0\n3=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(Texts("dialog.tlk"), (std::vector<std::string>{"", "Blaze", "Frost", "Ice"}));
  const TTLKFileHandler t = Table("dialog.tlk");
  const TTLKString& blaze = t.Entries()[1];
  EXPECT_EQ(blaze.Flags(), 7u);
  EXPECT_EQ(blaze.SoundResRefText(), "snd_blaze");
  EXPECT_EQ(blaze.SoundLength(), 2.5f);
  EXPECT_EQ(blaze.StringSize(), 5u);
  EXPECT_TRUE(f.Logged(" [Install] \tdialog.tlk file updated with 2 replaced entries."));
  EXPECT_TRUE(f.Exists(f.App() + "backup/dialog.tlk"));
  EXPECT_EQ(f.CountContaining("Appending strings"), 0u);
  EXPECT_EQ(e.ProgressCount(), 1);
  EXPECT_EQ(e.WarningCount(), 0);
}

TEST_F(TLKReplace, SecondTableFromTheFileWithFAddedOnlyWhereBothExist) {
  f.WriteFile(f.Game() + "dialogf.tlk", TalkTable(std::vector<TalkEntry>{{""}, {"Feu"}, {"Givre"}}));
  f.WriteFile(f.Data() + "appendf.tlk", TalkTable(std::vector<TalkEntry>{{"Brasier"}, {"Glace"}}));
  TVEYPatcher& e = Engine("[TLKList]\nReplace0=append.tlk\n[append.tlk]\n2=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(Texts("dialog.tlk"), (std::vector<std::string>{"", "Fire", "Ice", "Stone"}));
  EXPECT_EQ(Texts("dialogf.tlk"), (std::vector<std::string>{"", "Feu", "Glace"}));
  EXPECT_TRUE(f.Logged(" [Install] \tdialogf.tlk file updated with 1 replaced entry."));

  // Without the mod's second file the second table is left alone.
  TalkGame other;
  other.f.WriteFile(other.f.Game() + "dialogf.tlk", TalkTable(std::vector<TalkEntry>{{""}, {"Feu"}, {"Givre"}}));
  const std::string untouched = other.f.ReadFile(other.f.Game() + "dialogf.tlk");
  other.Engine("[TLKList]\nReplace0=append.tlk\n[append.tlk]\n2=1\n").ProcessTLKList();
  EXPECT_EQ(other.f.ReadFile(other.f.Game() + "dialogf.tlk"), untouched);

  // Without the game's second table there is nothing to replace in, and no abort.
  TalkGame none;
  none.f.WriteFile(none.f.Data() + "appendf.tlk", TalkTable(std::vector<TalkEntry>{{"Brasier"}, {"Glace"}}));
  TVEYPatcher& n = none.Engine("[TLKList]\nReplace0=append.tlk\n[append.tlk]\n2=1\n");
  n.ProcessTLKList();
  EXPECT_FALSE(none.f.Exists(none.f.Game() + "dialogf.tlk"));
  EXPECT_EQ(n.ErrorCount(), 0);
}

TEST_F(TLKReplace, RunsAfterTheAppendsAndSkipsNumbersOutOfRange) {
  // Entry 4 is the one this run appends ("Ice" is new): not the game's to replace.
  TVEYPatcher& e = Engine(
      "[TLKList]\nStrRef0=1\nReplace0=append.tlk\n[append.tlk]\n0=1\n4=0\n2=9\nx=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(Texts("dialog.tlk"), (std::vector<std::string>{"Ice", "Fire", "Frost", "Stone", "Blaze", "Ice"}));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to replace entry 4 of dialog.tlk, the table has only 4 entries. "
                       "Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to replace entry 2 of dialog.tlk with entry 9 of append.tlk, that file "
                       "has only 2 entries. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid talk table replacement \"x=1\" in section [append.tlk], skipping..."));
  EXPECT_EQ(e.WarningCount(), 3);
  EXPECT_TRUE(f.Logged(" [Install] \tdialog.tlk file updated with 2 new entries."));
  EXPECT_TRUE(f.Logged(" [Install] \tdialog.tlk file updated with 1 replaced entry."));
  EXPECT_EQ(e.StrRefTable.front().Value, 5);
}

// Numbers at the edges are skipped with their warning and change nothing;
// with both tables replaced, the second pass repeats none of the warnings.
TEST_F(TLKReplace, NumbersAtTheEdgesAndWarningsSaidOnce) {
  f.WriteFile(f.Game() + "dialogf.tlk", TalkTable(std::vector<TalkEntry>{{""}, {"Feu"}, {"Givre"}, {"Pierre"}}));
  f.WriteFile(f.Data() + "appendf.tlk", TalkTable(std::vector<TalkEntry>{{"Brasier"}, {"Glace"}}));
  f.WriteFile(f.Data() + "other.tlk", TalkTable(std::vector<TalkEntry>{{"Other"}}));
  f.WriteFile(f.Data() + "otherf.tlk", TalkTable(std::vector<TalkEntry>{{"Autre"}}));
  TVEYPatcher& e = Engine(
      "[TLKList]\nReplace0=append.tlk\nReplace1=other.tlk\nReplace2=..\\outside.tlk\nReplace=append.tlk\n"
      "[append.tlk]\n2=2\n99999999999=1\n3=99999999999\nx=1\n");
  e.ProcessTLKList();
  EXPECT_EQ(Texts("dialog.tlk"), (std::vector<std::string>{"", "Fire", "Frost", "Stone"}));
  EXPECT_EQ(Texts("dialogf.tlk"), (std::vector<std::string>{"", "Feu", "Givre", "Pierre"}));
  EXPECT_EQ(f.CountContaining("with entry 2 of append.tlk, that file has only 2 entries"), 1u);
  EXPECT_EQ(f.CountContaining("with entry 2 of appendf.tlk, that file has only 2 entries"), 1u);
  for (const char* once : {"\"99999999999=1\"", "\"3=99999999999\"", "\"x=1\"", "No section [other.tlk]",
                           "outside.tlk"})
    EXPECT_EQ(f.CountContaining(once), 1u) << once;
  EXPECT_EQ(e.ErrorCount() + e.WarningCount(), 7);
}

// The second table's file takes the "f" before the extension of the file's
// own name, never in a folder's name.
TEST_F(TLKReplace, SecondFileNameAddsTheLetterToTheFileNotItsFolder) {
  f.WriteFile(f.Game() + "dialogf.tlk", TalkTable(std::vector<TalkEntry>{{""}, {"Feu"}}));
  f.WriteFile(f.Data() + "v1.2/strings", TalkTable(std::vector<TalkEntry>{{"Blaze"}}));
  f.WriteFile(f.Data() + "v1.2/stringsf", TalkTable(std::vector<TalkEntry>{{"Brasier"}}));
  TVEYPatcher& e = Engine("[TLKList]\nReplace0=v1.2\\strings\n[v1.2\\strings]\n1=0\n");
  e.ProcessTLKList();
  EXPECT_EQ(Texts("dialog.tlk"), (std::vector<std::string>{"", "Blaze", "Frost", "Stone"}));
  EXPECT_EQ(Texts("dialogf.tlk"), (std::vector<std::string>{"", "Brasier"}));
}

TEST_F(TLKReplace, MissingFileOrSectionWarnsAndChangesNothing) {
  const std::string original = f.ReadFile(f.Game() + "dialog.tlk");
  TVEYPatcher& e = Engine("[TLKList]\nReplace0=other.tlk\nReplace1=append.tlk\n");
  e.ProcessTLKList();
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to find the talk table \"other.tlk\" named by Replace0 in the data "
                       "folder, skipping its replacements..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo section [append.tlk] lists the entries to replace with append.tlk, "
                       "skipping..."));
  EXPECT_EQ(f.ReadFile(f.Game() + "dialog.tlk"), original);
  EXPECT_FALSE(f.Exists(f.App() + "backup/dialog.tlk"));
}

}  // namespace
}  // namespace vey::test
