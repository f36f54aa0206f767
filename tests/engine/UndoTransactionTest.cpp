// Undoing a run as one transaction: killed at every moment and finished by
// the next start; interrupted or stopped by a file that cannot be put back,
// it leaves the run installed. Installs, rollbacks, undos and recoveries
// with the override folder on another file system, or on one without hard
// links, put every byte and mode back.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "common/VeyException.h"
#include "engine/EngineFixture.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UUndoTransaction.h"
#include "formats/U2DAEdit.h"
#include "platform/FilePlacement.h"
#include "support/GameFiles.h"
#include "support/GameTree.h"
#include "support/TalkTableBytes.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

// A mod that appends to the talk table, adds and replaces loose files (one
// read-only), makes a folder, edits an archive and a table; with broken, a
// damaged table of its own ends the run after all that.
void MakeMod(EngineFixture& f, bool broken = false) {
  f.Ini(std::string("[Settings]\nInstallerMode=1\nLogLevel=4\n[TLKList]\nStrRef1=0\n"
                    "[InstallList]\nfolder0=override\nfolder1=movies\\extra\nfolder2=modules\\m.mod\n"
                    "[folder0]\nFile0=fresh.txt\nReplace0=locked.uti\n[folder1]\nFile0=deep.bik\n"
                    "[folder2]\nFile0=added.utc\n[spells.2da]\nAddRow0=row\n[row]\nlabel=new\n[2DAList]\n"
                    "T0=spells.2da\n") +
        (broken ? "T1=broken.2da\n" : ""));
  f.WriteFile(f.Data() + "broken.2da", ToBytes("2DA V2.0\n"));
  f.WriteFile(f.Data() + "append.tlk", TalkTable(std::vector<std::string>{"New"}));
  f.WriteFile(f.Data() + "fresh.txt", ToBytes("fresh"));
  f.WriteFile(f.Data() + "locked.uti", SimpleGff("UTI ", "new"));
  f.WriteFile(f.Data() + "deep.bik", ToBytes("movie"));
  f.WriteFile(f.Data() + "added.utc", SimpleGff("UTC ", "added"));
}

// The game, its override folder at overrideAt (a link from the game folder
// when it lies elsewhere).
void MakeGame(EngineFixture& f, const fs::path& overrideAt) {
  f.MakeGame(false);
  fs::create_directories(overrideAt);
  if (overrideAt != fs::path(f.Game() + "override")) fs::create_directory_symlink(overrideAt, f.Game() + "override");
  f.WriteFile(f.Game() + "dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
  f.WriteFile((overrideAt / "spells.2da").string(), TwoDA({"label"}, {{"a"}}));
  f.WriteFile((overrideAt / "locked.uti").string(), SimpleGff("UTI ", "old"));
  ::chmod((overrideAt / "locked.uti").c_str(), 0444);
  f.WriteFile(f.Game() + "modules/m.mod", MakeArchive("MOD ", {{"a.utc", SimpleGff("UTC ", "a")}}));
}

std::string Install(EngineFixture& f) {
  TRunResult result;
  f.Engine().Run(result);
  return platform::ListRuns(f.Game()).back().id;
}

// What the next uninstall or install does first.
void Recover(const std::string& game) {
  TRunHistory history(game);
  history.Lock("test");
  history.RecoverUndo();
  history.RecoverUnfinished();
}

bool Recorded(const std::string& game, const std::string& id) {
  for (const auto& run : platform::ListRuns(game))
    if (run.id == id) return true;
  return false;
}

// Stops the process the way kill -9 does, at the nth moment it is told of.
struct Killer : platform::FileChangeObserver {
  int left;
  explicit Killer(int n) : left(n) {}
  void Tick() {
    if (--left == 0) ::raise(SIGKILL);
  }
  void BeforeChange(const platform::FileChange&) override { Tick(); }
  void AfterChange(const platform::FileChange&) override { Tick(); }
};

// Runs body in a child process; true when the child was killed.
bool KilledInChild(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ::_exit(3);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
  return WIFSIGNALED(status);
}

TEST(UndoKilled, EveryMomentLeavesTheRunInstalledOrUndoneAndTheRetryFinishes) {
  EngineFixture f;
  MakeMod(f);
  MakeGame(f, f.Game() + "override");
  const Tree before = Snapshot(f.Game());
  std::string id = Install(f);
  const Tree installed = Snapshot(f.Game());
  ASSERT_NE(installed, before);

  int reversed = 0, completed = 0;
  for (int moment = 1;; ++moment) {
    const bool killed = KilledInChild([&] {
      TRunHistory history(f.Game());
      history.Lock("uninstall");
      TUndoTransaction undo(f.Game());
      Killer killer(moment);
      undo.Files().AddObserver(&killer);
      undo.onMoment = [&](std::string_view) { killer.Tick(); };
      if (!undo.Undo(*history.Find(id))) ::_exit(4);
      undo.Commit();
      killer.Tick();
    });
    // Whatever the moment, the next start finds the run whole or gone.
    Recover(f.Game());
    const Tree now = Snapshot(f.Game());
    if (Recorded(f.Game(), id)) {
      EXPECT_EQ(now, installed) << "killed at moment " << moment;
      ++reversed;
      // The retry does not refuse because of what the killed one changed.
      TRunHistory history(f.Game());
      history.Lock("uninstall");
      const auto run = history.Find(id);
      ASSERT_TRUE(run);
      EXPECT_TRUE(history.Check(*run).Clear()) << "killed at moment " << moment;
      EXPECT_TRUE(history.Undo(*run).problems.empty());
    } else {
      ++completed;
    }
    EXPECT_EQ(Snapshot(f.Game()), before) << "killed at moment " << moment;
    EXPECT_FALSE(fs::exists(f.Game() + ".veypatcher/undo") && !fs::is_empty(f.Game() + ".veypatcher/undo"));
    if (!killed) break;
    id = Install(f);
    ASSERT_EQ(Snapshot(f.Game()), installed);
  }
  // Both sides of the commit point were reached.
  EXPECT_GT(reversed, 10);
  EXPECT_GE(completed, 3);
}

// Ctrl-C between two files, or a file that cannot be put back, undoes
// nothing: the run stays installed and recorded.
TEST(UndoStopped, InterruptOrUnplaceableFileLeavesTheRunInstalled) {
  for (const bool interrupt : {true, false}) {
    SCOPED_TRACE(interrupt ? "interrupted" : "a file cannot be put back");
    EngineFixture f;
    MakeMod(f);
    MakeGame(f, f.Game() + "override");
    const std::string id = Install(f);
    std::atomic<bool> cancel{false};
    if (!interrupt) {
      // The edited table was replaced by a folder with something in it.
      fs::remove(f.Game() + "override/spells.2da");
      f.WriteFile(f.Game() + "override/spells.2da/mine.txt", ToBytes("mine"));
    }
    const Tree installed = Snapshot(f.Game());
    TRunHistory history(f.Game());
    history.Lock("uninstall");
    const auto run = history.Find(id);
    ASSERT_TRUE(run);
    if (interrupt) {
      TUndoTransaction undo(f.Game(), &cancel);
      int changes = 0;
      struct Stop : platform::FileChangeObserver {
        std::function<void()> then;
        void BeforeChange(const platform::FileChange&) override {}
        void AfterChange(const platform::FileChange&) override { then(); }
      } stop;
      stop.then = [&] {
        if (++changes == 3) cancel = true;
      };
      undo.Files().AddObserver(&stop);
      EXPECT_THROW(undo.Undo(*run), ECancelled);
    } else {
      const auto result = history.Undo(*run);
      ASSERT_EQ(result.problems.size(), 1u);
      EXPECT_EQ(result.problems.front().rfind("override/spells.2da (", 0), 0u) << result.problems.front();
    }
    EXPECT_EQ(Snapshot(f.Game()), installed);
    EXPECT_TRUE(Recorded(f.Game(), id));
    EXPECT_FALSE(fs::exists(f.Game() + ".veypatcher/undo"));  // no undo journal left
  }
}

// A second disk for the override folder: a tmpfs when the tests may mount
// one, else every folder taken for a disk of its own.
class OtherDisk {
 public:
  explicit OtherDisk(const fs::path& at) : at_(at) {
    fs::create_directories(at);
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=16m") == 0;
    if (!mounted_) platform::SetFileSystemQuirkForTesting(platform::FileSystemQuirk::kEachFolderItsOwnDisk);
  }
  ~OtherDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    platform::SetFileSystemQuirkForTesting(platform::FileSystemQuirk::kNone);
  }

 private:
  fs::path at_;
  bool mounted_ = false;
};

struct DiskCase {
  const char* what;
  bool otherDisk;   // the override folder is a link to another file system
  bool noHardLinks;  // the file system keeps old versions by copy
};

TEST(TwoFileSystems, InstallRollbackUndoAndRecoveryPutEveryByteBack) {
  const DiskCase cases[] = {
      {"override on another disk", true, false},
      {"no hard links", false, true},
  };
  for (const DiskCase& c : cases) {
    SCOPED_TRACE(c.what);
    EngineFixture f;
    MakeMod(f);
    std::unique_ptr<OtherDisk> disk;
    const fs::path overrideAt = c.otherDisk ? f.dir / "second disk" / "override" : fs::path(f.Game() + "override");
    if (c.otherDisk) disk = std::make_unique<OtherDisk>(f.dir / "second disk");
    if (c.noHardLinks) platform::SetFileSystemQuirkForTesting(platform::FileSystemQuirk::kNoHardLinks);
    MakeGame(f, overrideAt);
    const Tree before = Snapshot(f.Game());

    // Install, then undo.
    const std::string id = Install(f);
    const Tree installed = Snapshot(f.Game());
    ASSERT_NE(installed, before);
    {
      TRunHistory history(f.Game());
      history.Lock("uninstall");
      const auto run = history.Find(id);
      ASSERT_TRUE(run);
      EXPECT_TRUE(history.Check(*run).Clear());
      const auto result = history.Undo(*run);
      EXPECT_TRUE(result.problems.empty()) << (result.problems.empty() ? "" : result.problems.front());
    }
    EXPECT_EQ(Snapshot(f.Game()), before);

    // A run that a failure ends is rolled back.
    MakeMod(f, true);
    TRunResult result;
    EXPECT_THROW(f.Engine().Run(result), EDead);
    EXPECT_EQ(Snapshot(f.Game()), before);
    EXPECT_TRUE(platform::ListRuns(f.Game()).empty());

    // A run killed half-way is rolled back by the next start.
    MakeMod(f);
    for (int moment : {2, 6, 10}) {
      EXPECT_TRUE(KilledInChild([&] {
        Killer killer(moment);
        f.fake.files.AddObserver(&killer);
        TRunResult r;
        f.Engine().Run(r);
      })) << "moment " << moment;
      Recover(f.Game());
      EXPECT_EQ(Snapshot(f.Game()), before) << "moment " << moment;
    }

    // An undo killed half-way is reversed, then done.
    const std::string again = Install(f);
    EXPECT_EQ(Snapshot(f.Game()), installed);
    EXPECT_TRUE(KilledInChild([&] {
      TRunHistory history(f.Game());
      history.Lock("uninstall");
      TUndoTransaction undo(f.Game());
      Killer killer(6);
      undo.Files().AddObserver(&killer);
      undo.Undo(*history.Find(again));
    }));
    Recover(f.Game());
    EXPECT_EQ(Snapshot(f.Game()), installed);
    {
      TRunHistory history(f.Game());
      history.Lock("uninstall");
      EXPECT_TRUE(history.Undo(*history.Find(again)).problems.empty());
    }
    EXPECT_EQ(Snapshot(f.Game()), before);
    platform::SetFileSystemQuirkForTesting(platform::FileSystemQuirk::kNone);
  }
}

// A committed undo journal found at start is finished from its list of
// undone runs alone; names in that list that are no plain run name are
// passed over, and a journal already thrown away is only cleared up.
TEST(UndoRecovered, ListedRunsLeaveTheHistoryAndNothingElseMoves) {
  TempDir dir;
  const fs::path game = dir / "game";
  const fs::path home = platform::JournalHome(game);
  for (const char* run : {"runs/20260101-1", "runs/20260101-2"}) fs::create_directories(home / run);
  dir.Write((home / "runs/20260101-1/run.txt").lexically_relative(dir.Path()).string(), "state=finished\n");
  dir.Write((home / "undo/u1/undone.txt").lexically_relative(dir.Path()).string(), "..\n.\n20260101-1\n");
  dir.Write((home / "undo/u0.gone/changes.log").lexically_relative(dir.Path()).string(), "left over\n");
  std::vector<TRecoveredUndo> recovered;
  ASSERT_NO_THROW(recovered = RecoverUndoJournals(game.string()));
  ASSERT_EQ(recovered.size(), 1u);
  EXPECT_EQ(recovered[0].name, "u1");
  EXPECT_TRUE(recovered[0].completed);
  EXPECT_FALSE(fs::exists(home / "runs/20260101-1"));
  EXPECT_TRUE(fs::exists(home / "runs/20260101-2"));
  EXPECT_FALSE(fs::exists(home / "undo"));
}

}  // namespace
}  // namespace vey::test
