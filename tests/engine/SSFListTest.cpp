// SSFList: entries set by label in any case from numbers and tokens, values
// refused one by one, and whole files skipped on a label not in the table.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "formats/USSFFile.h"

namespace vey::test {
namespace {


// A soundset whose entry i holds 1000 + i, its table at tableOffset.
std::vector<std::uint8_t> Soundset(std::uint32_t tableOffset = 12) {
  Bytes b;
  b.Ascii("SSF V1.1").U32(tableOffset).Zeros(tableOffset - 12);
  for (int i = 1; i <= 40; ++i) b.I32(1000 + i);
  return b;
}

TSSFFile Load(const std::string& path) {
  TSSFFile s;
  s.LoadFromFile(path);
  return s;
}

TEST(SSFListEntries, LabelsInAnyCaseTakeNumbersAndTokens) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[SSFList]\nFile0=hero.ssf\n"
        "[hero.ssf]\n!saveas=hero.ssf\nbattlecry 1=StrRef7\nSELECTED 1=2DAMEMORY2\n"
        "Attack 1=4294967295\nPain 1=-1\nDeath=abc\nLow health=strref99\nUnknown(40)=$10\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/hero.ssf", Soundset(20));
  TVEYPatcher& e = f.Engine();
  e.StrRefTable.push_back({7, 123456});
  e.Memory = {"1", "2042"};
  e.ProcessSSFList();

  TSSFFile s = Load(f.Game() + "override/hero.ssf");
  EXPECT_EQ(s.Value(1), 123456);
  EXPECT_EQ(s.Value(7), 2042);
  EXPECT_EQ(s.Value(10), -1);
  EXPECT_EQ(s.Value(13), -1);
  EXPECT_EQ(s.Value(16), 1016);  // "abc" is refused on its own
  EXPECT_EQ(s.Value(15), 0);     // an undefined StrRef token gives 0
  EXPECT_EQ(s.Value(40), 16);
  EXPECT_EQ(s.Value(2), 1002);
  // Read from offset 20, written back in the 172-byte form.
  EXPECT_EQ(f.ReadFile(f.Game() + "override/hero.ssf").size(), TSSFFile::kFileSize);

  EXPECT_TRUE(f.Logged(" [Install] \tModifying StrRefs in Soundset file \"hero.ssf\"..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tSetting Soundset entry \"battlecry 1\" to 123456..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tSetting Soundset entry \"Attack 1\" to 4294967295..."));
  EXPECT_TRUE(f.Logged(
      " [Warning] \tUnable to set StrRef for entry \"Death\", abc is not a valid StrRef value!"));
  EXPECT_TRUE(f.Logged(" [Debug] \tFinished updating 6 entries in file \"hero.ssf\"."));
  EXPECT_EQ(e.ProgressCount(), 1);
  // The soundset found in override is kept unaltered before it is rewritten.
  EXPECT_EQ(Load(f.App() + "backup/hero.ssf").Value(1), 1001);
}

TEST(SSFListFiles, BackupOfAnOverrideSoundsetIsTakenOnceAndCopiesAreNotBackedUp) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[SSFList]\nFile0=hero.ssf\nFile1=new.ssf\n"
        "[hero.ssf]\nDeath=3\n[new.ssf]\nDeath=4\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/hero.ssf", Soundset());
  f.WriteFile(f.Data() + "new.ssf", Soundset());
  f.WriteFile(f.App() + "backup/hero.ssf", Soundset(16));  // from an earlier install
  f.Engine().ProcessSSFList();
  EXPECT_EQ(Load(f.Game() + "override/hero.ssf").Value(16), 3);
  EXPECT_EQ(f.ReadFile(f.App() + "backup/hero.ssf").size(), 12u + 4 + 160);  // the first stays
  EXPECT_FALSE(std::filesystem::exists(f.App() + "backup/new.ssf"));  // a fresh copy has nothing to keep
}

TEST(SSFListEntries, UnknownLabelDiscardsTheWholeFileAndTheNextFileFollows) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[SSFList]\nFile0=bad.ssf\nFile1=good.ssf\n"
        "[bad.ssf]\nBattlecry 1=5\nBattlecry1=6\nBattlecry 2=7\n"
        "[good.ssf]\nDeath=9\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/bad.ssf", Soundset());
  f.WriteFile(f.Game() + "override/good.ssf", Soundset());
  TVEYPatcher& e = f.Engine();
  e.ProcessSSFList();

  const std::vector<std::uint8_t> original = Soundset();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/bad.ssf"),
            std::string(original.begin(), original.end()));
  EXPECT_TRUE(f.Logged(
      " [Error] \tUnable to change value in SSF file, label \"Battlecry1\" is not a valid entry "
      "label! [2] - file skipped!"));
  EXPECT_EQ(Load(f.Game() + "override/good.ssf").Value(16), 9);
  EXPECT_EQ(e.ProgressCount(), 1);
  EXPECT_EQ(e.ErrorCount(), 1);
}

TEST(SSFListFiles, MissingSectionIsSkippedBeforeAnyoneIsAskedAndBadFilesAreErrors) {
  EngineFixture f;
  f.Ini(
      "[Settings]\nInstallerMode=0\nLogLevel=4\n[SSFList]\nFile0=orphan.ssf\nFile1=text.ssf\n"
      "[text.ssf]\nDeath=1\n");
  f.WriteFile(f.Data() + "text.ssf", ToBytes("SSF V1.0 not really"));
  f.fake.openDialog.answers.push_back(f.Data() + "text.ssf");
  f.Engine().ProcessSSFList();
  EXPECT_TRUE(f.Logged(
      " [Warning] \tFile \"orphan.ssf\" has no modifier section specified! Skipping it..."));
  // Only the second file was asked for by hand.
  ASSERT_EQ(f.fake.openDialog.requests.size(), 1u);
  EXPECT_EQ(f.fake.openDialog.requests[0].fileName, "text.ssf");
  EXPECT_TRUE(f.Logged(" [Error] \tSelected file \"" + f.Data() +
                       "text.ssf\" is not a valid SSF v1.1 file! [1] - "
                       "file skipped!"));
  EXPECT_EQ(f.ReadFile(f.Data() + "text.ssf"), "SSF V1.0 not really");

  // A cancelled choice skips the file with the usual line.
  EngineFixture g;
  g.Ini("[Settings]\nInstallerMode=0\n[SSFList]\nFile0=x.ssf\n[x.ssf]\nDeath=1\n");
  g.Engine().ProcessSSFList();
  EXPECT_TRUE(g.Logged(" [Warning] \tNo x.ssf file was specified! Skipping it..."));
}

TEST(SSFListFiles, ReplaceKeyTakesTheModsCopy) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[SSFList]\nReplace0=hero.ssf\n[hero.ssf]\nDeath=3\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/hero.ssf", Soundset());
  Bytes mod;
  mod.Ascii("SSF V1.1").U32(12);
  for (int i = 0; i < 40; ++i) mod.I32(-1);
  f.WriteFile(f.Data() + "hero.ssf", mod);
  f.Engine().ProcessSSFList();
  TSSFFile s = Load(f.Game() + "override/hero.ssf");
  EXPECT_EQ(s.Value(16), 3);
  EXPECT_EQ(s.Value(1), -1);
  EXPECT_EQ(Load(f.App() + "backup/hero.ssf").Value(1), 1001);
}

}  // namespace
}  // namespace vey::test
