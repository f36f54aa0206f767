// CliRun: runs the built veypatcher-cli with arguments and collects what it
// printed and its exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vey::test {

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  bool timedOut = false;  // killed at the time limit
};

CliResult RunCli(const std::vector<std::string>& args);
// The same with these "NAME=value" entries added to (or replacing those in)
// the test's environment; "NAME" alone removes the variable.
CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env);

// The same, killed (and marked timedOut) when it has not ended within
// timeoutMs: a command that waits on something planted fails instead of
// blocking the test run.
CliResult RunCliTimed(const std::vector<std::string>& args, const std::vector<std::string>& env, long timeoutMs);

// The same, sent signal after the given microseconds unless it ended by then.
CliResult RunCliKilled(const std::vector<std::string>& args, int signal, long afterMicroseconds);

// The same with env, sent signal as soon as ready() holds (asked every
// millisecond), unless it ended first.
CliResult RunCliKilledWhen(const std::vector<std::string>& args, const std::vector<std::string>& env, int signal,
                           const std::function<bool()>& ready);

// The lines of a text, without their line breaks.
std::vector<std::string> Lines(const std::string& text);
// True when one of those lines is exactly line.
bool HasLine(const std::string& text, const std::string& line);

}  // namespace vey::test
