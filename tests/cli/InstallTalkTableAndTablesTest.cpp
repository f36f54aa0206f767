// veypatcher-cli install on a mod that appends strings and extends a 2DA
// table: the files it leaves, its log file and exit codes, and a second
// installation over the first.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliRun.h"
#include "formats/U2DAEdit.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

std::vector<std::uint8_t> SpellTable() {
  // Columns label, name, id; rows "fire" (name 100, id 4) and "ice" (101, 9).
  return Bytes()
      .Ascii("2DA V2.b")
      .U8(0x0A)
      .Ascii("label\tname\tid\t")
      .U8(0)
      .I32(2)
      .Ascii("0\t1\t")
      .U16(0).U16(5).U16(9).U16(11).U16(15).U16(19)
      .U16(21)
      .Ascii("fire").U8(0).Ascii("100").U8(0).Ascii("4").U8(0)
      .Ascii("ice").U8(0).Ascii("101").U8(0).Ascii("9").U8(0)
      .Build();
}

class CliInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Fire", "Frost bolt"}));
    dir.Write("game/override/spells.2da", SpellTable());
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 Spells}");
    dir.Write("mod/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{"Frost bolt", "Lightning"}));
  }
  void Instructions(std::string_view extra) {
    dir.Write("mod/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n"
              "[TLKList]\nStrRef0=0\nStrRef1=1\n"
              "[2DAList]\nTable0=spells.2da\n"
              "[spells.2da]\nAddRow0=lightning\nChangeRow0=fire_name\n"
              "[lightning]\nExclusiveColumn=label\nlabel=lightning\nname=StrRef1\nid=high()\n"
              "2DAMEMORY1=RowIndex\n"
              "[fire_name]\nRowLabel=0\nname=StrRef0\n" +
                  std::string(extra));
  }
  CliResult Install(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"install", "--mod", (dir / "mod").string(), "--game", (dir / "game").string(),
                                  "--yes", "--log-file", (dir / "log.txt").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  }
  T2DAHandler Spells() {
    T2DAHandler table;
    table.LoadFromBytes(ToBytes(dir.Read("game/override/spells.2da")));
    return table;
  }
  bool LogHas(const std::string& line) {
    auto lines = Lines(dir.Read("log.txt"));
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  TempDir dir;
};

TEST_F(CliInstall, AppendsStringsAndWritesTheirNumbersIntoTheTable) {
  Instructions("");
  const std::string originalTable = dir.Read("game/override/spells.2da");
  const std::string originalTalk = dir.Read("game/dialog.tlk");
  CliResult first = Install();
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;

  EXPECT_EQ(TalkTexts(ToBytes(dir.Read("game/dialog.tlk"))),
            (std::vector<std::string>{"", "Fire", "Frost bolt", "Lightning"}));
  T2DAHandler spells = Spells();
  ASSERT_EQ(spells.RowCount(), 3);
  EXPECT_EQ(spells.GetCell(2, 0), "lightning");
  EXPECT_EQ(spells.GetCell(2, 1), "3");   // the appended string
  EXPECT_EQ(spells.GetCell(2, 2), "10");  // high() over 4 and 9
  EXPECT_EQ(spells.GetCell(0, 1), "2");   // the reused string
  EXPECT_EQ(dir.Read("mod/backup/spells.2da"), originalTable);
  EXPECT_EQ(dir.Read("mod/backup/dialog.tlk"), originalTalk);
  EXPECT_TRUE(LogHas(" [Install] \tdialog.tlk file updated with 1 new entries, 1 entries already existed."));
  EXPECT_TRUE(LogHas(" [STATUS] \tDone. All changes have been applied."));

  // Installed again: the string is found, the exclusive row is matched, and
  // the first backups stay.
  CliResult second = Install({"--reinstall"});
  ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_EQ(TalkTexts(ToBytes(dir.Read("game/dialog.tlk"))).size(), 4u);
  EXPECT_EQ(Spells().RowCount(), 3);
  EXPECT_EQ(Spells().GetCell(2, 1), "3");
  EXPECT_EQ(dir.Read("mod/backup/dialog.tlk"), originalTalk);
  EXPECT_TRUE(LogHas(" [Install] \tdialog.tlk file not updated, all 2 entries were already present."));
}

TEST_F(CliInstall, ProblemsInModifiersSetTheExitCode) {
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\n[TLKList]\nStrRef0=0\n"
            "[2DAList]\nTable0=spells.2da\n[spells.2da]\nChangeRow0=bad\n"
            "[bad]\nRowIndex=0\nnosuch=1\n");
  CliResult warned = Install();
  EXPECT_EQ(warned.exitCode, 1) << warned.out << warned.err;
  EXPECT_TRUE(LogHas(" [Warning] \tInvalid column label \"nosuch\" encountered! Skipping entry..."));

  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\n[2DAList]\nTable0=spells.2da\n"
            "[spells.2da]\nChangeRow0=bad\n[bad]\nRowIndex=zero\nname=1\n");
  CliResult failed = Install();
  EXPECT_EQ(failed.exitCode, 3) << failed.out << failed.err;
  EXPECT_TRUE(LogHas(" [Error] \tUnhandled exception: 'zero' is not a valid integer value (0)"));
}

}  // namespace
}  // namespace vey::test
