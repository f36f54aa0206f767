// UProgramOutput: a program's output opened by handle, never through a link.
#include "engine/support/UProgramOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "common/FileIO.h"
#include "common/StrFormat.h"

namespace vey {
namespace {

class Handle {
 public:
  explicit Handle(int fd = -1) : fd_(fd) {}
  ~Handle() {
    if (fd_ >= 0) ::close(fd_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

TProgramOutput Refused(std::string why) {
  TProgramOutput out;
  out.state = TProgramOutput::State::Refused;
  out.problem = std::move(why);
  return out;
}

// Why an open that refuses links and waits for nothing failed.
std::string OpenFailure(std::string_view name, int err) {
  if (err == ELOOP) return FormatMsg("\"%s\" is a symbolic link", {name});
  if (err == ENOTDIR) return FormatMsg("\"%s\" is not a folder", {name});
  return FormatMsg("\"%s\" cannot be opened (%s)", {name, SystemReason(err)});
}

}  // namespace

TProgramOutput ReadProgramOutput(const std::string& folder, const std::string& relative, std::uint64_t limit) {
  Handle at(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (at.Get() < 0) return Refused(OpenFailure(folder, errno));
  // Folder by folder: a link anywhere below the folder is refused, not followed.
  std::string_view rest = relative;
  for (;;) {
    const std::size_t slash = rest.find('/');
    const std::string name(rest.substr(0, slash));
    if (name.empty() || name == "." || name == "..")
      return Refused(FormatMsg("the name \"%s\" does not stay in its folder", {relative}));
    if (slash == std::string_view::npos) {
      // Non-blocking: a FIFO is refused below instead of waited on.
      const int fd = ::openat(at.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) {
        if (errno == ENOENT) return {};
        return Refused(OpenFailure(relative, errno));
      }
      at.Reset(fd);
      break;
    }
    const int fd = ::openat(at.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) return {};
      return Refused(OpenFailure(std::string(relative.substr(0, relative.size() - rest.size())) + name, errno));
    }
    at.Reset(fd);
    rest.remove_prefix(slash + 1);
  }
  struct stat st {};
  if (::fstat(at.Get(), &st) != 0) return Refused(OpenFailure(relative, errno));
  if (!S_ISREG(st.st_mode)) return Refused(FormatMsg("\"%s\" is not a regular file", {relative}));
  if (static_cast<std::uint64_t>(st.st_size) > limit)
    return Refused(FormatMsg("\"%s\" is larger than %s bytes", {relative, std::to_string(limit)}));
  TProgramOutput out;
  out.state = TProgramOutput::State::Read;
  out.bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  // The program may still grow the file: never past what was checked.
  while (got < out.bytes.size()) {
    const ssize_t n = ::read(at.Get(), out.bytes.data() + got, out.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Refused(OpenFailure(relative, errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.bytes.resize(got);
  return out;
}

}  // namespace vey
