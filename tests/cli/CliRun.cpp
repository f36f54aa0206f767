// CliRun: runs veypatcher-cli in a child process; its output goes to files so
// that a large output cannot block it.
#include "CliRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

extern char** environ;

namespace vey::test {

namespace {

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

namespace {
CliResult Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int signal,
                long afterMicroseconds, long timeoutMs, const std::function<bool()>& ready = {});
}

CliResult RunCli(const std::vector<std::string>& args) { return RunCli(args, {}); }

CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  return Spawn(args, env, 0, 0, 0);
}

CliResult RunCliTimed(const std::vector<std::string>& args, const std::vector<std::string>& env, long timeoutMs) {
  return Spawn(args, env, 0, 0, timeoutMs);
}

CliResult RunCliKilled(const std::vector<std::string>& args, int signal, long afterMicroseconds) {
  return Spawn(args, {}, signal, afterMicroseconds, 0);
}

CliResult RunCliKilledWhen(const std::vector<std::string>& args, const std::vector<std::string>& env, int signal,
                           const std::function<bool()>& ready) {
  return Spawn(args, env, signal, 0, 0, ready);
}

namespace {

CliResult Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int signal,
                long afterMicroseconds, long timeoutMs, const std::function<bool()>& ready) {
  std::vector<std::string> envText;
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    bool replaced = false;
    for (const std::string& change : env) replaced = replaced || nameOf(change) == nameOf(entry);
    if (!replaced) envText.push_back(entry);
  }
  for (const std::string& change : env)
    if (change.find('=') != std::string::npos) envText.push_back(change);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  TempDir dir;
  const auto outPath = dir / "stdout";
  const auto errPath = dir / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> argvText{VEY_CLI_PATH};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  CliResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, VEY_CLI_PATH, &actions, nullptr, argv.data(), envp.data()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    ADD_FAILURE() << "cannot start " << VEY_CLI_PATH;
    return result;
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (signal != 0 && ready) {
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (ready()) {
        ::kill(pid, signal);
        waitpid(pid, &status, 0);
        break;
      }
      ::usleep(1000);
    }
  } else if (signal != 0) {
    ::usleep(static_cast<useconds_t>(afterMicroseconds));
    if (waitpid(pid, &status, WNOHANG) == 0) {
      ::kill(pid, signal);
      waitpid(pid, &status, 0);
    }
  } else if (timeoutMs > 0) {
    for (long waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 2) {
      if (waited >= timeoutMs) {
        ::kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.timedOut = true;
        break;
      }
      ::usleep(2000);
    }
  } else {
    waitpid(pid, &status, 0);
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

}  // namespace

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  const auto lines = Lines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace vey::test
