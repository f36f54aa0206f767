// UCompilerLauncher: choosing between the mod's Windows compiler under wine
// and the person's own compiler, the installer's wine prefix, and the sandbox.
#include "engine/UCompilerLauncher.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/ByteReader.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/VeyException.h"
#include "platform/GameFileSystem.h"

namespace vey {
namespace {

constexpr int kDebug = 1, kError = 2, kWarning = 4, kInstall = 8;

// A program found on PATH, or empty.
std::string FindOnPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string_view dirs(path);
  while (!dirs.empty()) {
    std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    if (dir.empty()) continue;
    std::string candidate = std::string(dir) + "/" + std::string(program);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Some systems keep wine's server out of PATH, beside wine's own programs.
std::string FindWineServer() {
  std::string found = FindOnPath("wineserver");
  if (!found.empty()) return found;
  for (const char* candidate : {"/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32", "/usr/lib/wine/wineserver"})
    if (::access(candidate, X_OK) == 0) return candidate;
  return {};
}

// Bind mounts need the real folder: a link on the way could point into the
// read-only part of the sandbox.
std::string RealFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
  if (ec) real = std::filesystem::absolute(path, ec);
  std::string text = real.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

std::string WinePrefixFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (cache && cache[0] == '/') {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && home[0] ? home : "/tmp") + "/.cache";
  }
  return base + "/veypatcher/wine";
}

bool IsWindowsProgram(const std::vector<std::uint8_t>& head) {
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  const std::uint64_t pe = LoadU32(head.data() + 0x3C);
  return pe + 4 <= head.size() && head[pe] == 'P' && head[pe + 1] == 'E' && head[pe + 2] == 0 && head[pe + 3] == 0;
}

TCompilerLauncher::TCompilerLauncher(platform::GameFileSystem& files, TCompilerSettings settings,
                                     std::string modCompiler, std::string dataFolder, LogFunction log)
    : files_(files),
      settings_(std::move(settings)),
      modCompiler_(std::move(modCompiler)),
      dataFolder_(std::move(dataFolder)),
      log_(std::move(log)) {}

bool TCompilerLauncher::Prepare() {
  const bool own = !settings_.Compiler.empty();
  if (own) {
    std::error_code ec;
    compiler_ = std::filesystem::absolute(settings_.Compiler, ec).lexically_normal().string();
    if (!files_.IsFile(compiler_)) {
      log_(FormatMsg("The compiler \"%s\" that you chose does not exist! Unable to compile scripts!", {PathText(compiler_)}),
           kError);
      return false;
    }
    underWine_ = IsWindowsProgram(files_.ReadFile(compiler_));
  } else {
    compiler_ = modCompiler_;
    if (!IsWindowsProgram(files_.ReadFile(compiler_))) {
      log_(FormatMsg("The compiler \"%s\" in the data folder is not a Windows program. A compiler that comes "
                     "with a mod runs only as a Windows program, under wine; a native compiler can only be "
                     "chosen by you (--compiler on the command line, or the compiler setting of the window). "
                     "Unable to compile scripts!",
                     {PathText(std::filesystem::path(compiler_).filename())}),
           kError);
      return false;
    }
    underWine_ = true;
  }
  if (underWine_) {
    wine_ = FindOnPath("wine");
    prefix_ = WinePrefixFolder();
  }

  std::string fence;
  if (!settings_.Sandbox) {
    fence = "without a sandbox (it was turned off)";
  } else if (std::string bwrap = FindOnPath("bwrap"); bwrap.empty()) {
    fence = "without a sandbox (bubblewrap is not installed)";
  } else if (!SandboxStarts(bwrap)) {
    fence = "without a sandbox (bubblewrap is installed but cannot make one on this system)";
  } else {
    bwrap_ = bwrap;
    fence = FormatMsg("in a sandbox that may write only to %s, without network", {PathText(dataFolder_)});
  }
  const std::string who = own ? "your own compiler" : "the mod's compiler";
  if (underWine_)
    log_(FormatMsg("Scripts are compiled by %s \"%s\", a Windows program, under wine in the installer's own "
                   "prefix %s, %s.",
                   {who, PathText(compiler_), PathText(prefix_), fence}),
         kInstall);
  else
    log_(FormatMsg("Scripts are compiled by %s \"%s\", a native program, %s.", {who, PathText(compiler_), fence}), kInstall);
  return true;
}

bool TCompilerLauncher::SandboxStarts(const std::string& bwrap) const {
  int status = -1;
  RunOptions options;
  options.discardErrors = true;
  options.exitStatus = &status;
  try {
    RunAndCapture(bwrap,
                  {"--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", "/tmp", "--unshare-all",
                   "--die-with-parent", "--new-session", "--", "true"},
                  "", {}, options);
  } catch (const Exception&) {
    return false;
  }
  return status == 0;
}

std::vector<std::string> TCompilerLauncher::SandboxPrefix(const std::string& workDir,
                                                          const std::vector<std::string>& readable,
                                                          const std::vector<std::string>& writable) const {
  const std::string work = RealFolder(workDir);
  const std::string compilerFolder = RealFolder(std::filesystem::path(compiler_).parent_path().string());
  const std::string data = RealFolder(dataFolder_);
  // Later mounts lie over earlier ones: the read-only system first, the
  // writable data folder last.
  std::vector<std::string> args = {"--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", "/tmp",
                                   "--ro-bind", compilerFolder, compilerFolder, "--ro-bind", work, work};
  for (const std::string& folder : readable) {
    const std::string real = RealFolder(folder);
    args.insert(args.end(), {"--ro-bind", real, real});
  }
  if (underWine_) {
    const std::string prefix = RealFolder(prefix_);
    args.insert(args.end(), {"--bind", prefix, prefix});
  }
  for (const std::string& folder : writable) {
    const std::string real = RealFolder(folder);
    args.insert(args.end(), {"--bind", real, real});
  }
  args.insert(args.end(), {"--bind", data, data, "--unshare-all", "--die-with-parent", "--new-session", "--chdir",
                           work, "--"});
  return args;
}

void TCompilerLauncher::SetUpPrefix(const std::function<void()>& pump) {
  prefixReady_ = true;
  // The prefix is the installer's own cache, not part of the person's folders.
  files_.AddWritableRoot(prefix_);
  if (files_.IsFile(prefix_ + "/system.reg")) return;
  files_.CreateDirectories(prefix_);
  log_(FormatMsg("Setting up wine's prefix %s for the compiler. This is done once and may take a while...",
                 {PathText(prefix_)}),
       kInstall);
  int status = -1;
  RunOptions options;
  options.environment = {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
  options.discardErrors = true;
  options.exitStatus = &status;
  RunAndCapture(wine_, {"wineboot", "--init"}, prefix_, pump, options);
  // wineboot returns while wine is still setting the prefix up; a compile
  // started meanwhile can fail. The server ends once that work is done.
  const std::string server = FindWineServer();
  if (!server.empty()) {
    options.exitStatus = nullptr;
    RunAndCapture(server, {"-w"}, prefix_, pump, options);
  } else {
    log_("Wine's server was not found, so the installer cannot wait for wine to finish setting up its prefix.",
         kDebug);
  }
  if (status != 0 || !files_.IsFile(prefix_ + "/system.reg"))
    log_(FormatMsg("Wine could not set up its prefix %s (exit status %s); compiling may fail.",
                   {PathText(prefix_), IntToStr(status)}),
         kWarning);
}

std::optional<std::string> TCompilerLauncher::Compile(const std::vector<std::string>& arguments,
                                                      const std::string& workDir, const std::function<void()>& pump,
                                                      const std::vector<std::string>& readable,
                                                      const std::vector<std::string>& writable) {
  if (underWine_ && wine_.empty()) return std::nullopt;
  if (underWine_ && !prefixReady_) SetUpPrefix(pump);
  RunOptions options;
  std::string program = compiler_;
  std::vector<std::string> argv;
  if (underWine_) {
    program = wine_;
    argv.push_back(compiler_);
    options.environment = {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
    // Wine's own messages are not the compiler's and stay out of the terminal.
    options.discardErrors = true;
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  if (!bwrap_.empty()) {
    std::vector<std::string> wrapped = SandboxPrefix(workDir, readable, writable);
    wrapped.push_back(program);
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    argv = std::move(wrapped);
    program = bwrap_;
  }
  return RunAndCapture(program, argv, workDir, pump, options);
}

}  // namespace vey
