// Whole-file reads and atomic replacement.
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "common/FileIO.h"
#include "common/VeyException.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

TEST(AtomicFileWriter, ReplacesOnlyOnCommit) {
  test::TempDir dir;
  auto target = dir.Write("t.bin", "old");
  {
    AtomicFileWriter w(target);
    w.Write(test::ToBytes("new content"));
    EXPECT_EQ(dir.Read("t.bin"), "old");
  }  // abandoned: the old file stays, no temporary is left behind
  EXPECT_EQ(dir.Read("t.bin"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  WriteFileAtomic(target, test::ToBytes("new"));
  EXPECT_EQ(dir.Read("t.bin"), "new");
}

// The replacement keeps the mode of the file it replaces, a read-only one
// included; a new file gets the usual mode.
TEST(AtomicFileWriter, ReplacementKeepsTheTargetsMode) {
  test::TempDir dir;
  for (mode_t mode : {0444, 0400, 0640, 0755}) {
    auto target = dir.Write("t.bin", "old");
    ::chmod(target.c_str(), mode);
    WriteFileAtomic(target, test::ToBytes("new"));
    EXPECT_EQ(dir.Read("t.bin"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
    ::chmod(target.c_str(), 0644);
  }
  mode_t mask = ::umask(022);
  WriteFileAtomic(dir / "fresh.bin", test::ToBytes("x"));
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "fresh.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(AtomicFileWriter, CopiesRangesOfAnotherFile) {
  test::TempDir dir;
  auto src = dir.Write("src", "0123456789");
  InputFile in(src);
  AtomicFileWriter w(dir / "dst");
  w.CopyFrom(in, 2, 3);
  w.CopyFrom(in, 9, 1);
  w.Commit();
  EXPECT_EQ(dir.Read("dst"), "2349");
  EXPECT_THROW(w.CopyFrom(in, 8, 3), EFOpenError);
}

TEST(AtomicFileWriter, ReservedRoomDoesNotBecomeContent) {
  test::TempDir dir;
  AtomicFileWriter w(dir / "r.bin");
  w.Reserve(1 << 20);
  w.Write(test::ToBytes("abc"));
  w.Commit();
  EXPECT_EQ(dir.Read("r.bin"), "abc");
}

TEST(ReadWholeFile, FailsWithTheOpenMessage) {
  test::TempDir dir;
  EXPECT_EQ(ReadWholeFile(dir.Write("a", "xyz")).size(), 3u);
  auto missing = (dir / "missing").string();
  test::ExpectFailure<EFOpenError>([&] { ReadWholeFile(dir / "missing"); }, ENOENT,
                                   "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW(ReadWholeFile(dir.Path()), EFOpenError);
}

// A FIFO where a file belongs (left by a program that wrote beside the mod's
// files) is refused at once: nothing writes to it, so a read would wait forever.
TEST(ReadWholeFile, RefusesAFifoWithoutWaiting) {
  test::TempDir dir;
  const auto fifo = dir / "changes.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  test::ExpectFailure<EFOpenError>([&] { ReadWholeFile(fifo); }, EINVAL,
                                   "Cannot open file \"" + fifo.string() + "\": it is not a plain file (a FIFO or a device). Remove it, then try again.");
}

}  // namespace
}  // namespace vey
