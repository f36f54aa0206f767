// `summary` and `namespaces` on mods made by the test: the mod-folder options,
// installation types and their refusals, exit codes and UTF-8 output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

const char* const kTypesWithEscape =
    "[Namespaces]\nstd=default\nlite=LiteSection\nescape=EscapeSection\n"
    "[default]\nDescription=All of it\n"
    "[LiteSection]\nName=Light install\nIniName=lite.ini\nDataPath=lite\n"
    "[EscapeSection]\nName=Escape\nIniName=changes.ini\nDataPath=..\\..\\\n";

TEST(SummaryCommand, PrintsTheSummaryOfTheModsInstructionFile) {
  TempDir mod;
  mod.Write("veypatchdata/changes.ini",
            "[Settings]\nLogLevel=2\n[SSFList]\nF=caf\xE9.ssf\n");
  CliResult r = RunCli({"summary", "--mod", mod.Path().string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(HasLine(r.out, "VEYPatcher - CONFIGURATION SUMMARY"));
  EXPECT_TRUE(HasLine(r.out, "Log level: 2 - Errors and warnings only"));
  // Windows-1252 0xE9 reaches the terminal as UTF-8.
  EXPECT_TRUE(HasLine(r.out, " * caf\xC3\xA9.ssf - modify existing, location: override")) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(SummaryCommand, InstallLocationFromTheWinePrefixRegistry) {
  TempDir mod;
  mod.Write("veypatchdata/changes.ini", "[Settings]\nLookupGameFolder=1\nLookupGameNumber=1\n");
  mod.Write("prefix/system.reg",
            "WINE REGISTRY Version 2\n\n[Software\\\\Fenwyck\\\\XT\\\\ARKAN] 1700000000\n"
            "\"Path\"=\"C:\\\\Games\\\\Arkan\"\n");
  mod.Write("prefix/drive_c/Games/Arkan/dialog.tlk", "");
  const char* saved = std::getenv("WINEPREFIX");
  const std::string savedValue = saved ? saved : "";
  setenv("WINEPREFIX", (mod.Path() / "prefix").c_str(), 1);
  CliResult r = RunCli({"summary", "--mod", mod.Path().string()});
  saved ? setenv("WINEPREFIX", savedValue.c_str(), 1) : unsetenv("WINEPREFIX");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  auto it = std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("Install location: ", 0) == 0; });
  ASSERT_NE(it, lines.end());
  EXPECT_NE(it->find("Games"), std::string::npos) << *it;
  EXPECT_NE(*it, "Install location: User selected.");
}

TEST(SummaryCommand, MissingInstructionFileWarnsAndExits4) {
  TempDir mod;
  mod.Write("veypatchdata/info.rtf", "{\\rtf1}");
  CliResult r = RunCli({"summary", "--mod", mod.Path().string(), "--ini", "other.ini"});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_TRUE(HasLine(r.out, "Config file: other.ini"));
  EXPECT_TRUE(HasLine(r.out, "  (none)  "));
  EXPECT_EQ(r.err, "WARNING! Cannot locate the INI file \"other.ini\" with work instructions!\n");
}

TEST(SummaryCommand, InstallationTypeChoosesTheFilesAndFolder) {
  TempDir mod;
  mod.Write("veypatchdata/namespaces.ini", kTypesWithEscape);
  mod.Write("veypatchdata/changes.ini", "[Settings]\nLogLevel=1\n");
  mod.Write("veypatchdata/lite/lite.ini", "[Settings]\nLogLevel=0\n");

  CliResult none = RunCli({"summary", "--mod", mod.Path().string()});
  EXPECT_EQ(none.exitCode, 64);
  EXPECT_TRUE(HasLine(none.err, "  lite  Light install")) << none.err;
  EXPECT_TRUE(HasLine(none.err, "  std  Standard install")) << none.err;
  EXPECT_EQ(Lines(none.err).size(), 4u) << none.err;

  CliResult lite = RunCli({"summary", "--mod", mod.Path().string(), "--namespace", "LITE", "--ini", "x.ini"});
  EXPECT_EQ(lite.exitCode, 0) << lite.err;
  EXPECT_TRUE(HasLine(lite.out, "Config file: lite.ini"));
  EXPECT_TRUE(HasLine(lite.out, "Log level: 0 - No progress log"));

  // The climbing folder is refused: the base data folder's file is read.
  CliResult escape = RunCli({"summary", "--mod", mod.Path().string(), "--namespace", "escape"});
  EXPECT_EQ(escape.exitCode, 0) << escape.err;
  EXPECT_TRUE(HasLine(escape.out, "Log level: 1 - Errors only"));

  CliResult unknown = RunCli({"summary", "--mod", mod.Path().string(), "--namespace", "nope"});
  EXPECT_EQ(unknown.exitCode, 64);
  EXPECT_NE(Lines(unknown.err).back().find("\"nope\""), std::string::npos);
}

TEST(SummaryCommand, NamesWithTheWrongExtensionAreUsageErrors) {
  TempDir mod;
  mod.Write("veypatchdata/changes.ini", "");
  EXPECT_EQ(RunCli({"summary", "--mod", mod.Path().string(), "--ini", "changes.txt"}).exitCode, 64);
  EXPECT_EQ(RunCli({"summary", "--mod", mod.Path().string(), "--info", "info.txt"}).exitCode, 64);
  EXPECT_EQ(RunCli({"summary", "--mod", mod.Path().string(), "--namespace", "x"}).exitCode, 64);
}

TEST(NamespacesCommand, ListsEveryTypeAndExplainsRefusals) {
  TempDir mod;
  mod.Write("veypatchdata/namespaces.ini", kTypesWithEscape);
  mod.Write("veypatchdata/lite/lite.ini", "");
  CliResult r = RunCli({"namespaces", "--mod", mod.Path().string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string data = (mod.Path() / "veypatchdata").string() + "/";
  EXPECT_TRUE(HasLine(r.out, "[2] lite")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "    Name:             Light install"));
  EXPECT_TRUE(HasLine(r.out, "    Instruction file: lite.ini"));
  EXPECT_TRUE(HasLine(r.out, "    Data folder:      " + data + "lite/"));
  EXPECT_TRUE(HasLine(r.out, "    Description:      All of it"));
  EXPECT_TRUE(HasLine(r.out, "    Data folder:      " + data +
                                 "  (DataPath \"..\\..\\\" refused: it leads out of the data folder)"))
      << r.out;

  CliResult one = RunCli({"namespaces", "--mod", mod.Path().string(), "--namespace", "std"});
  EXPECT_EQ(one.exitCode, 0);
  EXPECT_TRUE(HasLine(one.out, "[1] std"));
  EXPECT_FALSE(HasLine(one.out, "[2] lite"));
}

TEST(NamespacesCommand, ModWithoutTypesHasOneStandardInstallation) {
  TempDir mod;
  mod.Write("veypatchdata/changes.ini", "");
  CliResult r = RunCli({"namespaces", "--mod", mod.Path().string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("one standard installation"), std::string::npos);
  EXPECT_TRUE(HasLine(r.out, "    Instruction file: changes.ini"));
}

}  // namespace
}  // namespace vey::test
