// CliRun: runs the built veypatcher-cli with arguments and collects what it
// printed and its exit code.
#pragma once

#include <string>
#include <vector>

namespace vey::test {

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

CliResult RunCli(const std::vector<std::string>& args);

// The lines of a text, without their line breaks.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vey::test
