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

#include "EngineFixture.h"
#include "common/UQK_Common.h"
#include "engine/UCompilerLauncher.h"

namespace vey::test {
namespace {

constexpr std::string_view kInstaller = "[Settings]\nInstallerMode=1\nLogLevel=4\n[CompileList]\nS0=a.nss\n";

// The smallest file that passes for a Windows program.
std::vector<std::uint8_t> WindowsProgram() { return Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2); }

// Sets environment variables for the length of a test.
class ScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class CompilerChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    f.MakeGame();
    f.Ini(kInstaller);
    f.dir.Write("mod/veypatchdata/a.nss", "void main() {}\n");
  }
  std::filesystem::path Executable(const std::string& relative, std::string_view text) {
    auto path = f.dir.Write(relative, text);
    ::chmod(path.c_str(), 0755);
    return path;
  }
  bool SandboxUsable() {
    int status = -1;
    RunOptions options;
    options.discardErrors = true;
    options.exitStatus = &status;
    try {
      RunAndCapture("/usr/bin/env", {"bwrap", "--ro-bind", "/", "/", "--unshare-all", "--", "true"}, "", {}, options);
    } catch (const Exception&) {
      return false;
    }
    return status == 0;
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
// prefix and the debug setting; "wineboot" makes the prefix, "wineserver -w"
// is journalled too. A compile writes "NCS" to the path after "-o" and
// prints a line on standard output and a wine message on standard error.
TEST_F(CompilerChoice, TheModsWindowsCompilerRunsUnderWineInTheInstallersOwnPrefix) {
  f.WriteFile(f.Data() + "nwnnsscomp.exe", WindowsProgram());
  const auto journal = f.dir / "journal";
  const std::string record = "echo \"$(basename \"$0\") $*|$WINEPREFIX|$WINEDEBUG\" >> '" + journal.string() + "'\n";
  Executable("bin/wine", "#!/bin/sh\n" + record +
                             "if [ \"$1\" = wineboot ]; then mkdir -p \"$WINEPREFIX\"; touch \"$WINEPREFIX/system.reg\"; "
                             "exit 0; fi\n"
                             "echo 'fixme:wine noise' >&2\necho compiled\n"
                             "while [ $# -gt 1 ]; do shift; done\nprintf 'NCS' > \"$1\"\n");
  Executable("bin/wineserver", "#!/bin/sh\n" + record);
  ScopedEnv env;
  env.Set("PATH", (f.dir / "bin").string() + ":" + std::getenv("PATH"));
  env.Set("XDG_CACHE_HOME", (f.dir / "cache").string());
  const std::string prefix = (f.dir / "cache" / "veypatcher" / "wine").string();
  EXPECT_EQ(WinePrefixFolder(), prefix);

  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
  const std::string compiler = f.Data() + "nwnnsscomp.exe";
  EXPECT_EQ(f.dir.Read("journal"),
            "wine wineboot --init|" + prefix + "|-all\n" + "wineserver -w|" + prefix + "|-all\n" + "wine " +
                compiler + " -c " + f.Data() + "a.nss -o " + f.Data() + "a.ncs|" + prefix + "|-all\n");
  EXPECT_TRUE(f.Logged(" [Install] \tScripts are compiled by the mod's compiler \"" + compiler +
                       "\", a Windows program, under wine in the installer's own prefix " + prefix +
                       ", without a sandbox (it was turned off)."));
  EXPECT_TRUE(f.Logged(" [Debug] \tNWNNSSComp says: compiled"));
  EXPECT_EQ(f.CountContaining("fixme"), 0u);

  // The prefix is made once: a later run only compiles.
  std::filesystem::remove(journal);
  f.Engine().ProcessCompileList();
  EXPECT_EQ(f.dir.Read("journal"), "wine " + compiler + " -c " + f.Data() + "a.nss -o " + f.Data() + "a.ncs|" +
                                       prefix + "|-all\n");

  // Without XDG_CACHE_HOME the prefix is in the home folder's cache, never ~/.wine.
  ::unsetenv("XDG_CACHE_HOME");
  env.Set("HOME", "/home/someone");
  EXPECT_EQ(WinePrefixFolder(), "/home/someone/.cache/veypatcher/wine");
}

TEST_F(CompilerChoice, TheSandboxLetsTheCompilerWriteOnlyIntoTheDataFolder) {
  if (!SandboxUsable()) GTEST_SKIP() << "bubblewrap cannot make a sandbox here";
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
