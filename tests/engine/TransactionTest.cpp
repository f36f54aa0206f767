// A run as one transaction: rollback after a failure or an interrupt, byte for
// byte over the whole game folder; a full disk at every write of a run; the
// lock; the earlier-install check; recovery of an unfinished run; undoing
// runs and the refusals to.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/VeyException.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UVEYPatcher.h"
#include "engine/EngineFixture.h"
#include "support/GameFiles.h"
#include "support/GameTree.h"
#include "support/TalkTableBytes.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

// A small mod that touches every kind of game file: the talk table, new and
// replaced loose files (one read-only), a new folder, an archive and a table.
constexpr std::string_view kInstructions =
    "[Settings]\nInstallerMode=1\nLogLevel=4\n"
    "[TLKList]\nStrRef1=0\n"
    "[InstallList]\nfolder0=override\nfolder1=movies\\extra\nfolder2=modules\\m.mod\n"
    "[folder0]\nFile0=fresh.txt\nReplace0=locked.uti\n"
    "[folder1]\nFile0=deep.bik\n"
    "[folder2]\nFile0=added.utc\n"
    "[2DAList]\nT0=spells.2da\n";

void Instructions(EngineFixture& f, std::string_view extra = {}) {
  f.Ini(std::string(kInstructions) + std::string(extra) + "[spells.2da]\nAddRow0=row\n[row]\nlabel=new\n");
}

void MakeScenario(EngineFixture& f, std::string_view extraInstructions = {}) {
  Instructions(f, extraInstructions);
  f.MakeGame();
  f.WriteFile(f.Game() + "dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
  f.WriteFile(f.Game() + "override/spells.2da", TwoDA({"label"}, {{"a"}}));
  f.WriteFile(f.Game() + "override/locked.uti", SimpleGff("UTI ", "old"));
  ::chmod((f.Game() + "override/locked.uti").c_str(), 0444);
  f.WriteFile(f.Game() + "modules/m.mod", MakeArchive("MOD ", {{"a.utc", SimpleGff("UTC ", "a")}}));
  f.WriteFile(f.Data() + "append.tlk", TalkTable(std::vector<std::string>{"New"}));
  f.WriteFile(f.Data() + "fresh.txt", ToBytes("fresh"));
  f.WriteFile(f.Data() + "locked.uti", SimpleGff("UTI ", "new"));
  f.WriteFile(f.Data() + "deep.bik", ToBytes("movie"));
  f.WriteFile(f.Data() + "added.utc", SimpleGff("UTC ", "added"));
}

// Fails the Nth change the file layer is asked to make, as a full disk would.
struct DiskFull : platform::FileChangeObserver {
  explicit DiskFull(int n) : failAt(n) {}
  void BeforeChange(const platform::FileChange&) override {
    if (++count == failAt) throw EFCreateError("Cannot write file. No space left on device");
  }
  int failAt;
  int count = 0;
};

TEST(TransactionRollback, FailureOrInterruptPutsTheWholeGameBackByteForByte) {
  struct Case {
    const char* what;
    std::string_view extra;  // instructions that make the run fail
    bool interrupt;          // or: the host asks the run to stop
  };
  const Case cases[] = {
      {"a damaged table ends the run", "T1=broken.2da\n", false},
      {"an interrupt after some files", "", true},
  };
  for (const Case& c : cases) {
    EngineFixture f;
    MakeScenario(f, c.extra);
    f.WriteFile(f.Game() + "override/broken.2da", ToBytes("2DA V2.0\n"));
    const Tree before = Snapshot(f.Game());
    std::atomic<bool> stop{false};
    TVEYPatcher& e = f.Engine();
    e.RunOptions.cancel = &stop;
    if (c.interrupt) e.OnProgress = [&](std::int32_t position, std::int32_t) { stop = position >= 3; };
    TRunResult result;
    EXPECT_THROW(e.Run(result), Exception) << c.what;
    EXPECT_EQ(Snapshot(f.Game()), before) << c.what;
    EXPECT_EQ(f.CountContaining("Rolled back: "), 1u) << c.what;
    EXPECT_EQ(f.CountContaining(c.interrupt ? "Rolling back: the installation was interrupted"
                                            : "Rolling back: the run ended with a failure"),
              1u)
        << c.what;
    // Nothing is left to undo, and the next run may start.
    EXPECT_TRUE(platform::ListRuns(f.Game()).empty()) << c.what;
  }
}

TEST(TransactionRollback, RecordListsEveryChangedFileWithDigestsAndNoRollbackKeepsIt) {
  EngineFixture f;
  MakeScenario(f, "T1=broken.2da\n");
  f.WriteFile(f.Game() + "override/broken.2da", ToBytes("2DA V2.0\n"));
  const Tree before = Snapshot(f.Game());
  TVEYPatcher& e = f.Engine();
  e.RunOptions.rollbackOnFailure = false;
  TRunResult result;
  EXPECT_THROW(e.Run(result), EDead);
  EXPECT_NE(Snapshot(f.Game()), before);

  const platform::RunRecord* record = e.RunRecordOfRun();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->verdict, "failed");
  std::map<std::string, std::string> actions;
  for (const platform::JournalFile& file : record->files) actions[file.path] = file.action;
  EXPECT_EQ(actions, (std::map<std::string, std::string>{{"dialog.tlk", "modified"},
                                                         {"modules/m.mod", "modified"},
                                                         {"movies/extra/deep.bik", "created"},
                                                         {"override/fresh.txt", "created"},
                                                         {"override/locked.uti", "modified"},
                                                         {"override/spells.2da", "modified"}}));
  for (const platform::JournalFile& file : record->files) {
    if (file.path != "override/fresh.txt") continue;
    EXPECT_EQ(file.sizeAfter, 5u);
    // SHA-256 of "fresh".
    EXPECT_EQ(file.sha256After, "d098ab5e44b9aabb755f76d806598f43573c662b35e4a2eab1e312ec9ad195e2");
    EXPECT_TRUE(file.sha256Before.empty());
  }
  // The failed run stays in the history and can be undone.
  TRunHistory history(f.Game());
  auto run = history.Find("");
  ASSERT_TRUE(run);
  EXPECT_TRUE(history.Check(*run).Clear());
  EXPECT_TRUE(history.Undo(*run).problems.empty());
  EXPECT_EQ(Snapshot(f.Game()), before);
  EXPECT_TRUE(history.Runs().empty());
}

TEST(TransactionRollback, DiskFullAtEveryWriteLeavesTheGameRestorable) {
  // How many changes a whole run makes.
  int changes = 0;
  {
    EngineFixture f;
    MakeScenario(f);
    DiskFull counter(0);
    f.fake.files.AddObserver(&counter);
    TRunResult result;
    f.Engine().Run(result);
    ASSERT_EQ(result.Errors + result.Warnings, 0);
    changes = counter.count;
  }
  ASSERT_GT(changes, 10);
  for (int n = 1; n <= changes; ++n) {
    EngineFixture f;
    MakeScenario(f);
    const Tree before = Snapshot(f.Game());
    DiskFull full(n);
    f.fake.files.AddObserver(&full);
    TRunResult result;
    try {
      f.Engine().Run(result);
      // A write the lists report and go on past: the run ends with errors,
      // stays recorded and is undone from its record.
      EXPECT_GT(result.Errors, 0) << "write " << n;
      TRunHistory history(f.Game());
      auto run = history.Find("");
      ASSERT_TRUE(run) << "write " << n;
      EXPECT_TRUE(history.Undo(*run).problems.empty()) << "write " << n;
    } catch (const Exception&) {
      EXPECT_EQ(f.CountContaining("Rolled back: "), 1u) << "write " << n;
    }
    EXPECT_EQ(Snapshot(f.Game()), before) << "write " << n;
  }
}

TEST(TransactionLock, SecondRunIsRefusedAtOnceNamingTheFirst) {
  EngineFixture f;
  MakeScenario(f);
  const Tree before = Snapshot(f.Game());
  platform::RunLock other;
  std::string pid, mod;
  ASSERT_TRUE(other.TryTake(f.Game(), "Other Mod", pid, mod));
  TRunResult result;
  try {
    f.Engine().Run(result);
    ADD_FAILURE() << "the run was not refused";
  } catch (const ERunRefused& e) {
    EXPECT_EQ(e.Code(), kRefusedLocked);
    EXPECT_NE(std::string(e.what()).find("process " + std::to_string(::getpid()) + ", mod \"Other Mod\""),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(Snapshot(f.Game()), before);
  EXPECT_TRUE(platform::ListRuns(f.Game()).empty());
  // A third party cannot take it either; once released, a run goes ahead.
  platform::RunLock third;
  EXPECT_FALSE(third.TryTake(f.Game(), "x", pid, mod));
  EXPECT_EQ(mod, "Other Mod");
  other.Release();
  EXPECT_NO_THROW(f.Engine().Run(result));
  EXPECT_NE(Snapshot(f.Game()), before);
  EXPECT_EQ(platform::ListRuns(f.Game()).size(), 1u);
}

TEST(TransactionEarlierInstall, SameInstructionsAndTypeAreNoticedAndAsked) {
  EngineFixture f;
  MakeScenario(f);
  TRunResult result;
  f.Engine().Run(result);
  const Tree installed = Snapshot(f.Game());
  const std::string firstRun = platform::ListRuns(f.Game()).front().id;

  struct Case {
    const char* what;
    std::string type;
    bool editInstructions;
    bool damageLatestFileList;
    bool asked;
  };
  const Case cases[] = {
      {"same instructions, same type", "", false, false, true},
      {"another installation type", "Light", false, false, false},
      {"changed instructions", "", true, false, false},
      // Its header still matches; only the whole record shows it unsound.
      {"the matching run's file list is damaged", "", false, true, false},
  };
  for (const Case& c : cases) {
    if (c.editInstructions) Instructions(f, "; edited\n");
    if (c.damageLatestFileList) {
      const fs::path files = platform::JournalHome(f.Game()) / "runs" / platform::ListRuns(f.Game()).back().id / "files.txt";
      std::ofstream(files, std::ios::app) << "not a file line\n";
    }
    TVEYPatcher& e = f.Engine();
    e.RunOptions.installationType = c.type;
    bool asked = false;
    e.RunOptions.confirmReinstall = [&](const platform::RunRecord& earlier) {
      asked = true;
      EXPECT_EQ(earlier.id, firstRun);
      return false;
    };
    if (c.asked) {
      try {
        e.Run(result);
        ADD_FAILURE() << c.what;
      } catch (const ERunRefused& refused) {
        EXPECT_EQ(refused.Code(), kRefusedAlreadyInstalled);
        EXPECT_NE(std::string(refused.what()).find("already installed into this game on"), std::string::npos);
        EXPECT_NE(std::string(refused.what()).find(firstRun), std::string::npos);
      }
      EXPECT_EQ(Snapshot(f.Game()), installed) << c.what;
    } else {
      EXPECT_NO_THROW(e.Run(result)) << c.what;
    }
    EXPECT_EQ(asked, c.asked) << c.what;
  }
}

// Of several matching runs the latest sound one is named; one whose file
// list is damaged is passed over for an earlier one, not taken as no earlier
// install at all.
TEST(TransactionEarlierInstall, TheLatestSoundMatchingRunIsNamed) {
  EngineFixture f;
  MakeScenario(f);
  TVEYPatcher& e = f.Engine();
  e.RunOptions.confirmReinstall = [](const platform::RunRecord&) { return true; };
  TRunResult result;
  e.Run(result);
  e.Run(result);
  const std::vector<platform::RunRecord> runs = platform::ListRuns(f.Game());
  ASSERT_EQ(runs.size(), 2u);
  std::string named;
  e.RunOptions.confirmReinstall = [&](const platform::RunRecord& earlier) {
    named = earlier.id;
    return false;
  };
  EXPECT_THROW(e.Run(result), ERunRefused);
  EXPECT_EQ(named, runs[1].id);
  std::ofstream(platform::JournalHome(f.Game()) / "runs" / runs[1].id / "files.txt", std::ios::app)
      << "not a file line\n";
  named.clear();
  EXPECT_THROW(e.Run(result), ERunRefused);
  EXPECT_EQ(named, runs[0].id);
}

TEST(TransactionRecovery, ScriptSourcesLeftProcessedAreRestoredBeforeAnythingElse) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n[CompileList]\nScript0=a.nss\nScript1=b.nss\n"
        "[b.nss]\n!SourceFile=src\\b_src.nss\n");
  f.MakeGame();
  // What a run killed while compiling leaves: processed sources in place,
  // the mod's own in "nsspatch_temp", and one copy that belongs to no script.
  f.WriteFile(f.Data() + "a.nss", ToBytes("int x = 12;\r\n"));
  f.WriteFile(f.Data() + "src/b_src.nss", ToBytes("int y = 7;\r\n"));
  f.WriteFile(f.Data() + "nsspatch_temp/a.nss", ToBytes("int x = #2DAMEMORY1#;\n"));
  f.WriteFile(f.Data() + "nsspatch_temp/b_src.nss", ToBytes("int y = #StrRef1#;\n"));
  f.WriteFile(f.Data() + "nsspatch_temp/stray.nss", ToBytes("stray"));
  // Saves killed half-way: a copy into "nsspatch_temp" and processed text
  // beside a source.
  f.WriteFile(f.Data() + "nsspatch_temp/a.nss.vey-41-2.tmp", ToBytes("int x"));
  f.WriteFile(f.Data() + "src/b_src.nss.vey-41-3.tmp", ToBytes("int y = 1"));
  f.Engine().RecoverScriptSources();
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp/a.nss.vey-41-2.tmp"));
  EXPECT_FALSE(f.Exists(f.Data() + "src/b_src.nss.vey-41-3.tmp"));
  EXPECT_EQ(f.ReadFile(f.Data() + "a.nss"), "int x = #2DAMEMORY1#;\n");
  EXPECT_EQ(f.ReadFile(f.Data() + "src/b_src.nss"), "int y = #StrRef1#;\n");
  EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp/a.nss"));
  EXPECT_EQ(f.ReadFile(f.Data() + "nsspatch_temp/stray.nss"), "stray");
  EXPECT_EQ(f.CountContaining("Restored the mod's script source"), 2u);
}

TEST(TransactionRecovery, UnfinishedRunIsRolledBackBeforeTheNextOneStarts) {
  EngineFixture f;
  MakeScenario(f);
  const Tree before = Snapshot(f.Game());
  {
    // A run that never ended: its journal says "running".
    platform::RunRecord header;
    header.modFolder = f.App();
    platform::RunJournal journal(f.fake.files, f.Game(), header);
    f.fake.files.AddWritableRoot(f.Game());
    f.fake.files.WriteFile(f.Game() + "dialog.tlk", ToBytes("half-written"));
    f.fake.files.CreateDirectories(f.Game() + "new/deeper");
    f.fake.files.WriteFile(f.Game() + "new/deeper/x.txt", ToBytes("x"));
    f.fake.files.RemoveFile(f.Game() + "override/spells.2da");
  }
  TRunHistory history(f.Game());
  history.Lock("test");
  EXPECT_EQ(history.RecoverUnfinished().size(), 1u);
  EXPECT_EQ(Snapshot(f.Game()), before);
  EXPECT_TRUE(history.Runs().empty());
}

}  // namespace
}  // namespace vey::test
