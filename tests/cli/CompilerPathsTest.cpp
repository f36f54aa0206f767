// The script compiler on the person's machine: a dot in a folder name of the
// mod's path, TMPDIR below /tmp and the default cache below the home folder.
// The compiler is given names relative to the data folder, a dry run
// reports what the real run then does (a script whose include is missing
// included), and nothing lands in the home folder but the installer's cache.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

std::string ReplaceSlashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

class CompilerPaths : public ::testing::Test {
 protected:
  CompilerPaths() {
    dir.Write("game/dialog.tlk", "TLK ");
    fs::create_directories(dir / "game" / "override");
    fs::create_directories(dir / "tmp" / "user" / "0");
    fs::create_directories(Home());
    Data("info.rtf", "{\\rtf1 A mod.}");
    Data("changes.ini",
         "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=2\nConfirmMessage=N/A\n"
         "[CompileList]\nS0=k_inc.nss\nS1=k_main.nss\nS2=k_bad.nss\n");
    Data("k_inc.nss", "int Inc() { return 1; }\n");
    Data("k_main.nss", "#include \"k_inc\"\nvoid main() { Inc(); }\n");
    Data("k_bad.nss", "#include \"k_gone\"\nvoid main() {}\n");
    const fs::path standIn = fs::path(VEY_SOURCE_DIR) / "demo" / "standin-compiler";
    fs::create_directories(dir / "tools");
    fs::copy_file(standIn, dir / "tools" / "standin-compiler");
  }
  // Dots in two folder names on the way to the data folder.
  fs::path Mod() const { return dir / "games.d" / "Mod v1.2"; }
  fs::path Home() const { return dir / "home" / "jane.doe"; }
  void Data(const std::string& name, std::string_view text) const {
    dir.Write((fs::path("games.d") / "Mod v1.2" / "veypatchdata" / name).string(), text);
  }
  CliResult Install(std::vector<std::string> extra, std::vector<std::string> env) const {
    std::vector<std::string> args{"install", "--mod", Mod().string(), "--game", (dir / "game").string(), "--yes",
                                  "--reinstall"};
    args.insert(args.end(), extra.begin(), extra.end());
    env.insert(env.end(), {"TMPDIR=" + (dir / "tmp" / "user" / "0").string(), "HOME=" + Home().string(),
                           "XDG_CACHE_HOME"});
    return RunCli(args, env);
  }
  // The mod's Windows compiler, and a fake wine on the PATH that hands its
  // arguments to the stand-in; the PATH entry is returned.
  std::string FakeWine() const {
    dir.Write("games.d/Mod v1.2/veypatchdata/nwnnsscomp.exe",
              Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2).Build());
    // Beside the compiler, where the sandbox shows it.
    const fs::path tools = Mod() / "veypatchdata" / "tools";
    fs::create_directories(tools);
    fs::copy_file(dir / "tools" / "standin-compiler", tools / "standin-compiler");
    dir.Write("games.d/Mod v1.2/veypatchdata/tools/wine",
              "#!/bin/sh\n[ \"$1\" = --version ] && { echo wine-test; exit 0; }\n"
              "if [ \"$1\" = wineboot ]; then mkdir -p \"$WINEPREFIX/drive_c\" && mktemp >/dev/null && "
              "echo registry > \"$WINEPREFIX/system.reg\"; exit $?; fi\n"
              "shift\nexec \"$(dirname \"$0\")/standin-compiler\" \"$@\"\n");
    dir.Write("games.d/Mod v1.2/veypatchdata/tools/wineserver", "#!/bin/sh\n");
    for (const char* tool : {"wine", "wineserver"}) ::chmod((tools / tool).c_str(), 0755);
    return "PATH=" + tools.string() + ":" + std::getenv("PATH");
  }
  // What is in the home folder afterwards.
  std::vector<std::string> HomeEntries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(Home())) {
      const std::string relative = e.path().lexically_relative(Home()).string();
      if (relative.rfind(".cache/veypatcher/wine/", 0) != 0) found.push_back(relative);
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  // The log without what only one of the runs writes: the journal, the
  // earlier installation (the runs install the same mod again), and the
  // prefix set-up that the first of them does.
  static std::vector<std::string> LogLines(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& l : Lines(out))
      if (l.rfind(" [", 0) == 0 && l.find("started") == std::string::npos &&
          l.find("Recording the changes of this run") == std::string::npos &&
          l.find("already installed") == std::string::npos && l.find("Setting up wine's prefix") == std::string::npos)
        lines.push_back(l);
    return lines;
  }
  TempDir dir;
};

// The person's own native compiler, and the mod's Windows compiler under a
// fake wine that hands its arguments to the same stand-in; the sandbox is
// used wherever bubblewrap works.
TEST_F(CompilerPaths, RelativeNamesTmpdirBelowTmpAndADryRunThatForeseesTheRealRun) {
  for (bool underWine : {false, true}) {
    SCOPED_TRACE(underWine ? "under wine" : "native");
    std::vector<std::string> extra, env;
    if (underWine) {
      env.push_back(FakeWine());
    } else {
      extra = {"--compiler", (dir / "tools" / "standin-compiler").string()};
    }
    CliResult dry = Install(extra.empty() ? std::vector<std::string>{"--dry-run"}
                                          : std::vector<std::string>{extra[0], extra[1], "--dry-run"},
                            env);
    CliResult real = Install(extra, env);
    EXPECT_EQ(dry.exitCode, real.exitCode) << dry.out << real.out;
    EXPECT_EQ(LogLines(dry.out), LogLines(real.out));
    // The include beside the script is found; the missing one is named, with
    // the error, whatever the log level.
    EXPECT_EQ(dir.Read("game/override/k_main.ncs").substr(0, 8), "NCS V1.0") << real.out;
    EXPECT_NE(real.out.find(" [Install] \tNWNNSSComp says: k_bad.nss: Error: Unable to open the include file "
                            "\"k_gone\"\n [Error] \tUnable to find compiled version of file \"k_bad.nss\"!"),
              std::string::npos)
        << real.out;
    EXPECT_FALSE(fs::exists(dir / "game" / "override" / "k_bad.ncs"));
    // Nothing in the home folder but the installer's own cache.
    if (underWine)
      EXPECT_EQ(HomeEntries(),
                (std::vector<std::string>{".cache", ".cache/veypatcher", ".cache/veypatcher/wine",
                                          ".cache/veypatcher/wine.record"}));
    else
      EXPECT_TRUE(HomeEntries().empty());
    fs::remove(dir / "game" / "override" / "k_main.ncs");
  }
}

// The first compile sets wine's prefix up: the log says so before it names
// the script, not in the middle of compiling it.
TEST_F(CompilerPaths, WinesSetUpIsLoggedBeforeTheFirstScript) {
  const std::string path = FakeWine();
  const CliResult first = Install({}, {path});
  const std::vector<std::string> lines = Lines(first.out);
  const auto at = [&](const std::string& words) {
    return std::find_if(lines.begin(), lines.end(),
                        [&](const std::string& l) { return l.find(words) != std::string::npos; }) -
           lines.begin();
  };
  const auto setUp = at("Setting up wine's prefix");
  const auto compiling = at("Compiling modified script");
  ASSERT_LT(setUp, static_cast<std::ptrdiff_t>(lines.size())) << first.out;
  ASSERT_LT(compiling, static_cast<std::ptrdiff_t>(lines.size())) << first.out;
  EXPECT_LT(setUp, compiling) << first.out;
  // Once set up, the prefix is not announced again.
  EXPECT_EQ(Install({}, {path}).out.find("Setting up wine's prefix"), std::string::npos);
}

}  // namespace
}  // namespace vey::test

namespace vey::test {
namespace {

// Wine's own command interpreter, a real Windows program, plays the mod's
// compiler: its flags make it copy the source to the output. One prefix
// set-up serves the whole test (it takes a while), so it is one test.
TEST_F(CompilerPaths, RealWineCompilesInTheSandboxWithoutTouchingHomeOrPrefix) {
  const fs::path cmd = "/usr/lib/i386-linux-gnu/wine/i386-windows/cmd.exe";
  if (std::system("command -v wine > /dev/null 2>&1") != 0 || !fs::exists(cmd))
    GTEST_SKIP() << "wine (i386) is not installed";
  if (std::system("bwrap --ro-bind / / --unshare-all -- true > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "bubblewrap cannot make a sandbox here (missing, or no user namespaces)";
  fs::copy_file(cmd, Mod() / "veypatchdata" / "nwnnsscomp.exe");
  dir.Write("home/jane.doe/.ssh/id_rsa", "SECRET-KEY\n");
  const std::string key = "Z:" + ReplaceSlashes((Home() / ".ssh" / "id_rsa").string());
  Data("changes.ini",
       "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n"
       "ScriptCompilerFlags=/c type " + key + " & copy k_main.nss k_main.ncs & echo copied & rem\n"
       "[CompileList]\nS0=k_main.nss\n");
  CliResult first = Install({}, {});
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  // The processed source, copied by the interpreter as the compiled script.
  EXPECT_EQ(dir.Read("game/override/k_main.ncs"), "#include \"k_inc\"\r\nvoid main() { Inc(); }\r\n");
  EXPECT_NE(first.out.find("NWNNSSComp says: copied"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("SECRET"), std::string::npos) << first.out;

  // A compiler that tries to plant files in the prefix and remove its registry.
  const std::string prefix = (Home() / ".cache" / "veypatcher" / "wine").string();
  const std::string record = dir.Read("home/jane.doe/.cache/veypatcher/wine.record");
  Data("changes.ini",
       "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n"
       "ScriptCompilerFlags=/c echo x > C:\\windows\\wininit.ini & del Z:" + ReplaceSlashes(prefix) +
           "\\system.reg & copy k_main.nss k_main.ncs & rem\n"
           "[CompileList]\nS0=k_main.nss\n");
  CliResult second = Install({}, {});
  EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_EQ(dir.Read("home/jane.doe/.cache/veypatcher/wine.record"), record);
  EXPECT_TRUE(fs::exists(fs::path(prefix) / "system.reg"));
  EXPECT_FALSE(fs::exists(fs::path(prefix) / "drive_c" / "windows" / "wininit.ini"));
  std::vector<std::string> home = HomeEntries();
  EXPECT_EQ(home, (std::vector<std::string>{".cache", ".cache/veypatcher", ".cache/veypatcher/wine",
                                            ".cache/veypatcher/wine.record", ".ssh", ".ssh/id_rsa"}));
}

}  // namespace
}  // namespace vey::test
