// UCompilerLauncher: how the script compiler is started. A compiler shipped
// with a mod is a stranger's program: it runs only when it is a Windows
// program, under wine in a prefix of the installer's own. A native compiler
// comes only from the person. Either runs inside bubblewrap when it is
// installed: the system read-only, writes only into its work folder, a
// private empty home, no network, no other processes in sight.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/UQK_Common.h"
#include "engine/support/UWinePrefix.h"

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
  // A compile that takes longer is ended, with all it started, and fails.
  int TimeoutSeconds = kDefaultCompileTimeout;
  static constexpr int kDefaultCompileTimeout = 120;
};

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

  struct TCompileRun {
    std::string output;       // what the compiler printed
    std::string wineMessage;  // under wine: the last line wine itself wrote
  };
  // Runs the compiler with its arguments in workDir, the one folder it may
  // write to (names in the arguments are relative to it). nullopt when it
  // could not be started (Problem() says why). The pump is called every
  // 100 ms; when it throws (a stop request), the compiler, and a prefix
  // set-up under way, are ended at once and the exception passes on.
  std::optional<TCompileRun> Compile(const std::vector<std::string>& arguments, const std::string& workDir,
                                     const std::function<void()>& pump);
  // Under wine, sets its prefix up when that is still to be done (and logs
  // it), so that the set-up comes before the first script's log line rather
  // than inside it. Compile does it too when this was not called.
  void SetUpWine(const std::function<void()>& pump) {
    // Why it failed is kept for the Compile that follows, which reports it.
    if (underWine_ && !wine_.empty() && !prefixChecked_ && !EnsurePrefix(pump)) setUpProblem_ = problem_;
  }
  // Why the last Compile could not start the compiler.
  const std::string& Problem() const { return problem_; }

  const std::string& CompilerPath() const { return compiler_; }
  bool UnderWine() const { return underWine_; }
  bool Sandboxed() const { return !bwrap_.empty(); }

  // The bubblewrap arguments before the program: the system read-only, the
  // person's folders hidden behind a private empty home, the readable
  // folders read-only and the writable ones writable, workDir as the
  // current folder. Public for the tests of the sandbox's shape.
  std::vector<std::string> SandboxArguments(const std::string& workDir, const std::vector<std::string>& readable,
                                            const std::vector<std::string>& writable) const;
  // The whole environment the compiler (and wine's set-up) get: PATH, LANG,
  // HOME and wine's own settings of the person's, wine's prefix, desktop
  // integration off; nothing else of the installer's.
  std::vector<std::string> Environment(const std::string& prefix) const;
  // Folders the sandbox shows empty (what the compiler needs is shown again).
  static const std::vector<const char*>& HiddenFolders();

 private:
  bool SandboxStarts(const std::string& bwrap) const;
  RunOptions ProgramOptions(const std::string& prefix) const;
  // The pump, throwing once seconds have passed.
  static std::function<void()> TimeLimited(const std::function<void()>& pump, int seconds);
  void EndWineServer(const std::string& prefix) const;
  bool EnsurePrefix(const std::function<void()>& pump);
  bool SetUpPrefix(const std::string& folder, const std::function<void()>& pump);
  std::string WineVersion() const;

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
  std::string wineVersion_;
  bool prefixChecked_ = false;
  bool prefixUsable_ = false;
  bool ranUnsandboxed_ = false;
  std::string problem_;
  std::string setUpProblem_;  // a failed SetUpWine's reason, not yet reported

 public:
  TCompilerLauncher(const TCompilerLauncher&) = delete;
  TCompilerLauncher& operator=(const TCompilerLauncher&) = delete;
  // A prefix that ran the compiler outside a sandbox is recorded as such.
  ~TCompilerLauncher();
};

}  // namespace vey
