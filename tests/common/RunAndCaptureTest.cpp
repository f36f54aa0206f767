// Tests of RunAndCapture: argument passing, working folder, large and empty
// output, start failures and the event pump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <fstream>
#include <filesystem>
#include <stdexcept>
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

// True once the process whose number the file holds has ended (a zombie
// counts), within two seconds.
bool Ended(const std::filesystem::path& pidFile) {
  std::ifstream pidIn(pidFile);
  int pid = 0;
  if (!(pidIn >> pid) || pid <= 0) return false;
  for (int i = 0; i < 20; ++i) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const std::size_t close = stat.rfind(") ");
    if (!in || close == std::string::npos || stat[close + 2] == 'Z') return true;
    ::usleep(100000);
  }
  ::kill(pid, SIGKILL);
  return false;
}

TEST(RunAndCaptureWait, DescendantHoldingTheOutputDoesNotHoldUsAndEndsWithTheProgram) {
  test::TempDir dir;
  // The background child keeps standard output open for a minute; what the
  // program leaves running ends with it.
  EXPECT_EQ(Shell("echo first; sleep 60 & echo $! > child; exit 0", {}, dir.Path().string()), "first\n");
  EXPECT_TRUE(Ended(dir / "child"));
}

// A pump that throws (a stop request) ends the program and everything it
// started at once, and the exception passes on.
TEST(RunAndCaptureWait, AThrowingPumpEndsTheProgramAndItsChildren) {
  test::TempDir dir;
  int pumps = 0;
  auto pump = [&] {
    if (++pumps == 5) throw std::runtime_error("stop");
  };
  EXPECT_THROW(Shell("sleep 60 & echo $! > child; sleep 60", {}, dir.Path().string(), pump), std::runtime_error);
  EXPECT_TRUE(Ended(dir / "child"));
}

TEST(RunAndCaptureOptions, ErrorsApartAndVariablesSetOrRemoved) {
  ::setenv("VEY_TEST_GONE", "here", 1);
  std::string errors;
  int status = -1;
  RunOptions options;
  options.environment = {"VEY_TEST_SET=set"};
  options.unset = {"VEY_TEST_GONE"};
  options.errors = &errors;
  options.exitStatus = &status;
  EXPECT_EQ(RunAndCapture(kShell, {"-c", "echo \"$VEY_TEST_SET|${VEY_TEST_GONE-none}\"; echo oops >&2; exit 3"}, "",
                          {}, options),
            "set|none\n");
  EXPECT_EQ(errors, "oops\n");
  EXPECT_EQ(status, 3);
  ::unsetenv("VEY_TEST_GONE");
}

}  // namespace
}  // namespace vey
