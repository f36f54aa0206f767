// UCompilerLauncher: choosing between the mod's Windows compiler under wine
// and the person's own compiler, the installer's wine prefix, and the sandbox.
#include "engine/support/UCompilerLauncher.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <utility>

#include "common/ByteReader.h"
#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/VeyException.h"
#include "platform/GameFileSystem.h"

extern char** environ;

namespace vey {
namespace {

constexpr int kDebug = 1, kError = 2, kWarning = 4, kInstall = 8;

// Wine's first set-up of a prefix takes a minute or two on a slow machine;
// one that takes this long has hung.
constexpr int kPrefixSetUpSeconds = 600;

// Thrown through the runner by the pump when a program's time is up: the
// runner ends the program and its process group on the way out.
struct TimeIsUp {};

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

bool IsUnder(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            (folder == "/" || path[folder.size()] == '/'));
}

bool IsRealFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(std::filesystem::symlink_status(path, ec));
}

// The last line a program wrote that says something.
std::string LastLine(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0) {
    std::size_t start = text.rfind('\n', end - 1);
    start = start == std::string::npos ? 0 : start + 1;
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) return line;
    end = start == 0 ? 0 : start - 1;
  }
  return {};
}

// The folders of wine and its server, which the sandbox must show: wine may
// live outside the system folders (a build of the person's own).
std::vector<std::string> WineFolders(const std::string& wine) {
  std::vector<std::string> folders = {std::filesystem::path(wine).parent_path().string()};
  if (const std::string server = FindWineServer(); !server.empty())
    folders.push_back(std::filesystem::path(server).parent_path().string());
  return folders;
}

}  // namespace

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

TCompilerLauncher::~TCompilerLauncher() {
  if (!ranUnsandboxed_ || !prefixUsable_) return;
  // Outside the sandbox the compiler could change the prefix: the record says
  // so, and no sandboxed run trusts it again. Wine's server writes the
  // registry when it ends, so the record waits for it.
  try {
    RunOptions options = ProgramOptions(prefix_);
    options.discardErrors = true;
    // A stop ends the server at once instead of waiting for it.
    if (const std::string server = FindWineServer(); !server.empty())
      RunAndCapture(server, {std::uncaught_exceptions() > 0 ? "-k" : "-w"}, "", {}, options);
    WriteWinePrefixRecord(prefix_, wineVersion_, false);
  } catch (...) {
  }
}

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
                     {PathText(std::filesystem::path(compiler_).filename().string())}),
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
  bool missing = false;
  if (!settings_.Sandbox) {
    fence = "without a sandbox (it was turned off)";
  } else if (std::string bwrap = FindOnPath("bwrap"); bwrap.empty()) {
    fence = "without a sandbox (bubblewrap is not installed)";
    missing = true;
  } else if (!SandboxStarts(bwrap)) {
    fence = "without a sandbox (bubblewrap is installed but cannot make one on this system)";
    missing = true;
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
  if (!own && bwrap_.empty())
    log_("Without a sandbox the mod's compiler, a Windows program from the mod, runs with your rights: it can "
         "read, change and delete every file that you can.",
         missing ? kWarning : kInstall);
  // Plainly what the sandbox would have kept from the compiler.
  if (missing)
    log_("Not protected without bubblewrap: your files (the compiler can read, change and delete all of them), "
         "the network, your desktop session and the services of this machine (their sockets), your removable "
         "drives and other processes. Only your environment variables are kept from it, and a compile is still "
         "stopped after its time limit. Install bubblewrap to compile in a sandbox.",
         kInstall);
  return true;
}

bool TCompilerLauncher::SandboxStarts(const std::string& bwrap) const {
  int status = -1;
  RunOptions options = ProgramOptions({});
  options.discardErrors = true;
  options.exitStatus = &status;
  // The sandbox the compiler gets, so that a bubblewrap that cannot make
  // this one is found out here and not by every compile.
  std::vector<std::string> args = SandboxArguments("/", {}, {});
  args.push_back("true");
  try {
    RunAndCapture(bwrap, args, "", {}, options);
  } catch (const Exception&) {
    return false;
  }
  return status == 0;
}

std::vector<std::string> TCompilerLauncher::Environment(const std::string& prefix) const {
  // What a program needs of the person's environment and nothing more: no
  // tokens, no display, no session bus. Wine's own settings (WINEARCH,
  // WINELOADER...) choose the wine in use.
  std::vector<std::string> env;
  const bool sandboxed = !bwrap_.empty();
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    if (name == "PATH" || name == "LANG" || (name == "HOME" && entry.size() > 5 && entry[5] == '/') ||
        (name == "TMPDIR" && !sandboxed) ||
        (underWine_ && name.starts_with("WINE") && name != "WINEPREFIX" && name != "WINEDEBUG" &&
         name != "WINEDLLOVERRIDES"))
      env.emplace_back(entry);
  }
  if (underWine_)
    // The menu builder would write launchers and file types into the home folder.
    env.insert(env.end(), {"WINEPREFIX=" + prefix, "WINEDEBUG=-all",
                           "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"});
  // The sandbox's /tmp is its own: a TMPDIR below the real one (as
  // libpam-tmpdir sets it) names nothing there.
  if (sandboxed) env.push_back("TMPDIR=/tmp");
  return env;
}

RunOptions TCompilerLauncher::ProgramOptions(const std::string& prefix) const {
  RunOptions options;
  options.environment = Environment(prefix);
  options.clearEnvironment = true;
  return options;
}

std::vector<std::string> TCompilerLauncher::SandboxArguments(const std::string& workDir,
                                                             const std::vector<std::string>& readable,
                                                             const std::vector<std::string>& writable) const {
  // Later mounts lie over earlier ones: the read-only system first, then the
  // person's folders hidden, then what the compiler needs, writable last.
  std::vector<std::string> args = {"--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", "/tmp"};
  // Empty in the sandbox: the person's files and drives, programs of their
  // own (/opt), and where the machine's services keep their sockets (/run,
  // /var: a socket can be reached through a read-only mount).
  std::vector<std::string> hidden;
  for (const char* folder : HiddenFolders())
    if (IsRealFolder(folder)) hidden.push_back(folder);
  for (const std::string& folder : hidden) args.insert(args.end(), {"--tmpfs", folder});
  if (IsRealFolder("/var")) {
    // /var/run leads into the new /run as usual; fontconfig's cache spares
    // wine a slow start and holds no socket.
    args.insert(args.end(), {"--symlink", "../run", "/var/run", "--dir", "/var/tmp", "--ro-bind-try",
                             "/var/cache/fontconfig", "/var/cache/fontconfig"});
  }
  // A private, empty home at the usual place.
  const char* homeVariable = std::getenv("HOME");
  if (homeVariable && homeVariable[0] == '/') {
    const std::string home = RealFolder(homeVariable);
    bool inside = IsUnder(home, "/tmp");
    for (const std::string& folder : hidden) inside = inside || IsUnder(home, folder);
    if (home != "/" && !inside && IsRealFolder(home))
      args.insert(args.end(), {"--tmpfs", home});
    else if (home != "/")
      args.insert(args.end(), {"--dir", home});
  }
  for (const std::string& folder : readable) {
    std::string real = RealFolder(folder);
    // A program in /opt keeps its libraries beside its own folder: all of
    // its folder in /opt is shown, and nothing else of /opt.
    if (IsUnder(real, "/opt") && real != "/opt")
      real = real.substr(0, std::min(real.size(), real.find('/', 5)));
    args.insert(args.end(), {"--ro-bind", real, real});
  }
  for (const std::string& folder : writable) {
    const std::string real = RealFolder(folder);
    args.insert(args.end(), {"--bind", real, real});
  }
  args.insert(args.end(),
              {"--unshare-all", "--die-with-parent", "--new-session", "--chdir", RealFolder(workDir), "--"});
  return args;
}

const std::vector<const char*>& TCompilerLauncher::HiddenFolders() {
  static const std::vector<const char*> folders = {"/home", "/root", "/run", "/mnt",
                                                   "/media", "/srv", "/opt", "/var"};
  return folders;
}

std::string TCompilerLauncher::WineVersion() const {
  RunOptions options = ProgramOptions({});
  options.discardErrors = true;
  try {
    return LastLine(RunAndCapture(wine_, {"--version"}, "", {}, options));
  } catch (const Exception&) {
    return {};
  }
}

bool TCompilerLauncher::EnsurePrefix(const std::function<void()>& pump) {
  if (prefixChecked_) {
    if (!prefixUsable_)
      problem_ = setUpProblem_.empty() ? FormatMsg("wine's prefix %s could not be set up", {PathText(prefix_)})
                                       : std::exchange(setUpProblem_, {});
    return prefixUsable_;
  }
  prefixChecked_ = true;
  wineVersion_ = WineVersion();
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(fs::path(prefix_).parent_path(), ec);
  RemoveStaleWinePrefixSetUps(prefix_);
  if (WinePrefixMatchesRecord(prefix_, wineVersion_, Sandboxed())) return prefixUsable_ = true;
  if (fs::exists(fs::symlink_status(prefix_, ec)) || fs::exists(WinePrefixRecordPath(prefix_), ec)) {
    log_(FormatMsg("Wine's prefix %s does not match its record (another wine made it, it was changed since, or it "
                   "ran a program outside the sandbox); it is thrown away and set up anew.",
                   {PathText(prefix_)}),
         kInstall);
    RemoveWinePrefix(prefix_);
  }
  log_(FormatMsg("Setting up wine's prefix %s for the compiler. This is done once and may take a while...",
                 {PathText(prefix_)}),
       kInstall);
  // Built aside and renamed into place only when complete: a set-up that
  // fails or is stopped never leaves a prefix that looks usable.
  std::string temp = prefix_ + ".new-XXXXXX";
  if (!::mkdtemp(temp.data())) {
    problem_ = FormatMsg("wine's prefix %s could not be set up (%s)", {PathText(prefix_), SystemReason(errno)});
    return false;
  }
  struct RemoveOnExit {
    std::string path;
    ~RemoveOnExit() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  } unfinished{temp};
  if (!SetUpPrefix(temp, pump)) return false;
  fs::rename(temp, prefix_, ec);
  if (ec) {
    problem_ = FormatMsg("wine's prefix %s could not be set up (%s)", {PathText(prefix_), ec.message()});
    return false;
  }
  unfinished.path.clear();
  WriteWinePrefixRecord(prefix_, wineVersion_, Sandboxed());
  return prefixUsable_ = true;
}

bool TCompilerLauncher::SetUpPrefix(const std::string& folder, const std::function<void()>& pump) {
  int status = -1;
  std::string errors;
  RunOptions options = ProgramOptions(folder);
  options.errors = &errors;
  options.exitStatus = &status;
  const std::string server = FindWineServer();
  const auto limited = TimeLimited(pump, kPrefixSetUpSeconds);
  // wineboot returns while wine is still setting the prefix up; a compile
  // started meanwhile can fail. The server ends once that work is done.
  if (server.empty())
    log_("Wine's server was not found, so the installer cannot wait for wine to finish setting up its prefix.",
         kDebug);
  try {
    if (Sandboxed()) {
      // One sandbox for both: the server lives in the sandbox's own /tmp and
      // ends with it.
      std::vector<std::string> args = SandboxArguments(folder, WineFolders(wine_), {folder});
      args.insert(args.end(), {"/bin/sh", "-c", "\"$0\" wineboot --init; s=$?; [ -z \"$1\" ] || \"$1\" -w; exit $s",
                               wine_, server});
      RunAndCapture(bwrap_, args, folder, limited, options);
    } else {
      RunAndCapture(wine_, {"wineboot", "--init"}, folder, limited, options);
      if (!server.empty()) {
        RunOptions wait = options;
        wait.exitStatus = nullptr;
        wait.errors = nullptr;
        wait.discardErrors = true;
        RunAndCapture(server, {"-w"}, folder, limited, wait);
      }
    }
  } catch (const TimeIsUp&) {
    if (!Sandboxed() && !server.empty()) EndWineServer(folder);
    problem_ = FormatMsg("wine did not finish setting up its prefix %s within %s seconds and was stopped",
                         {PathText(prefix_), IntToStr(kPrefixSetUpSeconds)});
    return false;
  } catch (...) {
    // Stopped: outside a sandbox wine's server has left the process group
    // and is ended by name of its prefix.
    if (!Sandboxed() && !server.empty()) {
      RunOptions kill = options;
      kill.exitStatus = nullptr;
      kill.errors = nullptr;
      kill.discardErrors = true;
      try {
        RunAndCapture(server, {"-k"}, folder, {}, kill);
      } catch (...) {
      }
    }
    throw;
  }
  std::error_code ec;
  if (status == 0 && std::filesystem::is_regular_file(folder + "/system.reg", ec)) return true;
  const std::string said = LastLine(errors);
  problem_ = said.empty() ? FormatMsg("wine could not set up its prefix %s (exit status %s)", {PathText(prefix_), IntToStr(status)})
                          : FormatMsg("wine could not set up its prefix %s (exit status %s); wine says: %s",
                                      {PathText(prefix_), IntToStr(status), said});
  return false;
}

std::optional<TCompilerLauncher::TCompileRun> TCompilerLauncher::Compile(const std::vector<std::string>& arguments,
                                                                        const std::string& workDir,
                                                                        const std::function<void()>& pump) {
  problem_.clear();
  if (underWine_ && wine_.empty()) {
    problem_ = FormatMsg("the compiler \"%s\" is a Windows program and needs wine, which was not found",
                         {PathText(std::filesystem::path(compiler_).filename().string())});
    return std::nullopt;
  }
  if (underWine_ && !EnsurePrefix(pump)) return std::nullopt;
  RunOptions options = ProgramOptions(prefix_);
  std::string errors;
  std::string program = compiler_;
  std::vector<std::string> argv;
  if (underWine_) {
    program = wine_;
    argv.push_back(compiler_);
    // Wine's own messages are not the compiler's and stay out of the terminal.
    options.errors = &errors;
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  if (!bwrap_.empty()) {
    // The prefix is read-only to the compiler: nothing it does there lasts.
    std::vector<std::string> readable = {std::filesystem::path(compiler_).parent_path().string()};
    if (underWine_) {
      const std::vector<std::string> wine = WineFolders(wine_);
      readable.insert(readable.end(), wine.begin(), wine.end());
      readable.push_back(prefix_);
    }
    std::vector<std::string> wrapped = SandboxArguments(workDir, readable, {workDir});
    wrapped.push_back(program);
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    argv = std::move(wrapped);
    program = bwrap_;
  } else if (underWine_) {
    ranUnsandboxed_ = true;
  }
  TCompileRun run;
  try {
    run.output = RunAndCapture(program, argv, workDir, TimeLimited(pump, settings_.TimeoutSeconds), options);
  } catch (const TimeIsUp&) {
    // Outside a sandbox what wine started lives on in wine's server.
    if (underWine_ && bwrap_.empty()) EndWineServer(prefix_);
    problem_ = FormatMsg("the compiler did not finish within %s seconds and was stopped with all it had started "
                         "(--compile-timeout SECONDS on the command line allows more)",
                         {IntToStr(settings_.TimeoutSeconds)});
    return std::nullopt;
  }
  run.wineMessage = LastLine(errors);
  return run;
}

std::function<void()> TCompilerLauncher::TimeLimited(const std::function<void()>& pump, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  return [pump, deadline] {
    if (pump) pump();
    if (std::chrono::steady_clock::now() >= deadline) throw TimeIsUp{};
  };
}

void TCompilerLauncher::EndWineServer(const std::string& prefix) const {
  const std::string server = FindWineServer();
  if (server.empty()) return;
  RunOptions options = ProgramOptions(prefix);
  options.discardErrors = true;
  try {
    RunAndCapture(server, {"-k"}, "", {}, options);
  } catch (...) {
  }
}

}  // namespace vey
