// The command line and a stranger's mod: installation types that lead out of
// the data folder through a link or name what is not there, the person's own
// compiler, and wine's messages kept out of the terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIni = "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n";

class UntrustedMod : public ::testing::Test {
 protected:
  UntrustedMod() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 A mod.}");
  }
  std::string Mod() const { return (dir / "mod").string(); }
  std::string Data() const { return (dir / "mod" / "veypatchdata").string() + "/"; }
  fs::path Executable(const std::string& relative, std::string_view text) const {
    auto path = dir.Write(relative, text);
    ::chmod(path.c_str(), 0755);
    return path;
  }
  TempDir dir;
};

TEST_F(UntrustedMod, AnInstallationTypeLinkedOutOfTheDataFolderIsRefused) {
  dir.Write("mod/veypatchdata/namespaces.ini", "[Namespaces]\nx=x\n[x]\nName=X\nDataPath=sub\n");
  dir.Write("private/changes.ini", std::string(kIni));
  dir.Write("private/info.rtf", "{\\rtf1 private}");
  fs::create_symlink(dir / "private", Data() + "sub");
  CliResult out = RunCli({"summary", "--mod", Mod(), "--namespace", "x"});
  EXPECT_EQ(out.exitCode, 64);
  EXPECT_NE(out.err.find("The installation type \"x\" is refused: \"" + Data() + "sub"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("leads through a symbolic link to \"" + (dir / "private").string() + "\""), std::string::npos)
      << out.err;

  // The same link to a folder inside the data folder is the mod's own business.
  fs::remove(Data() + "sub");
  dir.Write("mod/veypatchdata/inner/changes.ini", std::string(kIni));
  dir.Write("mod/veypatchdata/inner/info.rtf", "{\\rtf1 inner}");
  fs::create_symlink(Data() + "inner", Data() + "sub");
  CliResult in = RunCli({"summary", "--mod", Mod(), "--namespace", "x"});
  EXPECT_EQ(in.exitCode, 0) << in.err;

  // The instruction file itself may not be a link out of the data folder.
  fs::remove(Data() + "namespaces.ini");
  fs::create_symlink(dir / "private" / "changes.ini", Data() + "changes.ini");
  CliResult file = RunCli({"summary", "--mod", Mod()});
  EXPECT_EQ(file.exitCode, 64);
  EXPECT_NE(file.err.find("refusing the mod's file"), std::string::npos) << file.err;
}

TEST_F(UntrustedMod, AnInstallationTypeThatNamesWhatIsMissingIsReported) {
  dir.Write("mod/veypatchdata/namespaces.ini",
            "[Namespaces]\nx=x\n[x]\nDataPath=gone\nIniName=other.ini\nInfoName=other.rtf\n");
  dir.Write("mod/veypatchdata/changes.ini", std::string(kIni));
  CliResult r = RunCli({"summary", "--mod", Mod(), "--namespace", "x"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const char* line :
       {"Warning: The installation type \"x\" names the folder \"gone\", which does not exist; the data folder "
        "itself is used.",
        "Warning: The installation type \"x\" names the file \"other.ini\" (IniName), which is not in its folder; "
        "\"changes.ini\" is used.",
        "Warning: The installation type \"x\" names the file \"other.rtf\" (InfoName), which is not in its folder; "
        "\"info.rtf\" is used."})
    EXPECT_NE(r.err.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << r.err;
}

TEST_F(UntrustedMod, ThePersonsCompilerIsUsedAndTheModsScriptIsNot) {
  dir.Write("mod/veypatchdata/changes.ini", std::string(kIni) + "[CompileList]\nS0=a.nss\n");
  dir.Write("mod/veypatchdata/a.nss", "void main() {}\n");
  const fs::path marker = dir / "ran";
  Executable("mod/veypatchdata/nwnnsscomp.exe", "#!/bin/sh\ntouch '" + marker.string() + "'\n");
  const fs::path own =
      Executable("person/compiler", "#!/bin/sh\nwhile [ $# -gt 1 ]; do shift; done\nprintf OWN > \"$1\"\n");

  CliResult refused = RunCli({"install", "--mod", Mod(), "--game", (dir / "game").string(), "--yes", "--no-sandbox"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.out.find("is not a Windows program"), std::string::npos) << refused.out;
  EXPECT_FALSE(fs::exists(marker));

  CliResult r = RunCli({"install", "--mod", Mod(), "--game", (dir / "game").string(), "--yes", "--reinstall",
                        "--compiler", own.string(), "--no-sandbox"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(dir.Read("game/override/a.ncs"), "OWN");
  EXPECT_NE(r.out.find("Scripts are compiled by your own compiler \"" + own.string() + "\", a native program"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(UntrustedMod, WinesOwnMessagesStayOutOfTheTerminal) {
  dir.Write("mod/veypatchdata/changes.ini", std::string(kIni) + "[CompileList]\nS0=a.nss\n");
  dir.Write("mod/veypatchdata/a.nss", "void main() {}\n");
  dir.Write("mod/veypatchdata/nwnnsscomp.exe", Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2).Build());
  Executable("bin/wine",
             "#!/bin/sh\n[ \"$1\" = --version ] && { echo wine-test; exit 0; }\n"
             "echo 'fixme:ntdll:noise' >&2\n[ \"$1\" = wineboot ] && { mkdir -p \"$WINEPREFIX\"; "
             "touch \"$WINEPREFIX/system.reg\"; exit 0; }\necho compiled\n"
             "while [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n");
  Executable("bin/wineserver", "#!/bin/sh\necho 'wineserver noise' >&2\n");
  const std::string oldPath = std::getenv("PATH");
  ::setenv("PATH", ((dir / "bin").string() + ":" + oldPath).c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  CliResult r = RunCli({"install", "--mod", Mod(), "--game", (dir / "game").string(), "--yes", "--no-sandbox"});
  ::setenv("PATH", oldPath.c_str(), 1);
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(dir.Read("game/override/a.ncs"), "NCS");
  EXPECT_EQ(r.err.find("noise"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("noise"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir / "cache" / "veypatcher" / "wine" / "system.reg"));
}

}  // namespace
}  // namespace vey::test
