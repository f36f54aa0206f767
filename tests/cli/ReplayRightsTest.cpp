// A run's record lies in the game folder, which may have come from anyone:
// what it says of the compiler, the sandbox and the backup folder is used by
// uninstall --replay only when the person gives the same again, and a replay
// refused for it changes nothing and runs nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class ReplayRights : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/shared.txt", "game");
    dir.Write("a/veypatchdata/a.txt", "a");
    dir.Write("a/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=a.txt\n");
    // c replaces a game file (so it keeps a backup) and compiles a script.
    dir.Write("c/veypatchdata/shared.txt", "c");
    dir.Write("c/veypatchdata/k.nss", "void main() {}\n");
    dir.Write("c/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\n[InstallList]\nf=override\n[f]\n"
              "Replace0=shared.txt\n[CompileList]\nS0=k.nss\n");
    for (const char* name : {"person/compiler", "person/other compiler"}) {
      dir.Write(name, "#!/bin/sh\necho compiling\nwhile [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n");
      ::chmod((dir / name).c_str(), 0755);
    }
  }
  std::vector<std::string> RunIds() const {
    std::vector<std::string> ids;
    for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/runs")) ids.push_back(e.path().filename());
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  TempDir dir;
};

TEST_F(ReplayRights, ARecordsCompilerSandboxAndBackupFolderAreUsedOnlyWhenGivenAgain) {
  const std::string own = (dir / "person/compiler").string(), other = (dir / "person/other compiler").string();
  const std::string backups = (dir / "backups").string();
  ASSERT_EQ(RunCli({"install", "--mod", (dir / "a").string(), "--game", (dir / "game").string(), "--yes"}).exitCode, 0);
  const CliResult c = RunCli({"install", "--mod", (dir / "c").string(), "--game", (dir / "game").string(), "--yes",
                              "--compiler", own, "--no-sandbox", "--backup-dir", backups});
  ASSERT_EQ(c.exitCode, 0) << c.out;
  ASSERT_EQ(dir.Read("game/override/k.ncs"), "NCS");
  const std::vector<std::string> ids = RunIds();
  ASSERT_EQ(ids.size(), 2u);
  const std::string record = "game/.veypatcher/runs/" + ids[1] + "/source.txt";
  const std::string recorded = dir.Read(record);

  const std::string compilerRefused = "Run " + ids[1] + " was installed with the compiler \"" + own +
                                      "\"; a record in the game folder cannot choose a program to run. Give "
                                      "--compiler \"" + own + "\" if it is yours.";
  const std::string sandboxRefused = "Run " + ids[1] + " was installed without the compiler's sandbox; a record in "
                                     "the game folder cannot turn it off. Give --no-sandbox to install it again "
                                     "that way.";
  const std::string backupRefused = "Run " + ids[1] + " kept its unaltered files in \"" + backups +
                                    "\"; a record in the game folder cannot choose where files are written. Give "
                                    "--backup-dir \"" + backups + "\" if that folder is yours.";
  struct Case {
    const char* name;
    std::string plantedCompiler;  // the record edited to name this compiler
    std::vector<std::string> given;
    std::vector<std::string> refusals;
  };
  const std::vector<std::string> all = {"--compiler", own, "--no-sandbox", "--backup-dir", backups};
  const Case cases[] = {
      {"nothing given", "", {}, {compilerRefused, sandboxRefused, backupRefused}},
      {"the sandbox not turned off", "", {"--compiler", own, "--backup-dir", backups + "/"}, {sandboxRefused}},
      {"another compiler given", "", {"--compiler", other, "--no-sandbox", "--backup-dir", backups}, {compilerRefused}},
      {"another backup folder given", "", {"--compiler", own, "--no-sandbox", "--backup-dir", own + "-backups"},
       {backupRefused}},
      {"a record planted to name another program", other, all,
       {"Run " + ids[1] + " was installed with the compiler \"" + other + "\""}},
  };
  fs::remove_all(backups);
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    std::string text = recorded;
    if (!test.plantedCompiler.empty()) {
      const std::size_t at = text.find("\ncompiler=") + 10;
      text.replace(at, text.find('\n', at) - at, test.plantedCompiler);
    }
    dir.Write(record, text);
    std::vector<std::string> args = {"uninstall", "--game", (dir / "game").string(), "--run", ids[0], "--replay"};
    args.insert(args.end(), test.given.begin(), test.given.end());
    const CliResult replay = RunCli(args);
    EXPECT_EQ(replay.exitCode, 1) << replay.out;
    EXPECT_TRUE(HasLine(replay.out, "Refusing to take run " + ids[0] + " out; nothing was changed:")) << replay.out;
    for (const std::string& refusal : test.refusals)
      EXPECT_NE(replay.out.find("  " + refusal), std::string::npos) << refusal << "\n" << replay.out;
    EXPECT_EQ(std::count(replay.out.begin(), replay.out.end(), '\n'), 1 + static_cast<long>(test.refusals.size()))
        << replay.out;
    // Nothing was undone, compiled or written.
    EXPECT_EQ(replay.out.find("Scripts are compiled"), std::string::npos) << replay.out;
    EXPECT_EQ(RunIds(), ids);
    EXPECT_EQ(dir.Read("game/override/a.txt"), "a");
    EXPECT_FALSE(fs::exists(backups));
  }

  // Given again, the record is followed as it stands.
  dir.Write(record, recorded);
  std::vector<std::string> args = {"uninstall", "--game", (dir / "game").string(), "--run", ids[0], "--replay"};
  args.insert(args.end(), all.begin(), all.end());
  const CliResult replay = RunCli(args);
  ASSERT_EQ(replay.exitCode, 0) << replay.out;
  EXPECT_NE(replay.out.find("Scripts are compiled by your own compiler \"" + own +
                            "\", a native program, without a sandbox (it was turned off)."),
            std::string::npos)
      << replay.out;
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
  EXPECT_EQ(dir.Read("game/override/k.ncs"), "NCS");
  EXPECT_EQ(dir.Read("backups/shared.txt"), "game");
}

// A file picked by hand is patched in place: a record planted to name one of
// the person's files is refused until they name it themselves.
TEST_F(ReplayRights, AFilePickedByHandIsPatchedAgainOnlyWhenGivenAgain) {
  ASSERT_EQ(RunCli({"install", "--mod", (dir / "a").string(), "--game", (dir / "game").string(), "--yes"}).exitCode, 0);
  ASSERT_EQ(RunCli({"install", "--mod", (dir / "c").string(), "--game", (dir / "game").string(), "--yes",
                    "--compiler", (dir / "person/compiler").string()})
                .exitCode,
            0);
  const std::vector<std::string> ids = RunIds();
  ASSERT_EQ(ids.size(), 2u);
  const std::string record = "game/.veypatcher/runs/" + ids[1] + "/source.txt";
  const std::string bashrc = dir.Write("home/.bashrc", "# mine\n").string();
  dir.Write(record, dir.Read(record) + "pick=appearance.2da=" + bashrc + "\n");
  std::vector<std::string> args = {"uninstall", "--game", (dir / "game").string(), "--run", ids[0], "--replay",
                                   "--compiler", (dir / "person/compiler").string()};
  CliResult replay = RunCli(args);
  EXPECT_EQ(replay.exitCode, 1) << replay.out;
  EXPECT_NE(replay.out.find("  Run " + ids[1] + " patched the file \"" + bashrc +
                            "\", picked by hand for appearance.2da; a record in the game folder cannot choose which "
                            "of your files is changed. Give --pick \"appearance.2da=" + bashrc + "\" if it is yours."),
            std::string::npos)
      << replay.out;
  EXPECT_EQ(RunIds(), ids);
  args.insert(args.end(), {"--pick", "appearance.2da=" + bashrc});
  replay = RunCli(args);
  EXPECT_EQ(replay.exitCode, 0) << replay.out;
  EXPECT_EQ(dir.Read("home/.bashrc"), "# mine\n");  // installer mode asks for no file
}

// The options only make sense with --replay; a plain uninstall takes none.
TEST_F(ReplayRights, TheOptionsNeedReplay) {
  for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
           {"--no-sandbox"}, {"--backup-dir", (dir / "b").string()}, {"--compile-timeout", "5"}, {"--pick", "a=/b"}}) {
    std::vector<std::string> args = {"uninstall", "--game", (dir / "game").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(RunCli(args).exitCode, 64) << extra[0];
  }
}

}  // namespace
}  // namespace vey::test
