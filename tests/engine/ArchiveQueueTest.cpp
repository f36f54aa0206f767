// TArchiveQueue: documents queued per archive, seen through the open archive
// before they are written, and a failed archive not stopping the others.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/support/UArchiveQueue.h"
#include "platform/OverlayFileSystem.h"
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

TEST(TArchiveQueue, FailedArchiveDoesNotStopTheOthersAndLeavesNothingStaged) {
  TempDir dir;
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {}));
  const fs::path b = dir.Write("b.rim", MakeArchive("RIM ", {}));
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  // Every document waits in the staging folder.
  TArchiveQueue queue(files, (dir / "stage").string() + "/", 1);
  queue.Add(a.string(), "one.utc", SimpleGff("UTC ", "one"));
  queue.Add(b.string(), "two.utc", SimpleGff("UTC ", "two"));
  ASSERT_EQ(std::distance(fs::directory_iterator(dir / "stage"), fs::directory_iterator()), 2);
  // The first archive can no longer be replaced: a folder now stands in its place.
  fs::remove(a);
  fs::create_directory(a);
  EXPECT_THROW(queue.Flush(), EFCreateError);
  EXPECT_EQ(ArchiveResource(b, "two.utc"), SimpleGff("UTC ", "two"));
  // The failed archive's documents do not stay behind either.
  EXPECT_FALSE(fs::exists(dir / "stage"));
  EXPECT_TRUE(queue.Empty());
}

TEST(TArchiveQueue, DocumentsPastTheMemoryLimitAreStagedWithTheSameResult) {
  TempDir dir;
  const auto doc = [](const char* tag) { return SimpleGff("UTC ", tag); };
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {{"x.utc", doc("old")}, {"keep.uti", {7}}}));
  const fs::path b = dir.Write("b.mod", ReadWholeFile(a));
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  TArchiveQueue held(files, (dir / "held").string() + "/");
  TArchiveQueue spilled(files, (dir / "spilled").string() + "/", doc("first").size() + 1);
  for (auto* q : {&held, &spilled}) {
    const std::string path = (q == &held ? a : b).string();
    q->Add(path, "x.utc", doc("first"));
    q->Add(path, "y.utc", doc("y"));
    q->Add(path, "X.UTC", doc("second"));
  }
  // Documents wait in memory until the limit is passed; the first x is
  // held, its replacement staged.
  EXPECT_FALSE(fs::exists(dir / "held"));
  const std::string prefix = std::to_string(::getpid()) + "-0_";
  EXPECT_TRUE(fs::exists(dir / "spilled" / (prefix + "y.utc")));
  EXPECT_TRUE(fs::exists(dir / "spilled" / (prefix + "x.utc")));
  spilled.Find(b.string())->ExtractResource("x", 2027, dir / "peek.utc");
  EXPECT_EQ(ReadWholeFile(dir / "peek.utc"), doc("second"));
  held.Flush();
  spilled.Flush();
  EXPECT_EQ(ArchiveNames(a), (std::vector<std::string>{"keep.uti", "y.utc", "X.utc"}));
  EXPECT_EQ(ArchiveResource(a, "x.utc"), doc("second"));
  EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(b));
  EXPECT_FALSE(fs::exists(dir / "spilled"));
}

// Both archives fail; the one queued first is the failure raised.
TEST(TArchiveQueue, TheFirstFailureInQueueOrderIsRaised) {
  TempDir dir;
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {}));
  const fs::path b = dir.Write("b.rim", MakeArchive("RIM ", {}));
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  TArchiveQueue queue(files, (dir / "stage").string() + "/");
  queue.Add(b.string(), "two.utc", SimpleGff("UTC ", "two"));
  queue.Add(a.string(), "one.utc", SimpleGff("UTC ", "one"));
  for (const fs::path& archive : {a, b}) {
    fs::remove(archive);
    fs::create_directory(archive);
  }
  try {
    queue.Flush();
    ADD_FAILURE() << "the flush succeeded";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("b.rim"), std::string::npos) << e.what();
  }
}

// A run that fails before its flush drops its queue: the archive stays as
// it was and no staged document is left, and a flushed queue holds
// documents in memory again from the start.
TEST(TArchiveQueue, DroppedQueueLeavesNothingAndAFlushFreesTheMemoryBound) {
  TempDir dir;
  const auto doc = SimpleGff("UTC ", "new");
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {{"x.utc", SimpleGff("UTC ", "old")}}));
  const std::vector<std::uint8_t> old = ReadWholeFile(a);
  platform::GameFileSystem files;
  files.AddWritableRoot(dir.Path());
  {
    TArchiveQueue queue(files, (dir / "stage").string() + "/", 1);
    queue.Add(a.string(), "x.utc", doc);
    ASSERT_TRUE(fs::exists(dir / "stage"));
  }
  EXPECT_FALSE(fs::exists(dir / "stage"));
  EXPECT_EQ(ReadWholeFile(a), old);

  TArchiveQueue queue(files, (dir / "stage").string() + "/", doc.size());
  queue.Add(a.string(), "x.utc", doc);
  queue.Flush();
  queue.Add(a.string(), "y.utc", doc);
  EXPECT_FALSE(fs::exists(dir / "stage"));
  queue.Flush();
  EXPECT_EQ(ArchiveNames(a), (std::vector<std::string>{"x.utc", "y.utc"}));
}

// In a dry run the rebuilt archive goes to the overlay: the game's stays as
// it was, and whatever reads the archive later in the run sees the new one.
TEST(TArchiveQueue, InADryRunTheRebuiltArchiveIsSeenThroughTheOverlay) {
  TempDir dir;
  const fs::path a = dir.Write("a.mod", MakeArchive("MOD ", {{"x.utc", SimpleGff("UTC ", "old")}}));
  const std::vector<std::uint8_t> old = ReadWholeFile(a);
  platform::OverlayFileSystem files;
  files.AddWritableRoot(dir.Path());
  TArchiveQueue queue(files, (dir / "stage").string() + "/", 1);
  queue.Add(a.string(), "x.utc", SimpleGff("UTC ", "new"));
  queue.Flush();
  EXPECT_EQ(ReadWholeFile(a), old);
  EXPECT_EQ(ArchiveResource(files.HostPath(a), "x.utc"), SimpleGff("UTC ", "new"));
  EXPECT_FALSE(files.Exists(dir / "stage"));
}

}  // namespace
}  // namespace vey::test
