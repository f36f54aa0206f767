// The compiler's sandbox and wine's prefix: what a compiler can reach (no
// network, no other processes, no home folder, a /tmp that works whatever
// TMPDIR says), a prefix it cannot change and that is set up in the sandbox
// too, a prompt stop while wine sets its prefix up, and why nothing was
// compiled when wine could not start. Stand-ins play the compiler and wine.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "CompilerTestSupport.h"
#include "EngineFixture.h"
#include "engine/support/UCompilerLauncher.h"
#include "engine/run/UTransaction.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;


// A TCP port on the loopback device that accepts connections while the test runs.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// True once the process has ended (a zombie counts) within two seconds.
bool Ends(int pid) {
  for (int i = 0; i < 20; ++i) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const std::size_t close = stat.rfind(") ");
    if (!in || close == std::string::npos || stat[close + 2] == 'Z') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class CompilerSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    f.MakeGame();
    f.Ini(kCompileInstaller);
    f.dir.Write("mod/veypatchdata/a.nss", "void main() {}\n");
    // A TMPDIR below /tmp, as libpam-tmpdir sets it.
    fs::create_directories(f.dir / "tmp" / "user" / "0");
    env.Set("TMPDIR", (f.dir / "tmp" / "user" / "0").string());
    env.Set("XDG_CACHE_HOME", (f.dir / "cache").string());
    // A home folder outside /tmp, which the sandbox hides like any other,
    // with a key that must stay secret.
    home = fs::current_path() / ("compiler-sandbox-home-" + std::to_string(::getpid()));
    fs::create_directories(home / ".ssh");
    WriteExecutable(home / ".ssh" / "id_rsa", "SECRET-KEY\n");
    env.Set("HOME", home.string());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(home, ec);
  }
  // Files in the home folder besides the planted key.
  std::vector<std::string> HomeEntries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(home)) found.push_back(e.path().lexically_relative(home));
    std::sort(found.begin(), found.end());
    return found;
  }
  // A fake wine and its server in the data folder's "tools", which the
  // sandbox shows (the data folder is the compiler's own), first on PATH.
  void FakeWine(std::string_view compile, std::string_view setUp = "") {
    f.WriteFile(f.Data() + "nwnnsscomp.exe", WindowsProgram());
    const std::string boot = setUp.empty() ? std::string("mkdir -p \"$WINEPREFIX/drive_c\" && mktemp > /dev/null && "
                                                         "echo registry > \"$WINEPREFIX/system.reg\"")
                                           : std::string(setUp);
    WriteExecutable(f.Data() + "tools/wine", "#!/bin/sh\n[ \"$1\" = --version ] && { echo wine-test; exit 0; }\n"
                                             "if [ \"$1\" = wineboot ]; then\n" +
                                                 boot + "\nexit $?\nfi\n" + std::string(compile));
    WriteExecutable(f.Data() + "tools/wineserver", "#!/bin/sh\nexit 0\n");
    env.Set("PATH", f.Data() + "tools:" + std::getenv("PATH"));
  }

  ScopedEnv env;
  EngineFixture f;
  fs::path home;
};

TEST_F(CompilerSandbox, TheCompilerReachesNoNetworkNoProcessesNoHomeAndHasATmp) {
  if (std::string why = SandboxMissing(); !why.empty()) GTEST_SKIP() << why;
  Listener listener;
  const auto own = WriteExecutable(
      f.dir / "person" / "compiler",
      "#!/bin/bash\n"
      "(echo > /dev/tcp/127.0.0.1/" + std::to_string(listener.Port()) + ") 2>/dev/null && echo network: reached || "
      "echo network: none\n"
      "[ -e /proc/" + std::to_string(::getpid()) + " ] && echo processes: seen || echo processes: none\n"
      "cat '" + (home / ".ssh" / "id_rsa").string() + "' 2>/dev/null || echo key: unreadable\n"
      "[ -z \"$(ls -A \"$HOME\" 2>&1)\" ] && echo home: empty || echo home: full\n"
      "mktemp > /dev/null && echo tmp: usable || echo tmp: unusable\n"
      "while [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n");
  f.compiler.Compiler = own.string();
  // The same compiler without the sandbox shows what each line could reach.
  for (bool sandbox : {false, true}) {
    SCOPED_TRACE(sandbox ? "sandboxed" : "not sandboxed");
    f.compiler.Sandbox = sandbox;
    f.lines.clear();
    f.Engine().ProcessCompileList();
    EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
    const std::string says = " [Debug] \tNWNNSSComp says: ";
    EXPECT_TRUE(f.Logged(says + (sandbox ? "network: none" : "network: reached")));
    EXPECT_TRUE(f.Logged(says + (sandbox ? "processes: none" : "processes: seen")));
    EXPECT_TRUE(f.Logged(says + (sandbox ? "key: unreadable" : "SECRET-KEY")));
    EXPECT_TRUE(f.Logged(says + (sandbox ? "home: empty" : "home: full")));
    EXPECT_TRUE(f.Logged(says + "tmp: usable"));
  }
}

// A Unix socket of the test's own where a desktop keeps its services'
// (the person's runtime folder in /run), removed when the test ends; empty
// when no such folder is writable here.
class PlantedSocket {
 public:
  PlantedSocket() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::vector<std::string> folders;
    if (runtime && runtime[0] == '/') folders.push_back(runtime);
    folders.push_back("/run/user/" + std::to_string(::getuid()));
    folders.push_back("/run");
    for (const std::string& folder : folders) {
      if (folder.rfind("/run/", 0) != 0 && folder != "/run") continue;
      if (::access(folder.c_str(), W_OK) != 0) continue;
      path_ = folder + "/veypatcher-test-" + std::to_string(::getpid()) + ".socket";
      fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 4) == 0) return;
      ::close(fd_);
      fd_ = -1;
      path_.clear();
    }
  }
  ~PlantedSocket() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// From inside the sandbox the person's files, drives and programs, the
// machine's services and the person's environment are out of sight; the
// same compiler outside it shows what each probe could reach.
TEST_F(CompilerSandbox, TheCompilerSeesNoneOfThePersonsFoldersSocketsOrVariables) {
  if (std::string why = SandboxMissing(); !why.empty()) GTEST_SKIP() << why;
  PlantedSocket socket;
  env.Set("SECRET_TOKEN", "ghp_secret");
  env.Set("LANG", "C.UTF-8");
  std::string probe = "#!/bin/sh\n";
  // Shown as what they hold; /home holds only the way to the private home.
  for (const char* folder : {"/home", "/root", "/run", "/run/user", "/var/run", "/run/media", "/mnt", "/media", "/srv",
                             "/opt"})
    probe += std::string("echo \"") + folder + ": $(ls -A " + folder + " 2>/dev/null | tr '\\n' ' ')\"\n";
  // Where a machine keeps sockets (a walk of the whole system takes long).
  probe += "echo \"sockets: $(find /run /var /tmp /dev /home /root /mnt /media /srv /opt -type s 2>/dev/null | "
           "head -3 | tr '\\n' ' ')\"\n"
           "echo \"token: ${SECRET_TOKEN:-none}\"\n"
           "echo \"variables: $(env | cut -d= -f1 | grep -vx -e PWD -e SHLVL -e _ | sort | tr '\\n' ' ')\"\n"
           "while [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n";
  const auto own = WriteExecutable(f.dir / "person" / "compiler", probe);
  f.compiler.Compiler = own.string();
  const std::string homeTop = home.string().rfind("/home/", 0) == 0
                                  ? home.string().substr(6, home.string().find('/', 6) - 6) + " "
                                  : std::string();
  const std::string says = " [Debug] \tNWNNSSComp says: ";
  for (bool sandbox : {false, true}) {
    SCOPED_TRACE(sandbox ? "sandboxed" : "not sandboxed");
    f.compiler.Sandbox = sandbox;
    f.lines.clear();
    f.Engine().ProcessCompileList();
    EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
    // Only what a program needs of the environment, with or without sandbox.
    EXPECT_TRUE(f.Logged(says + "token: none"));
    EXPECT_TRUE(f.Logged(says + "variables: HOME LANG PATH TMPDIR ")) << f.CountContaining("variables");
    if (!sandbox) {
      if (!socket.Path().empty()) EXPECT_EQ(f.CountContaining(socket.Path()), 1u);
      continue;
    }
    for (const char* folder : {"/root", "/run", "/run/user", "/var/run", "/run/media", "/mnt", "/media", "/srv", "/opt"})
      EXPECT_TRUE(f.Logged(says + folder + ": ")) << folder;
    EXPECT_TRUE(f.Logged(says + "/home: " + homeTop));
    EXPECT_TRUE(f.Logged(says + "sockets: "));
  }
}

// A compiler that never ends is stopped after its time, with what it started,
// and the script fails to compile with a message that says so.
TEST_F(CompilerSandbox, AHungCompilerIsStoppedAfterItsTimeLimit) {
  const fs::path started = f.dir / "started";
  const auto own = WriteExecutable(f.dir / "person" / "compiler",
                                   "#!/bin/sh\nsleep 60 &\n{ echo $! > '" + started.string() +
                                       "'; } 2>/dev/null\nsleep 60\n"
                                       "while [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n");
  f.compiler.Compiler = own.string();
  f.compiler.TimeoutSeconds = 1;
  std::vector<bool> modes = {false};
  if (SandboxMissing().empty()) modes.push_back(true);
  for (bool sandbox : modes) {
    SCOPED_TRACE(sandbox ? "sandboxed" : "not sandboxed");
    f.compiler.Sandbox = sandbox;
    f.lines.clear();
    TVEYPatcher& e = f.Engine();
    const int errorsBefore = e.ErrorCount();
    const auto begin = std::chrono::steady_clock::now();
    e.ProcessCompileList();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    EXPECT_TRUE(f.Logged(" [Error] \tUnable to compile script a.nss: the compiler did not finish within 1 seconds "
                         "and was stopped with all it had started (--compile-timeout SECONDS on the command line "
                         "allows more). Skipping..."));
    EXPECT_EQ(e.ErrorCount(), errorsBefore + 1);
    EXPECT_FALSE(f.Exists(f.Game() + "override/a.ncs"));
    if (!sandbox) {
      ASSERT_TRUE(fs::exists(started));
      const int pid = std::stoi(f.dir.Read("started"));
      EXPECT_TRUE(Ends(pid)) << "the compiler's own child " << pid << " still runs";
      ::kill(pid, SIGKILL);
    }
  }
}

TEST_F(CompilerSandbox, WineSetsItsPrefixUpInsideAndTheCompilerCannotChangeIt) {
  if (std::string why = SandboxMissing(); !why.empty()) GTEST_SKIP() << why;
  FakeWine("{ echo planted >> \"$WINEPREFIX/system.reg\"; } 2>/dev/null && echo prefix: changed || "
           "echo prefix: read-only\n"
           "{ touch \"$WINEPREFIX/drive_c/wininit.ini\"; } 2>/dev/null || echo drive: read-only\n"
           "mktemp > /dev/null && echo tmp: usable\n"
           "[ -z \"$DISPLAY$WAYLAND_DISPLAY\" ] && echo display: none\n"
           "while [ $# -gt 1 ]; do shift; done\nprintf NCS > \"$1\"\n",
           // The set-up, too, finds a working /tmp and cannot reach the home folder.
           "{ touch \"$HOME/.set-up-was-here\"; } 2>/dev/null\n"
           "mkdir -p \"$WINEPREFIX/drive_c\" && mktemp > /dev/null && echo registry > \"$WINEPREFIX/system.reg\"");
  env.Set("DISPLAY", ":0");
  f.compiler.Sandbox = true;
  const std::string prefix = (f.dir / "cache" / "veypatcher" / "wine").string();
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    f.lines.clear();
    TVEYPatcher& e = f.Engine();
    e.ProcessCompileList();
    EXPECT_EQ(e.ErrorCount(), 0);
    EXPECT_EQ(f.ReadFile(f.Game() + "override/a.ncs"), "NCS");
    EXPECT_EQ(f.CountContaining("Setting up wine's prefix"), run == 0 ? 1u : 0u);
    for (const char* said : {"prefix: read-only", "drive: read-only", "tmp: usable", "display: none"})
      EXPECT_TRUE(f.Logged(std::string(" [Debug] \tNWNNSSComp says: ") + said)) << said;
    EXPECT_EQ(f.dir.Read("cache/veypatcher/wine/system.reg"), "registry\n");
    EXPECT_TRUE(WinePrefixMatchesRecord(prefix, "wine-test", true));
    EXPECT_FALSE(f.Logged(" [Install] \tWithout a sandbox the mod's compiler, a Windows program from the mod, runs "
                          "with your rights: it can read, change and delete every file that you can."));
  }
  EXPECT_EQ(HomeEntries(), (std::vector<std::string>{".ssh", ".ssh/id_rsa"}));
}

// Wine's set-up takes a while; a stop asked for meanwhile ends it (and what
// it started) at once, leaves no prefix behind, and the sources are restored.
TEST_F(CompilerSandbox, AStopDuringThePrefixSetUpEndsItAtOnce) {
  const fs::path started = f.dir / "started";
  // Outside the sandbox the set-up notes the process it started beside it.
  FakeWine("exit 1\n", "sleep 60 & { echo $! > '" + started.string() +
                           "'; } 2>/dev/null; mkdir -p \"$WINEPREFIX/drive_c\"; sleep 60; echo registry > "
                           "\"$WINEPREFIX/system.reg\"");
  f.Ini(std::string(kCompileInstaller) + "[a.nss]\n");
  f.dir.Write("mod/veypatchdata/a.nss", "void main() { int n = #2DAMEMORY1#; }\n");
  std::vector<bool> modes = {false};
  if (SandboxMissing().empty()) modes.push_back(true);
  for (bool sandbox : modes) {
    SCOPED_TRACE(sandbox ? "sandboxed" : "not sandboxed");
    f.compiler.Sandbox = sandbox;
    TVEYPatcher& e = f.Engine();
    e.Memory = {"7"};
    std::atomic<bool> stop{false};
    e.RunOptions.cancel = &stop;
    std::thread asker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
      stop = true;
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(e.ProcessCompileList(), ECancelled);
    const auto waited = std::chrono::steady_clock::now() - begin;
    asker.join();
    // The set-up would have taken a minute.
    EXPECT_LT(waited, std::chrono::seconds(20));
    EXPECT_FALSE(fs::exists(f.dir / "cache" / "veypatcher" / "wine"));
    for (const auto& entry : fs::directory_iterator(f.dir / "cache" / "veypatcher"))
      ADD_FAILURE() << "left behind: " << entry.path();
    EXPECT_EQ(f.dir.Read("mod/veypatchdata/a.nss"), "void main() { int n = #2DAMEMORY1#; }\n");
    EXPECT_FALSE(f.Exists(f.Data() + "nsspatch_temp"));
    if (!sandbox) {
      ASSERT_TRUE(fs::exists(started));
      const int pid = std::stoi(f.dir.Read("started"));
      EXPECT_TRUE(Ends(pid)) << "the set-up's own child " << pid << " still runs";
      ::kill(pid, SIGKILL);
    }
  }
}

TEST_F(CompilerSandbox, WhenWineCannotStartItsLastMessageIsShown) {
  FakeWine("echo 'wine: could not load kernel32.dll, status c0000135' >&2\nexit 1\n");
  f.compiler.Sandbox = false;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=2\n[CompileList]\nS0=a.nss\n");
  TVEYPatcher& e = f.Engine();
  e.ProcessCompileList();
  const std::vector<std::string> tail = {
      " [Install] \tWine says: wine: could not load kernel32.dll, status c0000135",
      " [Error] \tUnable to find compiled version of file \"a.nss\"! The compilation probably failed! Skipping..."};
  ASSERT_GE(f.lines.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(f.lines.end() - 2, f.lines.end()), tail);
  EXPECT_EQ(e.ErrorCount(), 1);

  // A prefix that cannot be set up is named with wine's reason, and no
  // half-made prefix stays.
  RemoveWinePrefix(WinePrefixFolder());
  FakeWine("exit 1\n", "mkdir -p \"$WINEPREFIX\"; echo \"wine: '$WINEPREFIX' is not owned by you\" >&2; exit 1");
  f.lines.clear();
  TVEYPatcher& again = f.Engine();
  again.ProcessCompileList();
  const std::string prefix = WinePrefixFolder();
  ASSERT_FALSE(f.lines.empty());
  const std::string& error = f.lines.back();
  EXPECT_EQ(error.rfind(" [Error] \tUnable to compile script a.nss: wine could not set up its prefix " + prefix +
                            " (exit status 1); wine says: wine: '" + prefix + ".new-",
                        0),
            0u)
      << error;
  EXPECT_EQ(error.substr(error.size() - 34), "' is not owned by you. Skipping...");
  EXPECT_EQ(f.CountContaining("[Error]"), 1u);
  EXPECT_FALSE(fs::exists(prefix));
  EXPECT_FALSE(fs::exists(WinePrefixRecordPath(prefix)));
}

}  // namespace
}  // namespace vey::test
