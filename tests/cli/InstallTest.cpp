// veypatcher-cli install, run as a program on a mod and a game folder written
// by the test: exit codes, log lines, closing messages and file contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CliRun.h"
#include "formats/U2DAEdit.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

class Install : public ::testing::Test {
 protected:
  Install() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 A mod.}");
    dir.Write("game/override/appearance.2da", TwoDA({"label", "race"}, {{"Human", "H"}, {"Elf", "E"}}));
  }
  std::string Mod() const { return (dir / "mod").string(); }
  std::string Game() const { return (dir / "game").string(); }
  void Ini(std::string_view text) { dir.Write("mod/veypatchdata/changes.ini", text); }
  CliResult Run(std::vector<std::string> extra) {
    std::vector<std::string> args{"install", "--mod", Mod(), "--game", Game()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  }
  static bool HasLine(const std::string& text, const std::string& line) {
    auto lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  T2DAHandler Table(const std::string& relative) const {
    T2DAHandler table;
    table.LoadFromFile(dir / relative);
    return table;
  }

  TempDir dir;
};

constexpr std::string_view kInstallerIni =
    "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=Install it?\n";

TEST_F(Install, CleanRunExitsZeroAndLeavesLogsAndBackups) {
  Ini(std::string(kInstallerIni) + "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\n");
  const std::string logFile = (dir / "run.log").string();
  CliResult r = Run({"--yes", "--log-file", logFile});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string game = std::filesystem::weakly_canonical(Game()).string() + "/";
  const std::string updated = " [Install] \tUpdated 2DA file " + game + "override/appearance.2da.";
  EXPECT_TRUE(HasLine(r.out, updated)) << r.out;
  EXPECT_TRUE(HasLine(r.out, " [STATUS] \tDone. All changes have been applied.")) << r.out;
  EXPECT_TRUE(HasLine(r.err, "The Installer is finished. Please check the progress log for details about what has been done."))
      << r.err;
  EXPECT_NE(r.err.find("Install it?"), std::string::npos);
  // The file log holds the same lines, written as they came.
  std::string logged = dir.Read("run.log");
  EXPECT_EQ(Lines(logged), Lines(r.out));
  EXPECT_TRUE(std::filesystem::exists(dir / "mod/installlog.rtf"));
  EXPECT_NE(dir.Read("mod/installlog.rtf").find("Done. All changes have been applied."), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "mod/backup/appearance.2da"));
  EXPECT_EQ(Table("game/override/appearance.2da").RowCount(), 2);
}

TEST_F(Install, WarningsErrorsAndEscapingNamesChooseTheExitCode) {
  Ini(std::string(kInstallerIni) + "[2DAList]\nTable0=\n");
  EXPECT_EQ(Run({"--yes"}).exitCode, 1);

  Ini(std::string(kInstallerIni) + "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\n!SaveAs=..\\..\\stolen.2da\n");
  CliResult r = Run({"--yes"});
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "stolen.2da"));
  EXPECT_NE(r.err.find("The Installer is finished, but 1 errors and 1 warnings were encountered!"), std::string::npos)
      << r.err;
}

TEST_F(Install, FailureEndsTheRunWithItsTagAndExitThree) {
  Ini(std::string(kInstallerIni) + "Required=needed.2da\n[2DAList]\nTable0=appearance.2da\n");
  CliResult r = Run({"--yes"});
  EXPECT_EQ(r.exitCode, 3);
  const std::string message = "Cannot locate required file needed.2da, unable to continue with install!";
  EXPECT_TRUE(HasLine(r.out, " [Error] \t" + message + " (GEN-99)")) << r.out;
  EXPECT_EQ(r.out.find("Done."), std::string::npos);
  // The window's text says its kind itself; no "Warning: " goes before it.
  EXPECT_TRUE(HasLine(r.err, "An error occured! " + message + " (GEN-99)")) << r.err;
  // The log is saved after a failure too.
  EXPECT_TRUE(std::filesystem::exists(dir / "mod/installlog.rtf"));
}

TEST_F(Install, NothingRunsWithoutConfirmationMarkerOrInstructionFile) {
  CliResult missing = Run({"--yes"});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_NE(missing.err.find("WARNING! Cannot locate the INI file \"changes.ini\" with work instructions!"),
            std::string::npos);

  Ini("[Settings]\nInstallerMode=1\n[2DAList]\nTable0=appearance.2da\n");
  CliResult noMarker = Run({"--yes"});
  EXPECT_EQ(noMarker.exitCode, 4);
  EXPECT_NE(noMarker.err.find("Unable to load the changes.ini file!"), std::string::npos);

  // No --yes and no terminal: the question is answered No.
  Ini(std::string(kInstallerIni) + "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\n");
  CliResult declined = Run({});
  EXPECT_EQ(declined.exitCode, 4);
  EXPECT_TRUE(declined.out.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "mod/backup"));

  // "N/A" starts without a question.
  Ini("[Settings]\nFileExists=1\nInstallerMode=1\nConfirmMessage=N/A\n");
  EXPECT_EQ(Run({}).exitCode, 0);
}

TEST_F(Install, PatcherModeTakesFilesFromPicks) {
  Ini("[Settings]\nFileExists=1\nLogLevel=4\nPlaintextLog=1\n[2DAList]\nT0=mine.2da\nT1=other.2da\n[mine.2da]\n");
  dir.Write("elsewhere/Mine.2da", TwoDA({"label"}, {{"x"}}));
  CliResult r = RunCli({"install", "--mod", Mod(), "--yes", "--pick", "mine.2da=" + (dir / "elsewhere/Mine.2da").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_TRUE(HasLine(r.out, " [Warning] \tNo other.2da file was specified! Skipping it...")) << r.out;
  EXPECT_NE(r.out.find("Updated 2DA file "), std::string::npos);
  EXPECT_NE(r.err.find("The Patcher is finished, but 1 warnings were encountered!"), std::string::npos);
  // Plain-text mode saves the tagged lines as text.
  EXPECT_NE(dir.Read("mod/installlog.txt").find(" [Warning] \tNo other.2da file was specified! Skipping it..."),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "mod/installlog.rtf"));
}

TEST_F(Install, NamespacesMustBeChosenByIdentifier) {
  dir.Write("mod/veypatchdata/namespaces.ini",
            "[Namespaces]\nfull=default\nlite=lite_section\n[lite_section]\nName=Light install\n"
            "IniName=lite.ini\nDataPath=lite\n");
  dir.Write("mod/veypatchdata/lite/lite.ini", "[Settings]\nFileExists=1\nLogLevel=4\nConfirmMessage=N/A\n");
  dir.Write("mod/veypatchdata/lite/info.rtf", "{\\rtf1 Light.}");
  Ini("[Settings]\nFileExists=1\n");
  CliResult listed = Run({"--yes"});
  EXPECT_EQ(listed.exitCode, 64);
  EXPECT_TRUE(HasLine(listed.err, "  full  Standard install")) << listed.err;
  EXPECT_TRUE(HasLine(listed.err, "  lite  Light install")) << listed.err;

  CliResult unknown = Run({"--namespace", "nope"});
  EXPECT_EQ(unknown.exitCode, 64);

  CliResult lite = Run({"--namespace", "LITE"});
  EXPECT_EQ(lite.exitCode, 0) << lite.err;
  EXPECT_TRUE(HasLine(lite.out, " [STATUS] \tDone. All changes have been applied.")) << lite.out;
}

TEST_F(Install, UsageErrorsExit64) {
  Ini(kInstallerIni);
  EXPECT_EQ(Run({"--pick", "noequals"}).exitCode, 64);
  EXPECT_EQ(Run({"--ini", "changes.txt"}).exitCode, 64);
  EXPECT_EQ(Run({"--namespace", "x"}).exitCode, 64);
  EXPECT_EQ(RunCli({"install", "--mod", (dir / "absent").string()}).exitCode, 64);
}

}  // namespace
}  // namespace vey::test
