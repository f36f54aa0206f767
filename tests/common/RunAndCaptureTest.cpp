// Tests of RunAndCapture: argument passing, working folder, large and empty
// output, start failures and the event pump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/UQK_Common.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

const std::string kShell = "/bin/sh";

std::string Shell(const std::string& script, std::vector<std::string> args = {}, const std::string& dir = "",
                  const std::function<void()>& pump = {}) {
  std::vector<std::string> argv{"-c", script, "sh"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunAndCapture(kShell, argv, dir, pump);
}

TEST(RunAndCaptureOutput, NothingAndFarMoreThanAPipeHolds) {
  EXPECT_EQ(RunAndCapture("/bin/true", {}, ""), "");
  std::string big = Shell("head -c 1000000 /dev/zero | tr '\\000' x; echo end >&2");
  ASSERT_EQ(big.size(), 1000000u);
  EXPECT_EQ(big.find_first_not_of('x'), std::string::npos);
}

TEST(RunAndCaptureOutput, ArgumentsArriveUnquotedAndOutputBecomesWindows1252) {
  EXPECT_EQ(Shell("printf '%s|' \"$@\"", {"a b", "\"q\"", "$HOME", ";", ""}), "a b|\"q\"|$HOME|;||");
  EXPECT_EQ(Shell("printf 'caf\\303\\251'"), "caf\xE9");
}

TEST(RunAndCaptureOutput, ProgramReadingInputSeesItsEnd) {
  EXPECT_EQ(Shell("cat; echo done"), "done\n");
}

TEST(RunAndCaptureStart, ShortNamesStartNothing) {
  // "echo" would print its argument if it were started.
  EXPECT_EQ(RunAndCapture("echo", {"started"}, ""), "");
  EXPECT_EQ(RunAndCapture("", {}, ""), "");
}

TEST(RunAndCaptureStart, UnstartableProgramsFailWithCodeOne) {
  test::TempDir dir;
  std::string missing = (dir / "nwnnsscomp.exe").string();
  test::ExpectFailure<EFOpenError>([&] { RunAndCapture(missing, {}, ""); }, 1,
                                   "Unable to start program " + missing + "!");
  std::string notExecutable = dir.Write("plain.exe", "#!/bin/sh\necho hi\n").string();
  test::ExpectFailure<EFOpenError>([&] { RunAndCapture(notExecutable, {}, ""); }, 1,
                                   "Unable to start program " + notExecutable + "!");
}

TEST(RunAndCaptureFolder, RunsInWorkDirOrTheProgramsFolderAndLeavesOursAlone) {
  test::TempDir dir;
  auto tool = dir.Write("tools/show.sh", "#!/bin/sh\npwd\n");
  ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
  auto before = std::filesystem::current_path();
  auto work = dir / "work";
  std::filesystem::create_directory(work);

  EXPECT_EQ(RunAndCapture(tool.string(), {}, work.string()), work.string() + "\n");
  EXPECT_EQ(RunAndCapture(tool.string(), {}, ""), (dir / "tools").string() + "\n");
  EXPECT_EQ(RunAndCapture(tool.string(), {}, (dir / "missing").string()), (dir / "tools").string() + "\n");
  EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(RunAndCaptureWait, PumpRunsWhileTheProgramWaits) {
  // The program blocks until the pump opens the pipe it reads, so the result
  // proves the pump ran before the program ended.
  test::TempDir dir;
  auto fifo = dir / "go";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int pumps = 0;
  bool released = false;
  auto pump = [&] {
    ++pumps;
    if (released) return;
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return;  // the program has not opened its end yet
    released = ::write(fd, "go\n", 3) == 3;
    ::close(fd);
  };
  EXPECT_EQ(Shell("read line < go; echo \"got $line\"", {}, dir.Path().string(), pump), "got go\n");
  EXPECT_TRUE(released);
  EXPECT_GE(pumps, 1);
}

TEST(RunAndCaptureWait, DescendantHoldingTheOutputDoesNotHoldUs) {
  test::TempDir dir;
  auto fifo = dir / "hold";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The background child keeps standard output open until the fifo is written.
  EXPECT_EQ(Shell("echo first; (read x < hold) & exit 0", {}, dir.Path().string()), "first\n");
  int fd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::write(fd, "x\n", 2), 2);
  ::close(fd);
}

}  // namespace
}  // namespace vey
