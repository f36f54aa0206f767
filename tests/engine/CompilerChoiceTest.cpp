// Which compiler runs, and how: a mod's compiler only as a Windows program
// under wine in the installer's own prefix (set up once, waited for), the
// person's own compiler as given, and the sandbox around either. Wine is
// never needed: a fake "wine" on PATH records how it was called.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include "CompilerTestSupport.h"
#include "EngineFixture.h"
#include "common/UQK_Common.h"
#include "engine/support/UCompilerLauncher.h"

namespace vey::test {
namespace {


class CompilerChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    f.MakeGame();
    f.Ini(kCompileInstaller);
    f.dir.Write("mod/veypatchdata/a.nss", "void main() {}\n");
  }
  std::filesystem::path Executable(const std::string& relative, std::string_view text) {
    return WriteExecutable(f.dir / relative, text);
  }
  EngineFixture f;
};

TEST_F(CompilerChoice, AScriptShippedAsTheCompilerDoesNotRun) {
  const auto marker = f.dir / "ran";
  Executable("mod/veypatchdata/nwnnsscomp.exe", "#!/bin/sh\ntouch '" + marker.string() + "'\n");
  f.compiler.Sandbox = true;
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_TRUE(f.Logged(
      " [Error] \tThe compiler \"nwnnsscomp.exe\" in the data folder is not a Windows program. A compiler that "
      "comes with a mod runs only as a Windows program, under wine; a native compiler can only be chosen by you "
      "(--compiler on the command line, or the compiler setting of the window). Unable to compile scripts!"));
  EXPECT_EQ(e.ErrorCount(), 1);
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp"));
  // A program with only the old MZ header is not a Windows program either.
  Executable("mod/veypatchdata/nwnnsscomp.exe", "MZ\x90 not really\n");
  e.ProcessCompileList();
  EXPECT_EQ(e.ErrorCount(), 2);
}

TEST_F(CompilerChoice, ThePersonsCompilerIsUsedInsteadOfTheMods) {
  f.WriteFile(f.Data() + "nwnnsscomp.exe", WindowsProgram());
  const auto own = Executable("person/my compiler",
                              "#!/bin/sh\nwhile [ $# -gt 1 ]; do shift; done\nprintf 'OWN' > \"$1\"\necho mine\n");
  f.compiler.Compiler = own.string();
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "OWN");
  EXPECT_TRUE(f.Logged(" [Install] \tScripts are compiled by your own compiler \"" + own.string() +
                       "\", a native program, without a sandbox (it was turned off)."));
  EXPECT_TRUE(f.Logged(" [Debug] \tNWNNSSComp says: mine"));

  f.compiler.Compiler = (f.dir / "person" / "missing").string();
  f.lines.clear();
  f.Engine().ProcessCompileList();
  EXPECT_TRUE(f.Logged(" [Error] \tThe compiler \"" + f.compiler.Compiler +
                       "\" that you chose does not exist! Unable to compile scripts!"));
}

// The fake wine appends one line per call to a journal: its arguments, the
// prefix, the debug setting, the DLL overrides and the display; "wineboot"
// makes the prefix, "wineserver" is journalled too. A compile writes "NCS" to
// the path after "-o" and prints a line on standard output and a wine message
// on standard error.
TEST_F(CompilerChoice, TheModsWindowsCompilerRunsUnderWineInTheInstallersOwnRecordedPrefix) {
  f.WriteFile(f.Data() + "nwnnsscomp.exe", WindowsProgram());
  const auto journal = f.dir / "journal";
  const std::string record = "echo \"$(basename \"$0\") $*|$WINEPREFIX|$WINEDEBUG|$WINEDLLOVERRIDES|${DISPLAY-none}|"
                             "$(pwd)\" >> '" + journal.string() + "'\n";
  Executable("bin/wine", "#!/bin/sh\n" + record +
                             "[ \"$1\" = --version ] && { echo \"${WINE_FAKE_VERSION:-wine-test}\"; exit 0; }\n"
                             "if [ \"$1\" = wineboot ]; then mkdir -p \"$WINEPREFIX/drive_c\"; "
                             "echo registry > \"$WINEPREFIX/system.reg\"; exit 0; fi\n"
                             "echo 'fixme:wine noise' >&2\necho compiled\n"
                             "while [ $# -gt 1 ]; do shift; done\nprintf 'NCS' > \"$1\"\n");
  Executable("bin/wineserver", "#!/bin/sh\n" + record);
  ScopedEnv env;
  env.Set("PATH", (f.dir / "bin").string() + ":" + std::getenv("PATH"));
  env.Set("XDG_CACHE_HOME", (f.dir / "cache").string());
  env.Set("DISPLAY", ":0");
  env.Set("WAYLAND_DISPLAY", "wayland-0");
  const std::string prefix = (f.dir / "cache" / "veypatcher" / "wine").string();
  EXPECT_EQ(WinePrefixFolder(), prefix);
  const std::string data = f.Data().substr(0, f.Data().size() - 1);
  const std::string wineEnv = "|-all|mscoree,mshtml=;winemenubuilder.exe=d|none|";

  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
  // Set up in a folder of its own, renamed into place once complete; the
  // compiler runs in the data folder and gets names relative to it.
  std::vector<std::string> calls = SplitLines(f.dir.Read("journal"));
  ASSERT_EQ(calls.size(), 5u) << f.dir.Read("journal");
  EXPECT_EQ(calls[0].substr(0, calls[0].find('|')), "wine --version");
  const std::string setUp = prefix + ".new-";
  EXPECT_EQ(calls[1].rfind("wine wineboot --init|" + setUp, 0), 0u) << calls[1];
  EXPECT_NE(calls[1].find(wineEnv), std::string::npos) << calls[1];
  EXPECT_EQ(calls[2].rfind("wineserver -w|" + setUp, 0), 0u) << calls[2];
  const std::string compiler = f.Data() + "nwnnsscomp.exe";
  EXPECT_EQ(calls[3], "wine " + compiler + " -c a.nss -o a.ncs|" + prefix + wineEnv + data);
  // Wine's server is waited for before the prefix is recorded again.
  EXPECT_EQ(calls[4].substr(0, calls[4].find('|')), "wineserver -w");
  EXPECT_TRUE(f.Logged(" [Install] \tScripts are compiled by the mod's compiler \"" + compiler +
                       "\", a Windows program, under wine in the installer's own prefix " + prefix +
                       ", without a sandbox (it was turned off)."));
  EXPECT_TRUE(f.Logged(" [Install] \tWithout a sandbox the mod's compiler, a Windows program from the mod, runs "
                       "with your rights: it can read, change and delete every file that you can."));
  EXPECT_TRUE(f.Logged(" [Debug] \tNWNNSSComp says: compiled"));
  EXPECT_EQ(f.CountContaining("fixme"), 0u);
  // Outside a sandbox the compiler could have changed the prefix: a
  // sandboxed run will not trust it.
  EXPECT_TRUE(WinePrefixMatchesRecord(prefix, "wine-test", false));
  EXPECT_FALSE(WinePrefixMatchesRecord(prefix, "wine-test", true));
  EXPECT_TRUE(std::filesystem::is_empty(f.dir / "cache" / "veypatcher" / "wine" / "drive_c"));

  // The prefix is made once: a later run only compiles.
  std::filesystem::remove(journal);
  f.Engine().ProcessCompileList();
  calls = SplitLines(f.dir.Read("journal"));
  ASSERT_EQ(calls.size(), 3u) << f.dir.Read("journal");
  EXPECT_EQ(calls[1].substr(0, calls[1].find('|')), "wine " + compiler + " -c a.nss -o a.ncs");

  // A prefix that differs from its record, or a new wine, is set up anew.
  for (const char* change : {"system.reg", "version"}) {
    SCOPED_TRACE(change);
    if (std::string(change) == "version")
      env.Set("WINE_FAKE_VERSION", "wine-9");
    else
      f.dir.Write("cache/veypatcher/wine/system.reg", "planted by a compiler");
    std::filesystem::remove(journal);
    f.lines.clear();
    f.Engine().ProcessCompileList();
    EXPECT_EQ(f.CountContaining("wineboot"), 0u);
    EXPECT_NE(f.dir.Read("journal").find("wine wineboot --init"), std::string::npos);
    EXPECT_TRUE(f.Logged(" [Install] \tWine's prefix " + prefix +
                         " does not match its record (another wine made it, it was changed since, or it ran a "
                         "program outside the sandbox); it is thrown away and set up anew."));
    EXPECT_EQ(f.dir.Read("cache/veypatcher/wine/system.reg"), "registry\n");
  }

  // Without XDG_CACHE_HOME the prefix is in the home folder's cache, never ~/.wine.
  env.Unset("XDG_CACHE_HOME");
  env.Set("HOME", "/home/someone");
  EXPECT_EQ(WinePrefixFolder(), "/home/someone/.cache/veypatcher/wine");
}

TEST_F(CompilerChoice, TheSandboxLetsTheCompilerWriteOnlyIntoTheDataFolder) {
  if (std::string why = SandboxMissing(); !why.empty()) GTEST_SKIP() << why;
  // The compiler tries to write beside the game's files and into the data folder.
  const auto own = Executable("person/compiler", "#!/bin/sh\n{ echo x > '" + f.Game() +
                                                     "override/planted.txt'; } 2>/dev/null || echo refused\n"
                                                     "while [ $# -gt 1 ]; do shift; done\nprintf 'NCS' > \"$1\"\n");
  f.compiler.Compiler = own.string();
  f.compiler.Sandbox = true;
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_FALSE(f.Exists(f.Game() + "override/planted.txt"));
  EXPECT_TRUE(f.Logged(" [Debug] \tNWNNSSComp says: refused"));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
  EXPECT_TRUE(f.Logged(" [Install] \tScripts are compiled by your own compiler \"" + own.string() +
                       "\", a native program, in a sandbox that may write only to " + f.Data() + ", without network."));

  // Turned off, the same compiler can write anywhere the person can.
  f.compiler.Sandbox = false;
  f.Engine().ProcessCompileList();
  EXPECT_TRUE(f.Exists(f.Game() + "override/planted.txt"));
}

}  // namespace
}  // namespace vey::test
