// veypatcher-cli verify, reset and history after a forced uninstall, over
// real installs: what each finds, what each changes, and what the history
// says afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CliRun.h"
#include "platform/JournalReset.h"
#include "platform/RunJournal.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class JournalTools : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
    dir.Write("game/override/keep.txt", "keep");
    for (const char* mod : {"mod", "mod2", "mod3"}) {
      dir.Write(std::string(mod) + "/veypatchdata/info.rtf", "{\\rtf1 x}");
      dir.Write(std::string(mod) + "/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{mod}));
      dir.Write(std::string(mod) + "/veypatchdata/" + mod + ".txt", std::string(mod) + " text");
      dir.Write(std::string(mod) + "/veypatchdata/changes.ini",
                std::string("[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[TLKList]\nStrRef0=0\n"
                            "[InstallList]\nf=override\n[f]\nFile0=") +
                    mod + ".txt\n");
    }
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
    return RunCli(args);
  }
  CliResult Install(const std::string& mod) {
    return Run({"install", "--mod", (dir / mod).string(), "--game", "GAME", "--yes"});
  }
  std::vector<std::string> RunIds() {
    std::vector<std::string> ids;
    for (const auto& run : platform::ListRuns(dir / "game")) ids.push_back(run.id);
    return ids;
  }
  std::string Talk() { return dir.Read("game/dialog.tlk"); }
  TempDir dir;
};

// Overwrites a file's first bytes in place and puts its time back, so that
// size, inode and time all stay as the installer left them.
void EditInPlaceKeepingTime(const fs::path& path, const std::string& bytes) {
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::futimens(fd, times), 0);
  ::close(fd);
  struct stat now {};
  ASSERT_EQ(::stat(path.c_str(), &now), 0);
  ASSERT_EQ(now.st_ino, st.st_ino);
  ASSERT_EQ(now.st_size, st.st_size);
  ASSERT_EQ(now.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
}

TEST_F(JournalTools, VerifyFindsInPlaceEditsRemovedAndReplacedFilesWithTheirRun) {
  ASSERT_EQ(Install("mod").exitCode, 0);
  ASSERT_EQ(Install("mod2").exitCode, 0);
  const auto ids = RunIds();
  ASSERT_EQ(ids.size(), 2u);
  CliResult clean = Run({"verify", "--game", "GAME"});
  EXPECT_EQ(clean.exitCode, 0) << clean.out;
  EXPECT_NE(clean.out.find("All 3 files"), std::string::npos) << clean.out;

  EditInPlaceKeepingTime(dir / "game/override/mod.txt", "MOD");
  fs::remove(dir / "game/override/mod2.txt");
  dir.Write("game/dialog.tlk.new", TalkTable(std::vector<std::string>{"", "Other"}));
  fs::rename(dir / "game/dialog.tlk.new", dir / "game/dialog.tlk");

  CliResult found = Run({"verify", "--game", "GAME", "--json", (dir / "v.json").string()});
  EXPECT_EQ(found.exitCode, 1) << found.out;
  const auto lines = Lines(found.out);
  ASSERT_EQ(lines.size(), 4u) << found.out;
  EXPECT_EQ(lines[0], "replaced  dialog.tlk  (last written by run " + ids[1] + ")");
  EXPECT_EQ(lines[1], "changed   override/mod.txt  (last written by run " + ids[0] + ")");
  EXPECT_EQ(lines[2], "removed   override/mod2.txt  (last written by run " + ids[1] + ")");
  const std::string json = dir.Read("v.json");
  EXPECT_NE(json.find("\"path\": \"override/mod.txt\",\n      \"state\": \"changed\",\n      \"run\": \"" + ids[0]),
            std::string::npos)
      << json;

  // uninstall reads the content too: the in-place edit stops it.
  CliResult refused = Run({"uninstall", "--game", "GAME", "--run", ids[0]});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("override/mod.txt"), std::string::npos) << refused.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "MOD text");
}

TEST_F(JournalTools, ForcedUninstallOfAMiddleRunMarksTheLaterRunAndKeepsItsUndoTrue) {
  const std::string original = Talk();
  ASSERT_EQ(Install("mod").exitCode, 0);
  ASSERT_EQ(Install("mod2").exitCode, 0);
  const auto ids = RunIds();
  CliResult forced = Run({"uninstall", "--game", "GAME", "--run", ids[0], "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.out;
  EXPECT_NE(forced.out.find("partly undone:\n  " + ids[1]), std::string::npos) << forced.out;
  EXPECT_EQ(Talk(), original);  // the later run's string went with it

  CliResult list = Run({"history", "--game", "GAME"});
  auto lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2u) << list.out;
  EXPECT_NE(lines[1].find("(partly undone: 1 of its files put back by uninstall of " + ids[0] + ")"),
            std::string::npos)
      << lines[1];
  CliResult json = Run({"history", "--game", "GAME", "--json", "-"});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_NE(json.out.find("\"undone\": \"partly\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"path\": \"dialog.tlk\",\n          \"exists\": true,\n          \"by\": \"" + ids[0]),
            std::string::npos)
      << json.out;

  // The installer itself put the talk table back: nothing changed outside it.
  EXPECT_EQ(Run({"verify", "--game", "GAME"}).exitCode, 0);
  // Undoing the later run must not bring the earlier run's string back.
  CliResult undo = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(undo.exitCode, 0) << undo.out;
  EXPECT_EQ(Talk(), original);
  EXPECT_FALSE(fs::exists(dir / "game/override/mod2.txt"));
}

TEST_F(JournalTools, ResetUndoesEveryRunKeepsThemInHistoryAndRefusesOutsideChanges) {
  const std::string original = Talk();
  ASSERT_EQ(Install("mod").exitCode, 0);
  ASSERT_EQ(Install("mod2").exitCode, 0);
  const auto ids = RunIds();

  dir.Write("game/override/mod.txt", "edited by hand");
  CliResult refused = Run({"reset", "--game", "GAME", "--yes"});
  EXPECT_EQ(refused.exitCode, 1) << refused.out;
  EXPECT_NE(refused.out.find("changed  override/mod.txt  (run " + ids[0] + ")"), std::string::npos) << refused.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "edited by hand");
  EXPECT_EQ(RunIds().size(), 2u);

  // No terminal and no --yes: the question is answered No.
  CliResult declined = Run({"reset", "--game", "GAME", "--force"});
  EXPECT_EQ(declined.exitCode, 4) << declined.out;
  EXPECT_EQ(RunIds().size(), 2u);

  CliResult done = Run({"reset", "--game", "GAME", "--yes", "--force"});
  EXPECT_EQ(done.exitCode, 0) << done.out << done.err;
  EXPECT_EQ(Talk(), original);
  EXPECT_FALSE(fs::exists(dir / "game/override/mod.txt"));
  EXPECT_FALSE(fs::exists(dir / "game/override/mod2.txt"));
  EXPECT_EQ(dir.Read("game/override/keep.txt"), "keep");

  auto lines = Lines(Run({"history", "--game", "GAME"}).out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[1].find(ids[0]), std::string::npos);
  EXPECT_NE(lines[1].find("(undone by reset)"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("(undone by reset)"), std::string::npos) << lines[2];
  EXPECT_EQ(Run({"reset", "--game", "GAME", "--yes"}).exitCode, 4);
  EXPECT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 4);

  // A mod installed after the reset is not "already installed".
  EXPECT_EQ(Install("mod").exitCode, 0);
}

TEST_F(JournalTools, ResetWithoutOutsideChangesNeedsNoForce) {
  const std::string original = Talk();
  ASSERT_EQ(Install("mod").exitCode, 0);
  CliResult done = Run({"reset", "--game", "GAME", "--yes"});
  EXPECT_EQ(done.exitCode, 0) << done.out;
  EXPECT_EQ(Talk(), original);
}

// A reset killed after recording what it undoes, and after undoing part of
// it: the next start of any command finishes it before doing its own work.
TEST_F(JournalTools, InterruptedResetIsFinishedByTheNextStart) {
  const std::string original = Talk();
  for (bool partly : {false, true}) {
    SCOPED_TRACE(partly ? "after the newest run was undone" : "before any run was undone");
    ASSERT_EQ(Install("mod").exitCode, 0);
    ASSERT_EQ(Install("mod2").exitCode, 0);
    auto ids = RunIds();
    platform::BeginReset(dir / "game", {ids[1], ids[0]});
    if (partly) {
      ASSERT_TRUE(platform::RollBackStoredRun(dir / "game", ids[1]).problems.empty());
    }

    CliResult next = Install("mod3");
    EXPECT_EQ(next.exitCode, 0) << next.out;
    EXPECT_NE(next.out.find("A reset of this game folder was cut short."), std::string::npos) << next.out;
    EXPECT_FALSE(fs::exists(dir / "game/override/mod.txt"));
    EXPECT_FALSE(fs::exists(dir / "game/override/mod2.txt"));
    EXPECT_EQ(dir.Read("game/override/mod3.txt"), "mod3 text");
    ASSERT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);
    EXPECT_EQ(Talk(), original);
    EXPECT_TRUE(RunIds().empty());
  }
  auto lines = Lines(Run({"history", "--game", "GAME"}).out);
  // The head, both runs of the first reset, and the older run of the second
  // (the newer one was rolled back above without the reset keeping it).
  EXPECT_EQ(lines.size(), 4u) << Run({"history", "--game", "GAME"}).out;
}

}  // namespace
}  // namespace vey::test
