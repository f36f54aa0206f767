// Folders in a run's record: folders the run removed come back when it is
// rolled back or undone, and a folder a person put where the run created a
// file is left with everything in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/run/URunHistory.h"
#include "platform/GameFileSystem.h"
#include "platform/RunJournal.h"
#include "support/TestRuns.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

// The game before the run: a talk table and two nested empty folders.
void PlainGame(const TempDir& dir) {
  dir.Write("game/dialog.tlk", "talk");
  fs::create_directories(dir / "game/old/inner");
}

// The run: creates override/new.txt and removes old/inner, then old.
std::string ShapingRun(const TempDir& dir, platform::GameFileSystem& files, bool finish) {
  const auto journal = OpenTestRun(files, dir / "game", dir / "mod");
  files.CreateDirectories(dir / "game/override");
  files.WriteFile(dir / "game/override/new.txt", ToBytes("new"));
  EXPECT_TRUE(files.RemoveEmptyDirectory(dir / "game/old/inner"));
  EXPECT_TRUE(files.RemoveEmptyDirectory(dir / "game/old"));
  if (finish) journal->Finish("ok");
  return journal->Record().id;
}

TEST(FolderShapes, RemovedFoldersComeBackWhenAnUnfinishedRunIsRolledBack) {
  TempDir dir;
  PlainGame(dir);
  platform::GameFileSystem files;
  files.AddWritableRoot(dir / "game");
  const std::string id = ShapingRun(dir, files, false);
  const platform::RollbackResult r = platform::RollBackStoredRun(dir / "game", id);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_TRUE(fs::is_directory(dir / "game/old/inner"));
  EXPECT_FALSE(fs::exists(dir / "game/override"));
}

TEST(FolderShapes, UndoLeavesAFolderWhereItsFileWasAndRemakesRemovedFolders) {
  TempDir dir;
  PlainGame(dir);
  TRunHistory history((dir / "game").string());
  history.Lock("test");
  platform::GameFileSystem files;
  files.AddWritableRoot(dir / "game");
  ShapingRun(dir, files, true);
  // Since then a person put a folder of their own where the run's file was.
  fs::remove(dir / "game/override/new.txt");
  dir.Write("game/override/new.txt/mine.txt", "mine");

  const auto run = history.Find("");
  ASSERT_TRUE(run);
  const platform::RollbackResult r = history.Undo(*run);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(dir.Read("game/override/new.txt/mine.txt"), "mine");
  EXPECT_TRUE(fs::is_directory(dir / "game/old/inner"));
  EXPECT_TRUE(history.Runs().empty());
}

}  // namespace
}  // namespace vey::test
