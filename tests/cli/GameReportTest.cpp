// The game folder's report: its findings, and no personal path or name in it.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliRun.h"
#include "engine/run/UGameReport.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class GameReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home = dir / "home/jane.doe";
    game = home / "Games/My Game";
    mod = home / "Downloads/jane.doe/Better Tex";
    dir.Write("home/jane.doe/Games/My Game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
    dir.Write("home/jane.doe/Games/My Game/Override/tex.tga", "targa");
    dir.Write("home/jane.doe/Games/My Game/Override/Clash.2da", "a");
    dir.Write("home/jane.doe/Games/My Game/Override/clash.2DA", "b");
    const std::string data = "home/jane.doe/Downloads/jane.doe/Better Tex/veypatchdata/";
    dir.Write(data + "info.rtf", "{\\rtf1 x}");
    dir.Write(data + "append.tlk", TalkTable(std::vector<std::string>{"New", "Newer"}));
    dir.Write(data + "tex.tpc", "tpc");
    dir.Write(data + "note.txt", "note");
    dir.Write(data + "changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[TLKList]\nStrRef0=0\nStrRef1=1\n"
              "[InstallList]\nf=override\n[f]\nFile0=tex.tpc\nFile1=note.txt\n");
  }
  TempDir dir;
  fs::path home, game, mod;
};

TEST_F(GameReportTest, NamesModsChangesClashesTexturesAndTalkTableSizes) {
  CliResult installed = RunCli({"install", "--mod", mod.string(), "--game", game.string(), "--yes"});
  ASSERT_EQ(installed.exitCode, 0) << installed.out;
  dir.Write("home/jane.doe/Games/My Game/Override/note.txt", "edited");

  const std::string text = GameReport(game.string(), {home.string(), "jane.doe"});
  for (const char* expected : {
           "Game folder: ~/Games/My Game\n",
           "  1. Better Tex - ok, ",
           " UTC, 3 files\n",
           "  changed: Override/note.txt (written by Better Tex)\n",
           "  Clash.2da (not installed by VEYPatcher), clash.2DA (not installed by VEYPatcher)\n",
           "  tex: tex.tga (not installed by VEYPatcher), tex.tpc (Better Tex)\n",
           "  dialog.tlk: 4 entries\n",
       })
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
  EXPECT_EQ(text.find("jane.doe"), std::string::npos) << text;
  EXPECT_EQ(text.find(dir.Path().string()), std::string::npos) << text;
  EXPECT_EQ(text.find("Downloads"), std::string::npos) << text;
}

TEST_F(GameReportTest, CommandWritesTheFileAndShowsTheHomeAsTilde) {
  ASSERT_EQ(RunCli({"install", "--mod", mod.string(), "--game", game.string(), "--yes"}).exitCode, 0);
  const fs::path out = dir / "report.txt";
  CliResult r = RunCli({"report", "--game", game.string(), "-o", out.string()}, {"HOME=" + home.string()});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string text = dir.Read("report.txt");
  EXPECT_NE(text.find("Game folder: ~/Games/My Game\n"), std::string::npos) << text;
  EXPECT_EQ(text.find(home.string()), std::string::npos) << text;
  EXPECT_NE(text.find("Files changed outside the installer since it wrote them:\n  (none)\n"), std::string::npos)
      << text;
}

// A game outside the home folder whose path holds the user name (a second
// drive mounted under /media/NAME) does not give the name away.
TEST(GameReportPrivacy, UserNameInAPathOutsideHomeIsLeftOut) {
  TempDir dir;
  dir.Write("media/jane/Games/dialog.tlk", TalkTable(std::vector<std::string>{""}));
  const std::string text = GameReport((dir / "media/jane/Games").string(), {"/home/jane", "jane"});
  EXPECT_EQ(text.find("/jane/"), std::string::npos) << text;
  EXPECT_NE(text.find("/media/<user>/Games"), std::string::npos) << text;
}

// Names are checked as names: one file is no clash, one format twice is no
// choice of formats, and the home folder and the user name are only
// replaced where they stand whole.
TEST(GameReportPrivacy, ClashesFormatsHomeAndUserAreMatchedWhole) {
  TempDir dir;
  const fs::path game = dir / "anna/game";
  for (const char* name : {"single.2da", "pic.tga", "PIC.TGA", "skin.tga", "skin.dds", "annotations.txt",
                           "Annotations.txt"})
    dir.Write("anna/game/override/" + std::string(name), "x");
  const std::string text = GameReport(game.string(), {(dir / "ann").string(), "ann"});
  const std::size_t clashes = text.find("differ only in letter case"), textures = text.find("several formats");
  ASSERT_NE(clashes, std::string::npos) << text;
  ASSERT_NE(textures, std::string::npos) << text;
  const std::string clashText = text.substr(clashes, textures - clashes), textureText = text.substr(textures);
  EXPECT_NE(text.find("Game folder: " + game.string() + "\n"), std::string::npos) << text;
  EXPECT_NE(clashText.find("Annotations.txt (not installed by VEYPatcher), annotations.txt"), std::string::npos)
      << text;
  EXPECT_NE(clashText.find("PIC.TGA (not installed by VEYPatcher), pic.tga"), std::string::npos) << text;
  EXPECT_EQ(clashText.find("single.2da"), std::string::npos) << text;
  EXPECT_EQ(clashText.find("skin"), std::string::npos) << text;
  EXPECT_NE(textureText.find("skin: skin.dds (not installed by VEYPatcher), skin.tga"), std::string::npos) << text;
  EXPECT_EQ(textureText.find("pic"), std::string::npos) << text;
  EXPECT_EQ(text.find("<user>"), std::string::npos) << text;
}

}  // namespace
}  // namespace vey::test
