// CompilerTestSupport: what the compiler tests share: a file that passes for
// a Windows program, environment variables set for one test, executables
// written by the test, and whether bubblewrap can make a sandbox here.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/UQK_Common.h"
#include "common/VeyException.h"
#include "support/TestSupport.h"

namespace vey::test {

// The smallest file that passes for a Windows program.
inline std::vector<std::uint8_t> WindowsProgram() {
  return Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2);
}

// Sets (or removes) environment variables for the length of a test.
class ScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    Save(name);
    ::setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Save(name);
    ::unsetenv(name);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }

 private:
  void Save(const char* name) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline std::filesystem::path WriteExecutable(const std::filesystem::path& path, std::string_view text) {
  std::filesystem::create_directories(path.parent_path());
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  ::chmod(path.c_str(), 0755);
  return path;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Empty when bubblewrap makes a sandbox here, else the reason it cannot.
inline std::string SandboxMissing() {
  int status = -1;
  RunOptions options;
  options.discardErrors = true;
  options.exitStatus = &status;
  try {
    RunAndCapture("/usr/bin/env", {"bwrap", "--ro-bind", "/", "/", "--unshare-all", "--", "true"}, "", {}, options);
  } catch (const Exception&) {
    return "bubblewrap cannot be started";
  }
  return status == 0 ? std::string() : "bubblewrap is missing or user namespaces are unavailable";
}

}  // namespace vey::test
