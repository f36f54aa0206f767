// veypatcher-cli uninstall --run ID --replay: the game afterwards equals a
// fresh install of the other mods, byte for byte; a reinstall that fails puts
// everything back; a later mod that is missing or changed is refused before
// anything changes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "CliRun.h"
#include "cli/InstallCommand.h"
#include "engine/run/UReplay.h"
#include "platform/GameFileSystem.h"
#include "support/GameFiles.h"
#include "support/TalkTableBytes.h"
#include "support/TestRuns.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

// Every file (mode and bytes) and folder below root, the journal aside
// unless asked for.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const fs::path& root, bool withJournal = false) {
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (rel == ".veypatcher" && !withJournal) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    ::lstat(it->path().c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      tree[rel + "/"] = "folder";
      continue;
    }
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    tree[rel] = std::to_string(st.st_mode & 07777) + ":" + bytes.str();
  }
  return tree;
}

class CliReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* game : {"game", "fresh"}) {
      dir.Write(std::string(game) + "/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
      dir.Write(std::string(game) + "/override/spells.2da",
                TwoDA({"label", "name", "cost"}, {{"fire", "1", "5"}, {"frost", "1", "6"}}));
      dir.Write(std::string(game) + "/override/keep.txt", "keep");
    }
    // Each mod appends a string and a row naming it, changes a shared cell,
    // and installs a file; the mod taken out shifts the strings of the later
    // ones, so their reinstall is what makes the result right.
    for (const char* mod : {"a", "b", "c"}) {
      const std::string data = std::string(mod) + "/veypatchdata/";
      dir.Write(data + "info.rtf", "{\\rtf1 x}");
      dir.Write(data + "append.tlk", TalkTable(std::vector<std::string>{std::string("Spell of ") + mod}));
      dir.Write(data + mod + ".txt", mod);
      dir.Write(data + "shared.txt", mod);
      dir.Write(data + "changes.ini",
                std::string("[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[TLKList]\nStrRef0=0\n"
                            "[InstallList]\nf=override\n[f]\nFile0=") +
                    mod + ".txt\nReplace0=shared.txt\n"
                          "[2DAList]\nT0=spells.2da\n[spells.2da]\nAddRow0=new\nChangeRow0=shared\n"
                          "[new]\nlabel=" +
                    mod + "\nname=StrRef0\ncost=1\n[shared]\nRowIndex=1\ncost=" + mod + "\n");
    }
  }
  CliResult Install(const std::string& game, const std::string& mod) {
    return RunCli({"install", "--mod", (dir / mod).string(), "--game", (dir / game).string(), "--yes"});
  }
  std::vector<std::string> RunIds() {
    std::vector<std::string> ids;
    for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/runs")) ids.push_back(e.path().filename());
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  CliResult Replay(const std::string& id) {
    return RunCli({"uninstall", "--game", (dir / "game").string(), "--run", id, "--replay"});
  }
  void InstallAll() {
    for (const char* mod : {"a", "b", "c"}) ASSERT_EQ(Install("game", mod).exitCode, 0) << mod;
  }
  TempDir dir;
};

TEST_F(CliReplay, TakingTheMiddleRunOutEqualsAFreshInstallWithoutIt) {
  InstallAll();
  ASSERT_EQ(Install("fresh", "a").exitCode, 0);
  ASSERT_EQ(Install("fresh", "c").exitCode, 0);
  const std::vector<std::string> ids = RunIds();
  ASSERT_EQ(ids.size(), 3u);

  CliResult replay = Replay(ids[1]);
  ASSERT_EQ(replay.exitCode, 0) << replay.out << replay.err;
  EXPECT_NE(replay.out.find("Installing again (1/1)"), std::string::npos) << replay.out;
  const Tree got = Snapshot(dir / "game"), want = Snapshot(dir / "fresh");
  EXPECT_EQ(got, want);
  for (const auto& [path, bytes] : want)
    EXPECT_EQ(got.count(path) ? got.at(path) : "(missing)", bytes) << path;
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/replay"));

  // The history holds a and the new run of c; c can be taken out in turn.
  const std::vector<std::string> after = RunIds();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0], ids[0]);
  EXPECT_NE(after[1], ids[2]);
  ASSERT_EQ(RunCli({"uninstall", "--game", (dir / "game").string()}).exitCode, 0);
  ASSERT_EQ(RunCli({"uninstall", "--game", (dir / "fresh").string()}).exitCode, 0);
  EXPECT_EQ(Snapshot(dir / "game"), Snapshot(dir / "fresh"));
}

TEST_F(CliReplay, TakingTheFirstOfThreeOutUndoesTheLaterOnesNewestFirst) {
  InstallAll();
  ASSERT_EQ(Install("fresh", "b").exitCode, 0);
  ASSERT_EQ(Install("fresh", "c").exitCode, 0);
  CliResult replay = Replay(RunIds()[0]);
  ASSERT_EQ(replay.exitCode, 0) << replay.out << replay.err;
  EXPECT_NE(replay.out.find("Installing again (2/2)"), std::string::npos) << replay.out;
  EXPECT_EQ(Snapshot(dir / "game"), Snapshot(dir / "fresh"));
}

TEST_F(CliReplay, TheLatestRunIsSimplyUndone) {
  InstallAll();
  ASSERT_EQ(Install("fresh", "a").exitCode, 0);
  ASSERT_EQ(Install("fresh", "b").exitCode, 0);
  CliResult replay = Replay(RunIds()[2]);
  ASSERT_EQ(replay.exitCode, 0) << replay.out;
  EXPECT_EQ(Snapshot(dir / "game"), Snapshot(dir / "fresh"));
}

TEST_F(CliReplay, AReinstallThatFailsPutsTheGameAndItsHistoryBack) {
  // c stores a resource into the archive b installs: without b it cannot,
  // so c would install again with an error it did not have.
  dir.Write("b/veypatchdata/b.mod", MakeArchive("MOD ", {{"module.ifo", SimpleGff("IFO ", "b")}}));
  dir.Write("b/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nm=modules\n[m]\nFile0=b.mod\n");
  dir.Write("c/veypatchdata/extra.utc", SimpleGff("UTC ", "extra"));
  std::string c = dir.Read("c/veypatchdata/changes.ini");
  c.replace(c.find("[InstallList]\n"), 14, "[InstallList]\nm=modules\\b.mod\n");
  dir.Write("c/veypatchdata/changes.ini", c + "[m]\nFile0=extra.utc\n");
  InstallAll();
  const Tree before = Snapshot(dir / "game", true);

  CliResult replay = Replay(RunIds()[1]);
  EXPECT_EQ(replay.exitCode, 3) << replay.out << replay.err;
  EXPECT_NE(replay.out.find("The game and its history are as they were before this command."), std::string::npos)
      << replay.out;
  const Tree after = Snapshot(dir / "game", true);
  // The lock file is rewritten by every command; the rest is as it was.
  auto withoutLock = [](Tree t) {
    t.erase(".veypatcher/lock");
    return t;
  };
  EXPECT_EQ(withoutLock(after), withoutLock(before));
  for (const auto& [path, bytes] : before) {
    if (path != ".veypatcher/lock") {
      EXPECT_TRUE(after.count(path) && after.at(path) == bytes) << path;
    }
  }
}

TEST_F(CliReplay, AReinstallRefusedOnItsOptionsAlsoPutsEverythingBack) {
  InstallAll();
  const std::vector<std::string> ids = RunIds();
  // A record that no longer fits: install refuses it as a usage error.
  const std::string record = "game/.veypatcher/runs/" + ids[2] + "/source.txt";
  std::string source = dir.Read(record);
  source.replace(source.find("\nini=\n"), 6, "\nini=notes.txt\n");
  dir.Write(record, source);
  const Tree before = Snapshot(dir / "game", true);
  CliResult replay = Replay(ids[0]);
  EXPECT_EQ(replay.exitCode, 3) << replay.out << replay.err;
  Tree after = Snapshot(dir / "game", true);
  after.erase(".veypatcher/lock");
  Tree want = before;
  want.erase(".veypatcher/lock");
  EXPECT_EQ(after, want);
}

// A put-back leaves absent what was absent when the replay began: the run
// taken out had removed a file, its undo brings the file back, and a failed
// reinstall must not leave it there.
TEST_F(CliReplay, AFailedReplayLeavesAFileTheRunRemovedAbsent) {
  ASSERT_EQ(Install("game", "a").exitCode, 0);
  {
    TRunHistory history((dir / "game").string());
    history.Lock("test");
    platform::GameFileSystem files;
    files.AddWritableRoot(dir / "game");
    const auto journal = OpenTestRun(files, dir / "game", dir / "b");
    files.RemoveFile(dir / "game/override/keep.txt");
    journal->Finish("ok");
  }
  ASSERT_EQ(Install("game", "c").exitCode, 0);
  const std::vector<std::string> ids = RunIds();
  ASSERT_EQ(ids.size(), 3u);
  // c's record no longer fits: its reinstall is refused after the undo.
  const std::string record = "game/.veypatcher/runs/" + ids[2] + "/source.txt";
  std::string source = dir.Read(record);
  source.replace(source.find("\nini=\n"), 6, "\nini=notes.txt\n");
  dir.Write(record, source);
  Tree before = Snapshot(dir / "game", true);
  before.erase(".veypatcher/lock");
  ASSERT_FALSE(before.count("override/keep.txt"));

  CliResult replay = Replay(ids[1]);
  EXPECT_EQ(replay.exitCode, 3) << replay.out << replay.err;
  Tree after = Snapshot(dir / "game", true);
  after.erase(".veypatcher/lock");
  EXPECT_FALSE(fs::exists(dir / "game/override/keep.txt"));
  EXPECT_EQ(after, before);
}

TEST_F(CliReplay, AMissingOrChangedLaterModIsRefusedBeforeAnyChange) {
  InstallAll();
  const std::vector<std::string> ids = RunIds();
  const Tree before = Snapshot(dir / "game", true);
  auto withoutLock = [](Tree t) {
    t.erase(".veypatcher/lock");
    return t;
  };
  struct Case {
    const char* name;
    std::function<void()> plant, undo;
    std::string message;
  };
  const Case cases[] = {
      {"mod folder gone", [&] { fs::rename(dir / "c", dir / "c-moved"); },
       [&] { fs::rename(dir / "c-moved", dir / "c"); },
       "The mod of run " + ids[2] + " is missing: " + (dir / "c").string()},
      {"a shipped file edited", [&] { dir.Write("c/veypatchdata/c.txt", "edited"); },
       [&] { dir.Write("c/veypatchdata/c.txt", "c"); },
       "The files of the mod of run " + ids[2] + " changed since it was installed: " + (dir / "c").string()},
      {"a shipped file added", [&] { dir.Write("c/veypatchdata/new.txt", "new"); },
       [&] { fs::remove(dir / "c/veypatchdata/new.txt"); },
       "The files of the mod of run " + ids[2] + " changed since it was installed"},
      {"no source record", [&] { fs::rename(dir / "game/.veypatcher/runs" / ids[2] / "source.txt", dir / "src"); },
       [&] { fs::rename(dir / "src", dir / "game/.veypatcher/runs" / ids[2] / "source.txt"); },
       "Run " + ids[2] + " cannot be installed again: source.txt is missing."},
      {"a file of the run taken out changed by hand", [&] { dir.Write("game/override/b.txt", "by hand"); },
       [&] { dir.Write("game/override/b.txt", "b"); }, "override/b.txt changed after run " + ids[1] + "."},
      {"a source record without the mod's digest",
       [&] {
         const fs::path record = dir / "game/.veypatcher/runs" / ids[2] / "source.txt";
         fs::copy_file(record, dir / "src");
         std::string text = dir.Read("src");
         const std::size_t at = text.find("\ndigest=");
         ASSERT_NE(at, std::string::npos) << text;
         text.erase(at + 1, text.find('\n', at + 1) - at);
         std::ofstream(record, std::ios::binary | std::ios::trunc) << text;
       },
       [&] { fs::rename(dir / "src", dir / "game/.veypatcher/runs" / ids[2] / "source.txt"); },
       "The files of the mod of run " + ids[2] + " changed since it was installed"},
      {"a later run's record damaged",
       [&] { std::ofstream(dir / "game/.veypatcher/runs" / ids[2] / "run.txt", std::ios::app) << "garbage\n"; },
       [&] {
         const fs::path record = dir / "game/.veypatcher/runs" / ids[2] / "run.txt";
         std::string text = dir.Read(fs::relative(record, dir.Path()).string());
         text.erase(text.rfind("garbage\n"));
         std::ofstream(record, std::ios::binary | std::ios::trunc) << text;
       },
       "Run " + ids[2] + ", installed after it, cannot be used: its record is damaged"},
      {"a game file changed by hand", [&] { dir.Write("game/override/c.txt", "by hand"); },
       [&] { dir.Write("game/override/c.txt", "c"); }, "override/c.txt changed after run " + ids[2] + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    const Tree planted = Snapshot(dir / "game", true);
    CliResult replay = Replay(ids[1]);
    EXPECT_EQ(replay.exitCode, 1) << replay.out;
    EXPECT_NE(replay.out.find(c.message), std::string::npos) << replay.out;
    EXPECT_EQ(withoutLock(Snapshot(dir / "game", true)), withoutLock(planted));
    c.undo();
  }
  EXPECT_EQ(withoutLock(Snapshot(dir / "game", true)), withoutLock(before));
  // The installer's own leftovers in a mod folder are no change.
  ASSERT_TRUE(fs::exists(dir / "c/installlog.rtf"));
  dir.Write("c/backup/spells.2da", "old");
  dir.Write("c/veypatchdata/erfpatch_temp/x.tmp", "work");
  EXPECT_EQ(Replay(ids[1]).exitCode, 0);
}

// A replay killed at any point (the kill is played by dropping TReplay
// without its end) is reversed by the next command that takes the lock.
TEST_F(CliReplay, AReplayCutShortIsReversedByTheNextCommand) {
  struct Case {
    const char* name;
    std::function<void(TRunHistory&, TReplay&)> cut;  // what the replay did before the kill
    bool reversed;                                      // false: it had changed nothing yet
  };
  const Case cases[] = {
      {"while keeping the files", [](TRunHistory&, TReplay&) {}, false},
      {"after the undo", [](TRunHistory&, TReplay& r) { ASSERT_TRUE(r.Undo().empty()); }, true},
      {"after the runs' files were put back, before their records went",
       [&](TRunHistory&, TReplay& r) {
         ASSERT_TRUE(r.Undo().empty());
         for (const auto& kept : fs::directory_iterator(dir / "game/.veypatcher/replay/runs"))
           fs::copy(kept.path(), dir / "game/.veypatcher/runs" / kept.path().filename(),
                    fs::copy_options::recursive);
       },
       true},
      {"while putting the first kept file back",
       [&](TRunHistory&, TReplay& r) {
         ASSERT_TRUE(r.Undo().empty());
         // The kept files are numbered in the order of the list's file lines.
         std::istringstream kept(dir.Read("game/.veypatcher/replay/kept.txt"));
         int n = 0;
         for (std::string line; std::getline(kept, line);) {
           if (!line.starts_with("file\t")) continue;
           if (line.starts_with("file\t1\t")) {
             fs::rename(dir / "game/.veypatcher/replay/files" / std::to_string(n), dir / "game" / line.substr(7));
             return;
           }
           ++n;
         }
         ADD_FAILURE() << "no kept file";
       },
       true},
      {"after a reinstall",
       [&](TRunHistory&, TReplay& r) {
         ASSERT_TRUE(r.Undo().empty());
         testing::internal::CaptureStdout();
         const int code = cli::InstallAgain(r.Sources()[0], (dir / "game").string());
         testing::internal::GetCapturedStdout();
         ASSERT_EQ(code, 0);
       },
       true},
      {"during a reinstall",
       [&](TRunHistory&, TReplay& r) {
         ASSERT_TRUE(r.Undo().empty());
         // A run that wrote a file and a folder and never ended.
         platform::GameFileSystem files;
         files.AddWritableRoot(dir / "game");
         const auto journal = OpenTestRun(files, dir / "game", dir / "c");
         files.CreateDirectories(dir / "game/override/new");
         files.WriteFile(dir / "game/override/new/half.txt", ToBytes("half"));
         files.WriteFile(dir / "game/override/keep.txt", ToBytes("overwritten"));
       },
       true},
  };
  InstallAll();
  const std::vector<std::string> ids = RunIds();
  auto withoutLock = [](Tree t) {
    t.erase(".veypatcher/lock");
    return t;
  };
  const Tree before = withoutLock(Snapshot(dir / "game", true));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      TRunHistory history((dir / "game").string());
      history.Lock("test");
      TReplay replay(history, dir / "game");
      std::vector<std::string> refusals;
      ASSERT_TRUE(replay.Plan(ids[1], refusals));
      ASSERT_TRUE(refusals.empty());
      c.cut(history, replay);
      if (!c.reversed) dir.Write("game/.veypatcher/replay/files/0", "a copy");
    }
    ASSERT_TRUE(fs::exists(dir / "game/.veypatcher/replay"));
    CliResult next = RunCli({"uninstall", "--game", (dir / "game").string(), "--run", "none"});
    EXPECT_EQ(next.exitCode, 4) << next.out;
    EXPECT_EQ(next.out.find("Taking run " + ids[1] + " out with --replay was cut short; it was reversed first") !=
                  std::string::npos,
              c.reversed)
        << next.out;
    EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/replay"));
    const Tree after = withoutLock(Snapshot(dir / "game", true));
    EXPECT_EQ(after, before);
    for (const auto& [path, bytes] : before)
      EXPECT_TRUE(after.count(path) && after.at(path) == bytes) << path;
    for (const auto& [path, bytes] : after) EXPECT_TRUE(before.count(path)) << path << " is new";
  }

  // An install reverses it too, before it changes anything of its own.
  {
    TRunHistory history((dir / "game").string());
    history.Lock("test");
    TReplay replay(history, dir / "game");
    std::vector<std::string> refusals;
    ASSERT_TRUE(replay.Plan(ids[1], refusals));
    ASSERT_TRUE(replay.Undo().empty());
  }
  CliResult install = Install("game", "b");
  EXPECT_NE(install.out.find("Taking run " + ids[1] + " out with --replay was cut short; it was reversed first"),
            std::string::npos)
      << install.out;
  // The record of b is back under its own id: installing b again meets it.
  EXPECT_NE(install.out.find("already installed into this game on"), std::string::npos) << install.out;
  EXPECT_NE(install.out.find("(run " + ids[1] + ")"), std::string::npos) << install.out;
  EXPECT_EQ(RunIds(), ids);
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/replay"));
}

}  // namespace
}  // namespace vey::test
