// veypatcher-cli install: paths with letters outside ASCII, the messages
// around the engine's, the exit codes, --log-level, and finding the game
// without --game (HOME pointed at a folder made by the test).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CliRun.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

// "Mon Jeu – Édition" and a letter no Windows code page holds.
const std::string kFolder = "Mon Jeu \xE2\x80\x93 \xC3\x89" "dition \xE3\x82\xB2";

class Messages : public ::testing::Test {
 protected:
  Messages() {
    dir.Write(kFolder + "/game/dialog.tlk", "TLK ");
    dir.Write(kFolder + "/game/chitin.key", "KEY ");
    dir.Write(kFolder + "/game/override/appearance.2da", TwoDA({"label"}, {{"Human"}}));
    fs::create_directories(dir / "home");
  }
  fs::path Root() const { return dir / kFolder; }
  std::string Mod() const { return (Root() / "mod").string(); }
  std::string Game() const { return (Root() / "game").string(); }
  void Ini(std::string_view text) { dir.Write(kFolder + "/mod/veypatchdata/changes.ini", text); }
  // Runs with an empty home, so nothing of the machine's own games is seen.
  CliResult Run(std::vector<std::string> args) const {
    args.insert(args.begin(), "install");
    return RunCli(args, {"HOME=" + (dir / "home").string(), "WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"});
  }

  TempDir dir;
};

constexpr std::string_view kIni =
    "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=Go?\n"
    "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\n";

TEST_F(Messages, FolderNamesKeepTheirLettersInEveryLog) {
  Ini(kIni);
  const std::string logFile = (dir / "run.log").string();
  const std::string json = (dir / "result.json").string();
  CliResult r = Run({"--mod", Mod(), "--game", Game(), "--yes", "--log-file", logFile, "--json", json});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string game = fs::weakly_canonical(Game()).string();
  const std::string updated = " [Install] \tUpdated 2DA file " + game + "/override/appearance.2da.";
  EXPECT_TRUE(HasLine(r.out, " [Debug] \tInstall path set to " + game + "/.")) << r.out;
  EXPECT_NE(r.out.find("\n [Debug] \tRecording the changes of this run in " + game + "/.veypatcher/runs/"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(HasLine(r.out, updated)) << r.out;
  EXPECT_TRUE(HasLine(dir.Read("run.log"), updated));
  // The result for other programs carries the same text (JSON escapes only control characters).
  EXPECT_NE(dir.Read("result.json").find("\"Updated 2DA file " + game + "/override/appearance.2da.\""),
            std::string::npos)
      << dir.Read("result.json");
  // The rich log holds the dash and the letter in its code page, the rest as Unicode.
  const std::string rtf = dir.Read(kFolder + "/mod/installlog.rtf");
  EXPECT_NE(rtf.find("Mon Jeu \\'96 \\'c9dition \\u12466?/game/override/appearance.2da."), std::string::npos) << rtf;

  Ini("[Settings]\nPlaintextLog=1\n" + std::string(kIni).substr(11));
  ASSERT_EQ(Run({"--mod", Mod(), "--game", Game(), "--yes", "--reinstall"}).exitCode, 0);
  EXPECT_TRUE(HasLine(dir.Read(kFolder + "/mod/installlog.txt"), updated));
}

// The compiler's line names the compiler and the folder the sandbox lets it
// write to; both keep their letters like every other path.
TEST_F(Messages, CompilerLineKeepsTheLettersOfItsFolders) {
  Ini(std::string(kIni) + "[CompileList]\nS0=a.nss\n");
  dir.Write(kFolder + "/mod/veypatchdata/a.nss", "void main() {}\n");
  const fs::path own = dir.Write(kFolder + "/person/compiler",
                                 "#!/bin/sh\nwhile [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n");
  fs::permissions(own, fs::perms::owner_all);
  const std::string lead = "Scripts are compiled by your own compiler \"" + own.string() + "\", a native program, ";
  CliResult r = Run({"--mod", Mod(), "--game", Game(), "--yes", "--compiler", own.string(), "--no-sandbox"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(lead + "without a sandbox (it was turned off)."), std::string::npos) << r.out;

  CliResult boxed = Run({"--mod", Mod(), "--game", Game(), "--yes", "--reinstall", "--compiler", own.string()});
  EXPECT_NE(boxed.out.find(lead), std::string::npos) << boxed.out;
  if (boxed.out.find("in a sandbox that may write only to") != std::string::npos) {
    EXPECT_NE(boxed.out.find("in a sandbox that may write only to " + Mod() + "/veypatchdata/, without network."),
              std::string::npos)
        << boxed.out;
  }
}

TEST_F(Messages, GameOptionIsCheckedBeforeTheQuestion) {
  Ini(kIni);
  struct {
    std::string folder;
    const char* says;
  } cases[] = {{(Root() / "absent").string(), "is not a folder"},
               {(Root() / "mod").string(), "is not a game folder"}};
  for (const auto& c : cases) {
    CliResult r = Run({"--mod", Mod(), "--game", c.folder, "--yes"});
    EXPECT_EQ(r.exitCode, 64) << c.folder;
    EXPECT_NE(r.err.find("\"" + c.folder + "\" " + c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Go?"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

TEST_F(Messages, DataFolderAsModAndNoInformationFileStillInstall) {
  Ini(kIni);  // the mod has no info.rtf
  CliResult r = Run({"--mod", Mod() + "/veypatchdata/", "--game", Game(), "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(Root() / "mod/installlog.rtf"));
}

TEST_F(Messages, NoneOfTheCommandLinesOwnTextsDoublesAPrefix) {
  fs::create_directories(Root() / "mod/veypatchdata");
  CliResult missing = Run({"--mod", Mod(), "--game", Game(), "--yes"});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_TRUE(HasLine(missing.err, "WARNING! Cannot locate the INI file \"changes.ini\" with work instructions!"))
      << missing.err;

  Ini(kIni);
  CliResult declined = Run({"--mod", Mod(), "--game", Game()});
  EXPECT_EQ(declined.exitCode, 4);
  EXPECT_TRUE(HasLine(declined.err, "Nothing was changed.")) << declined.err;

  // No game folder anywhere and no terminal to ask on: a usage error naming
  // --game, before the question and before any run.
  CliResult noGame = Run({"--mod", Mod(), "--yes"});
  EXPECT_EQ(noGame.exitCode, 64);
  EXPECT_NE(noGame.err.find("give it with --game DIR"), std::string::npos) << noGame.err;
  EXPECT_EQ(noGame.err.find("occured!"), std::string::npos) << noGame.err;
  EXPECT_EQ(noGame.out.find("started"), std::string::npos) << noGame.out;
}

TEST_F(Messages, SystemFailuresNameTheFileAndTheReason) {
  Ini(kIni);
  // A file where the backup folder belongs: the system refuses the folder.
  dir.Write(kFolder + "/mod/backup", "not a folder");
  CliResult r = Run({"--mod", Mod(), "--game", Game(), "--yes"});
  EXPECT_EQ(r.exitCode, 3);
  const std::string backup = (Root() / "mod/backup").string();
  EXPECT_NE(r.out.find("\"" + backup), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("File exists"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("File exists"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("(0)"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("(0)"), std::string::npos) << r.err;
}

TEST_F(Messages, LogLevelOptionChangesTheLinesNotTheVerdict) {
  // One warning: a 2DA entry without a file name.
  Ini("[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=1\nConfirmMessage=N/A\n[2DAList]\nTable0=\n");
  CliResult quiet = Run({"--mod", Mod(), "--game", Game()});
  CliResult loud = Run({"--mod", Mod(), "--game", Game(), "--reinstall", "--log-level", "4"});
  EXPECT_EQ(quiet.exitCode, 1);
  EXPECT_EQ(loud.exitCode, 1);
  EXPECT_EQ(quiet.out.find("[Warning]"), std::string::npos);
  EXPECT_NE(loud.out.find(" [Warning] \tNo  file was specified! Skipping it..."), std::string::npos) << loud.out;
  EXPECT_NE(loud.out.find(" [Debug] \t"), std::string::npos);
  for (const CliResult* r : {&quiet, &loud})
    EXPECT_NE(r->out.find("Done. Changes have been applied, but 1 warnings were encountered."), std::string::npos);

  // Level 0 writes nothing, not even the log file, and still counts as the mod says.
  fs::remove(Root() / "mod/installlog.rtf");
  CliResult silent = Run({"--mod", Mod(), "--game", Game(), "--reinstall", "--log-level", "0"});
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_TRUE(silent.out.empty()) << silent.out;
  EXPECT_FALSE(fs::exists(Root() / "mod/installlog.rtf"));
  EXPECT_EQ(Run({"--mod", Mod(), "--game", Game(), "--log-level", "5"}).exitCode, 64);
}

TEST_F(Messages, EveryCommandListsItsExitCodes) {
  for (const char* command :
       {"install", "uninstall", "history", "validate", "summary", "info", "namespaces", "dump", "diff", "games"}) {
    CliResult r = RunCli({command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("Exit status:"), std::string::npos) << command;
    EXPECT_NE(r.out.find("64"), std::string::npos) << command;
  }
}

TEST_F(Messages, WithoutGameTheFinderChoosesOrAsksWhichToPass) {
  Ini(kIni);
  // One game in a Steam library: it is taken, and named before the question.
  const fs::path steam = dir / "home/.local/share/Steam/steamapps/common";
  fs::create_directories(steam);
  fs::create_directory_symlink(Root() / "game", steam / "Game");
  CliResult one = Run({"--mod", Mod(), "--yes"});
  EXPECT_EQ(one.exitCode, 0) << one.err;
  EXPECT_NE(one.err.find("Game folder found: " + (steam / "Game").string()), std::string::npos) << one.err;
  EXPECT_LT(one.err.find("Game folder found"), one.err.find("Go?"));

  // Two: without a terminal, both are listed and nothing runs.
  dir.Write("home/.local/share/Steam/steamapps/common/Other/DIALOG.TLK", "TLK ");
  dir.Write("home/.local/share/Steam/steamapps/common/Other/Chitin.key", "KEY ");
  CliResult two = Run({"--mod", Mod(), "--yes"});
  EXPECT_EQ(two.exitCode, 64);
  EXPECT_NE(two.err.find("--game"), std::string::npos) << two.err;
  EXPECT_NE(two.err.find("[2] " + (steam / "Other").string()), std::string::npos) << two.err;

  CliResult listed = RunCli({"games"}, {"HOME=" + (dir / "home").string(), "WINEPREFIX", "XDG_DATA_HOME"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_TRUE(HasLine(listed.out, (steam / "Game").string())) << listed.out;
  EXPECT_TRUE(HasLine(listed.out, (steam / "Other").string())) << listed.out;
  EXPECT_EQ(RunCli({"games"}, {"HOME=" + (dir / "nohome").string(), "WINEPREFIX", "XDG_DATA_HOME"}).exitCode, 1);
}

}  // namespace
}  // namespace vey::test
