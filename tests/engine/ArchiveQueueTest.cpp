// TArchiveQueue: documents queued per archive, seen through the open archive
// before they are written, and a failed archive not stopping the others.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/UArchiveQueue.h"
#include "support/GameFiles.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

TEST(TArchiveQueue, QueuedDocumentsAreVisibleAndWrittenOnFlush) {
  TempDir dir;
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {{"x.utc", SimpleGff("UTC ", "old")}}));
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  TArchiveQueue queue(files, (dir / "stage").string() + "/");
  EXPECT_EQ(queue.Find(a.string()), nullptr);
  queue.Add(a.string(), "X.utc", SimpleGff("UTC ", "first"));
  queue.Add((dir / "." / "a.mod").string(), "x.UTC", SimpleGff("UTC ", "second"));
  TERFHandler* open = queue.Find(a.string());
  ASSERT_NE(open, nullptr);
  EXPECT_TRUE(open->HasResource("x.utc", true));
  open->ExtractResource("x", 2027, dir / "peek.utc");
  EXPECT_EQ(ReadWholeFile(dir / "peek.utc"), SimpleGff("UTC ", "second"));
  // Nothing is written before the flush.
  EXPECT_EQ(ArchiveResource(a, "x.utc"), SimpleGff("UTC ", "old"));
  queue.Flush();
  EXPECT_EQ(ArchiveNames(a), (std::vector<std::string>{"x.utc"}));
  EXPECT_EQ(ArchiveResource(a, "x.utc"), SimpleGff("UTC ", "second"));
  EXPECT_TRUE(queue.Empty());
  EXPECT_FALSE(fs::exists(dir / "stage"));
}

TEST(TArchiveQueue, FailedArchiveDoesNotStopTheOthersAndKeepsItsDocuments) {
  TempDir dir;
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {}));
  const fs::path b = dir.Write("b.rim", MakeArchive("RIM ", {}));
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  TArchiveQueue queue(files, (dir / "stage").string() + "/");
  queue.Add(a.string(), "one.utc", SimpleGff("UTC ", "one"));
  queue.Add(b.string(), "two.utc", SimpleGff("UTC ", "two"));
  // The first archive can no longer be replaced: a folder now stands in its place.
  fs::remove(a);
  fs::create_directory(a);
  EXPECT_THROW(queue.Flush(), EFCreateError);
  EXPECT_EQ(ArchiveResource(b, "two.utc"), SimpleGff("UTC ", "two"));
  EXPECT_TRUE(fs::exists(dir / "stage/0_one.utc"));
  EXPECT_FALSE(fs::exists(dir / "stage/1_two.utc"));
  EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace vey::test
