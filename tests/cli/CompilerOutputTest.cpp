// What the compiler leaves is a stranger's: on every way a script is compiled
// (in the data folder, in a scratch copy for a picked script, a dry run, a
// list's check) an output that is a link, a FIFO, a folder or a file too
// large is refused, and nothing of what it leads to reaches the game.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class CompilerOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", "TLK ");
    fs::create_directories(dir / "game" / "override");
    dir.Write("home/.ssh/id_rsa", "SECRET-KEY\n");
    dir.Write("mod/veypatchdata/k.nss", "void main() {}\n");
    dir.Write("picked/k.nss", "void main() {}\n");
    dir.Write("mod/veypatchdata/nwnnsscomp.exe", Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2).Build());
    // The mod's Windows compiler runs under this wine, which leaves in the
    // output's place what "plant" beside it says.
    dir.Write("mod/veypatchdata/tools/wine",
              "#!/bin/sh\n[ \"$1\" = --version ] && { echo wine-test; exit 0; }\n"
              "if [ \"$1\" = wineboot ]; then mkdir -p \"$WINEPREFIX/drive_c\" && "
              "echo registry > \"$WINEPREFIX/system.reg\"; exit $?; fi\n"
              "while [ $# -gt 1 ]; do shift; done\nout=\"$1\"\n"
              ". \"$(dirname \"$0\")/plant\"\n");
    dir.Write("mod/veypatchdata/tools/wineserver", "#!/bin/sh\n");
    for (const char* tool : {"wine", "wineserver"}) ::chmod((dir / "mod/veypatchdata/tools" / tool).c_str(), 0755);
    dir.Write("list.toml", "[[mod]]\nname = \"K\"\nsource = \"mod\"\n");
  }
  void Ini(bool installerMode) const {
    // The compiler reads the game's script definitions from the data folder.
    dir.Write("mod/veypatchdata/nwscript.nss", "// definitions\n");
    dir.Write("mod/veypatchdata/changes.ini",
              std::string("[Settings]\nFileExists=1\nInstallerMode=") + (installerMode ? "1" : "0") +
                  "\nLogLevel=3\nConfirmMessage=N/A\n[CompileList]\nS0=k.nss\n");
  }
  CliResult Run(const std::vector<std::string>& args) const {
    return RunCli(args, {"PATH=" + (dir / "mod/veypatchdata/tools").string() + ":" + std::getenv("PATH"),
                         "XDG_CACHE_HOME=" + (dir / "cache").string(), "HOME=" + (dir / "home").string()});
  }
  TempDir dir;
};

TEST_F(CompilerOutput, ALinkFifoFolderOrHugeFileAsTheCompilersOutputIsRefusedOnEveryPath) {
  const std::string secret = (dir / "home/.ssh/id_rsa").string();
  const std::string game = (dir / "game").string(), mod = (dir / "mod").string();
  struct Way {
    const char* name;
    bool installerMode;
    std::vector<std::string> args;
    bool showsLog = true;  // a list's check shows each entry's verdict only
  };
  const Way ways[] = {
      {"installer mode, in the data folder", true, {"install", "--mod", mod, "--game", game, "--yes", "--reinstall"}},
      {"a dry run, in a scratch copy", true, {"install", "--mod", mod, "--game", game, "--yes", "--dry-run"}},
      {"a picked script, in a scratch copy", false,
       {"install", "--mod", mod, "--game", game, "--yes", "--reinstall", "--pick", "k.nss=" + (dir / "picked/k.nss").string()}},
      {"a list's check", true, {"modlist", "check", (dir / "list.toml").string(), "--game", game}, false},
  };
  struct Plant {
    const char* name;
    std::string script;  // shell text; $out is the output's place
    std::string why;     // how the refusal ends
  };
  const Plant plants[] = {
      {"a link to a secret", "ln -s '" + secret + "' \"$out\"\n", "is a symbolic link"},
      {"a link to a file beside it", "printf SECRET > beside.bin; ln -s beside.bin \"$out\"\n", "is a symbolic link"},
      {"a FIFO", "mkfifo \"$out\"\n", "is not a regular file"},
      {"a folder", "mkdir \"$out\"\n", "is not a regular file"},
      {"a file too large", "truncate -s 67108865 \"$out\"\n", "is larger than 67108864 bytes"},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    Ini(way.installerMode);
    // Each way starts on a game without the earlier ways' installation.
    fs::remove_all(dir / "game/.veypatcher");
    // The same way with an honest compiler installs its output, so the
    // refusals below are the plants'.
    dir.Write("mod/veypatchdata/tools/plant", "printf NCS > \"$out\"\n");
    const CliResult honest = Run(way.args);
    EXPECT_EQ(honest.exitCode, 0) << honest.out << honest.err;
    for (const Plant& plant : plants) {
      SCOPED_TRACE(plant.name);
      fs::remove_all(dir / "game/override/k.ncs");
      fs::remove_all(dir / "mod/veypatchdata/k.ncs");
      dir.Write("mod/veypatchdata/tools/plant", plant.script);
      const CliResult r = Run(way.args);
      EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
      if (way.showsLog)
        EXPECT_NE(r.out.find("The compiled version of file \"k.nss\" is refused: \"k.ncs\" " + plant.why +
                             ". Skipping..."),
                  std::string::npos)
            << r.out;
      EXPECT_EQ(r.out.find("SECRET"), std::string::npos) << r.out;
      EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "game/override/k.ncs"))) << r.out;
    }
  }
}

// --compile-timeout reaches the compile: a compiler that hangs is ended and
// the script fails, naming the option.
TEST_F(CompilerOutput, AHungCompilerIsEndedAfterCompileTimeout) {
  Ini(true);
  dir.Write("mod/veypatchdata/tools/plant", "sleep 60\nprintf NCS > \"$out\"\n");
  const std::vector<std::string> install = {"install", "--mod", (dir / "mod").string(), "--game",
                                            (dir / "game").string(), "--yes"};
  std::vector<std::string> args = install;
  args.insert(args.end(), {"--compile-timeout", "2"});
  const auto begin = std::chrono::steady_clock::now();
  const CliResult r = Run(args);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_NE(r.out.find("Unable to compile script k.nss: the compiler did not finish within 2 seconds and was "
                       "stopped with all it had started (--compile-timeout SECONDS on the command line allows "
                       "more). Skipping..."),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "game/override/k.ncs"));
  // A list's entries are compiled with the same limit, in its check and its
  // install; the run above, ended with errors, counts as installed.
  fs::remove_all(dir / "game/.veypatcher");
  for (const char* command : {"check", "install"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> list = {"modlist", command, (dir / "list.toml").string(), "--game",
                                     (dir / "game").string(), "--compile-timeout", "2"};
    if (std::string(command) == "install") list.push_back("--yes");
    const auto start = std::chrono::steady_clock::now();
    const CliResult listed = Run(list);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // The check shows each entry's verdict; the install its log.
    EXPECT_NE(listed.out.find(std::string(command) == "check" ? "1/1 K: errors"
                                                              : "the compiler did not finish within 2 seconds"),
              std::string::npos)
        << listed.out;
  }
  for (const char* bad : {"0", "-1", "soon"}) {
    args = install;
    args.insert(args.end(), {"--compile-timeout", bad});
    EXPECT_EQ(Run(args).exitCode, 64) << bad;
  }
}

}  // namespace
}  // namespace vey::test
