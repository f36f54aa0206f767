// UCompilerLauncher: how the script compiler is started. A compiler shipped
// with a mod is a stranger's program: it runs only when it is a Windows
// program, under wine in a prefix of the installer's own. A native compiler
// comes only from the person. Either runs inside bubblewrap when it is
// installed: the system read-only, writes only into the data folder, no network.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vey {

namespace platform {
class GameFileSystem;
}

// The person's choices; the command line and the window set them before a run.
struct TCompilerSettings {
  // A compiler of the person's own (native, or a Windows program run under
  // wine); empty: the one the mod ships in its data folder.
  std::string Compiler;
  // Run the compiler inside bubblewrap when it is installed.
  bool Sandbox = true;
};

// Where wine keeps the installer's own prefix: $XDG_CACHE_HOME/veypatcher/wine,
// or ~/.cache/veypatcher/wine when XDG_CACHE_HOME is not an absolute path.
std::string WinePrefixFolder();

// True when the file starts with an MZ header whose PE signature is in place.
bool IsWindowsProgram(const std::vector<std::uint8_t>& head);

class TCompilerLauncher {
 public:
  using LogFunction = std::function<void(std::string_view text, int kind)>;

  // modCompiler: the compiler in the mod's data folder; dataFolder: the one
  // folder the compiler may write to.
  TCompilerLauncher(platform::GameFileSystem& files, TCompilerSettings settings, std::string modCompiler,
                    std::string dataFolder, LogFunction log);

  // Decides how scripts are compiled and logs it; false (with an error
  // logged) when no script can be compiled at all.
  bool Prepare();

  // Runs the compiler with its arguments in workDir and returns what it
  // printed; nullopt when wine is needed but missing. In the sandbox the
  // compiler also sees the readable folders and may write into the writable
  // ones (where the source and the output are kept when not in the data folder).
  std::optional<std::string> Compile(const std::vector<std::string>& arguments, const std::string& workDir,
                                     const std::function<void()>& pump, const std::vector<std::string>& readable = {},
                                     const std::vector<std::string>& writable = {});

  const std::string& CompilerPath() const { return compiler_; }
  bool UnderWine() const { return underWine_; }

 private:
  std::vector<std::string> SandboxPrefix(const std::string& workDir, const std::vector<std::string>& readable,
                                         const std::vector<std::string>& writable) const;
  bool SandboxStarts(const std::string& bwrap) const;
  void SetUpPrefix(const std::function<void()>& pump);

  platform::GameFileSystem& files_;
  TCompilerSettings settings_;
  std::string modCompiler_;
  std::string dataFolder_;
  LogFunction log_;

  std::string compiler_;  // the file that is compiled with
  bool underWine_ = false;
  std::string wine_;       // empty when wine is needed but missing
  std::string prefix_;     // wine's prefix
  std::string bwrap_;      // empty: no sandbox
  bool prefixReady_ = false;
};

}  // namespace vey
