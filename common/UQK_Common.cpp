// UQK_Common: number tests and conversions, text helpers, file helpers and the
// external program runner.
#include "common/UQK_Common.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <algorithm>
#include <cmath>
#include <system_error>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

extern char** environ;

namespace vey {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The power of ten of the first significant digit of a number text ("0.05"
// is -2, "12E3" is 4); only used to tell an underflow from an overflow.
long DecimalMagnitude(std::string_view text) {
  std::size_t e = text.find_first_of("eE");
  long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = text.substr(e + 1);
    bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    for (char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1000000L);
    if (negative) exponent = -exponent;
  }
  std::string_view mantissa = text.substr(0, e);
  std::size_t point = mantissa.find('.');
  if (point == std::string_view::npos) point = mantissa.size();
  std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return 0;
  long position = first < point ? static_cast<long>(point - first - 1) : -static_cast<long>(first - point);
  return position + exponent;
}

// Reads exactly the text IsFloat admitted, after turning its first separator
// into '.', so the process locale never matters. A value too small for the
// type becomes zero of its sign; one too large, or a text with several
// separators, is no number.
template <typename Real>
std::optional<Real> ParseReal(std::string_view s) {
  if (!IsFloat(s)) return std::nullopt;
  std::string text(s);
  if (auto sep = text.find_first_of(",."); sep != std::string::npos) text[sep] = '.';
  Real value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::general);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range && DecimalMagnitude(text) < 0)
    return text[0] == '-' ? -Real(0) : Real(0);
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

template <typename Real>
Real TextToReal(std::string_view s) {
  if (!IsFloat(s)) return 0;
  if (auto value = ParseReal<Real>(s)) return *value;
  std::string text(s);
  if (auto comma = text.find(','); comma != std::string::npos) text[comma] = '.';
  throw EConvertError(FormatMsg("'%s' is not a valid floating point value", {text}));
}

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool Valid() const { return fds_[0] >= 0; }
  int Read() const { return fds_[0]; }
  int Write() const { return fds_[1]; }
  void CloseRead() { Close(fds_[0]); }
  void CloseWrite() { Close(fds_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int fds_[2];
};

class SpawnActions {
 public:
  SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Reaps the child on every way out; an early exit (a pump that throws) kills it
// first so the installer never waits on a program nobody reads any more.
// The child leads a process group of its own; whatever it started in that
// group ends with it, also when the wait is given up (a stop request).
class ChildGuard {
 public:
  explicit ChildGuard(pid_t pid) : pid_(pid), group_(pid) {}
  ~ChildGuard() {
    ::kill(-group_, SIGKILL);
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  ChildGuard(const ChildGuard&) = delete;
  ChildGuard& operator=(const ChildGuard&) = delete;
  // True once the child has ended (and been reaped).
  bool Poll() {
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      if (WIFEXITED(status)) status_ = WEXITSTATUS(status);
      else if (WIFSIGNALED(status)) status_ = 128 + WTERMSIG(status);
    }
    if (r == pid_ || (r < 0 && errno != EINTR)) pid_ = 0;
    return pid_ <= 0;
  }
  int Status() const { return status_; }

 private:
  pid_t pid_;
  pid_t group_;
  int status_ = -1;
};

// Reads what the pipe holds now. Returns false at end of data.
bool Drain(int fd, std::string& out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

bool IsInteger(std::string_view s) {
  if (s.empty() || !(s[0] == '-' || IsDigit(s[0]))) return false;
  for (char c : s.substr(1))
    if (!IsDigit(c)) return false;
  return true;
}

bool IsFloat(std::string_view s) {
  // Exponent notation ("1.5E-3", "1e+5") is written by real instruction files;
  // the part before the exponent follows the plain rules.
  if (std::size_t e = s.find_first_of("eE"); e != std::string_view::npos) {
    std::string_view exponent = s.substr(e + 1);
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.remove_prefix(1);
    if (!IsDigits(exponent)) return false;
    s = s.substr(0, e);
  }
  if (s.empty() || !(s[0] == '-' || IsDigit(s[0])) || !IsDigit(s.back())) return false;
  for (std::size_t i = 1; i + 1 < s.size(); ++i)
    if (!(IsDigit(s[i]) || s[i] == ',' || s[i] == '.')) return false;
  return true;
}

float TextToSingle(std::string_view s) { return TextToReal<float>(s); }
double TextToDouble(std::string_view s) { return TextToReal<double>(s); }
std::optional<float> ParseSingle(std::string_view s) { return ParseReal<float>(s); }
std::optional<double> ParseDouble(std::string_view s) { return ParseReal<double>(s); }

std::optional<std::int32_t> ParseInt32(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  std::uint32_t magnitude = 0;
  if (!s.empty() && s[0] == '$') {
    s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
      int d = HexValue(c);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    magnitude = static_cast<std::uint32_t>(v);
  } else {
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
      if (!IsDigit(c)) return std::nullopt;
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
      if (v > 0x80000000u) return std::nullopt;
    }
    if (v == 0x80000000u && !negative) return std::nullopt;
    magnitude = static_cast<std::uint32_t>(v);
  }
  std::uint32_t bits = negative ? 0u - magnitude : magnitude;
  return static_cast<std::int32_t>(bits);
}

std::int32_t StrToDWordValue(std::string_view s) {
  if (s == "4294967295") return -1;
  if (auto v = ParseInt32(s)) return *v;
  throw EConvertError(FormatMsg("'%s' is not a valid integer value", {s}));
}

std::string ReplaceAll(std::string_view s, std::string_view oldText, std::string_view newText) {
  if (oldText.empty()) return std::string(s);
  std::string result;
  result.reserve(s.size());
  std::size_t from = 0;
  for (std::size_t at; (at = s.find(oldText, from)) != std::string_view::npos;
       from = at + oldText.size()) {
    result.append(s, from, at - from);
    result.append(newText);
  }
  result.append(s, from, std::string_view::npos);
  return result;
}

std::string CleanResRef(std::string_view s) {
  std::string result;
  for (char c : s.substr(0, 16)) {
    if (IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
      result.push_back(c);
  }
  return result;
}

void ClearReadOnly(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if ((st.st_mode & S_IWUSR) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

void FileCopy(const std::filesystem::path& source, const std::filesystem::path& target) {
  InputFile in(source);
  AtomicFileWriter out(target);
  out.CopyFrom(in, 0, in.Size());
  out.Commit();
}

std::string RunAndCapture(const std::string& exeName, const std::vector<std::string>& arguments,
                          const std::string& workDir, const std::function<void()>& pump) {
  return RunAndCapture(exeName, arguments, workDir, pump, RunOptions{});
}

std::string RunAndCapture(const std::string& exeName, const std::vector<std::string>& arguments,
                          const std::string& workDir, const std::function<void()>& pump,
                          const RunOptions& options) {
  if (exeName.size() <= 4) return {};
  auto cannotStart = [&] {
    return EFOpenError("Unable to start program " + exeName + "!", 1);
  };

  // A path with a folder part is made absolute first: the child changes into
  // workDir before it executes, where a relative path would name another file.
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string program = exeName;
  bool searchPath = exeName.find('/') == std::string::npos;
  if (!searchPath) program = fs::absolute(exeName, ec).string();
  std::string dir = workDir;
  if (dir.empty() || !fs::is_directory(dir, ec)) dir = fs::path(program).parent_path().string();

  Pipe output;
  if (!output.Valid()) throw cannotStart();
  Pipe errorOutput;
  if (options.errors && !errorOutput.Valid()) throw cannotStart();
  SpawnActions actions;
  // The child reads nothing: its input is the null device, not the pipe, so a
  // program that reads standard input sees its end instead of its own output.
  ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(actions.Get(), output.Write(), STDOUT_FILENO);
  if (options.errors)
    ::posix_spawn_file_actions_adddup2(actions.Get(), errorOutput.Write(), STDERR_FILENO);
  else if (options.discardErrors)
    ::posix_spawn_file_actions_addopen(actions.Get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (!dir.empty()) ::posix_spawn_file_actions_addchdir_np(actions.Get(), dir.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // The installer's environment with the given entries in place of its own.
  std::vector<char*> envp;
  for (char** e = options.clearEnvironment ? nullptr : environ; e && *e; ++e) {
    std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& added : options.environment)
      if (std::string_view(added).substr(0, added.find('=')) == name) replaced = true;
    for (const std::string& removed : options.unset)
      if (removed == name) replaced = true;
    if (!replaced) envp.push_back(*e);
  }
  for (const std::string& added : options.environment) envp.push_back(const_cast<char*>(added.c_str()));
  envp.push_back(nullptr);

  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  int rc = searchPath ? ::posix_spawnp(&pid, program.c_str(), actions.Get(), &attributes, argv.data(), envp.data())
                      : ::posix_spawn(&pid, program.c_str(), actions.Get(), &attributes, argv.data(), envp.data());
  ::posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw cannotStart();
  ChildGuard child(pid);
  output.CloseWrite();
  errorOutput.CloseWrite();
  ::fcntl(output.Read(), F_SETFL, ::fcntl(output.Read(), F_GETFL) | O_NONBLOCK);
  if (options.errors) ::fcntl(errorOutput.Read(), F_SETFL, ::fcntl(errorOutput.Read(), F_GETFL) | O_NONBLOCK);

  // Read while the program runs; once it has ended, take what it left in the
  // pipe. A descendant that keeps the pipe open does not hold the installer.
  // The process descriptor wakes the wait as soon as the program ends.
  FileDescriptor processFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  std::string captured, errors;
  bool open = true;
  bool errorsOpen = options.errors != nullptr;
  bool ended = false;
  while (!ended) {
    pollfd fds[3];
    nfds_t count = 0;
    if (processFd.Get() >= 0) fds[count++] = pollfd{processFd.Get(), POLLIN, 0};
    if (open) fds[count++] = pollfd{output.Read(), POLLIN, 0};
    if (errorsOpen) fds[count++] = pollfd{errorOutput.Read(), POLLIN, 0};
    ::poll(count ? fds : nullptr, count, 100);
    // Reading a pipe with nothing in it costs nothing: it is non-blocking.
    if (open) open = Drain(output.Read(), captured);
    if (errorsOpen) errorsOpen = Drain(errorOutput.Read(), errors);
    ended = child.Poll();
    if (ended && open) Drain(output.Read(), captured);
    if (ended && errorsOpen) Drain(errorOutput.Read(), errors);
    if (pump) pump();
  }
  if (options.exitStatus) *options.exitStatus = child.Status();
  if (options.errors) *options.errors = Utf8ToWin1252(errors);
  return Utf8ToWin1252(captured);
}

std::vector<std::string> SplitWindowsCommandLine(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size();) {
    char c = text[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      std::size_t run = 0;
      while (i < text.size() && text[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < text.size() && text[i] == '"') {
        current.append(run / 2, '\\');
        if (run % 2 == 1) {
          current.push_back('"');
          ++i;
        }
      } else {
        current.append(run, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current.push_back('"');
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current.push_back(c);
    ++i;
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

}  // namespace vey
