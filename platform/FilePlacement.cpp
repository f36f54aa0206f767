// FilePlacement: links, renames and their copying stand-ins across file
// systems.
#include "platform/FilePlacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <span>
#include <cerrno>
#include <string>
#include <vector>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

std::atomic<FileSystemQuirk> quirk{FileSystemQuirk::kNone};

bool SameFolder(const fs::path& a, const fs::path& b) {
  return fs::absolute(a).lexically_normal().parent_path() == fs::absolute(b).lexically_normal().parent_path();
}

[[noreturn]] void Fail(const fs::path& from, const fs::path& target, int err) {
  throw EFCreateError(FormatMsg("Cannot put \"%s\" back as \"%s\". %s",
                                {PathText(from), PathText(target), SystemReason(err)}),
                      err);
}

// The name a save uses for its new file, so that recovery removes one a kill
// left behind; numbered apart from the saves' own.
fs::path TempBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{1u << 30};
  return target.parent_path() / (target.filename().string() + ".vey-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++) + ".tmp");
}

void CopyTo(const fs::path& from, const fs::path& temp, const fs::path& target) {
  InputFile in(from);
  struct stat st {};
  ::fstat(in.Fd(), &st);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) Fail(from, target, errno);
  std::vector<std::uint8_t> buffer(1 << 20);
  int err = 0;
  for (std::uint64_t at = 0; at < in.Size() && err == 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), in.Size() - at));
    in.ReadAt(at, std::span<std::uint8_t>(buffer.data(), n));
    for (std::size_t done = 0; done < n && err == 0;) {
      const ssize_t w = ::write(fd, buffer.data() + done, n - done);
      if (w < 0 && errno != EINTR) err = errno;
      if (w > 0) done += static_cast<std::size_t>(w);
    }
    at += n;
  }
  // The copy stands for a file that the journal will forget: it must be on
  // the disk before it takes the target's place.
  if (err == 0 && (::fchmod(fd, st.st_mode & 07777) != 0 || ::fdatasync(fd) != 0)) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    Fail(from, target, err);
  }
}

}  // namespace

void SetFileSystemQuirkForTesting(FileSystemQuirk q) { quirk = q; }

int HardLink(const fs::path& from, const fs::path& to) {
  const FileSystemQuirk q = quirk;
  if (q == FileSystemQuirk::kNoHardLinks || (q == FileSystemQuirk::kEachFolderItsOwnDisk && !SameFolder(from, to))) {
    errno = q == FileSystemQuirk::kNoHardLinks ? EPERM : EXDEV;
    return -1;
  }
  return ::link(from.c_str(), to.c_str());
}

int RenameFile(const fs::path& from, const fs::path& to) {
  if (quirk == FileSystemQuirk::kEachFolderItsOwnDisk && !SameFolder(from, to)) {
    errno = EXDEV;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

void PlaceCopy(const fs::path& from, const fs::path& target) {
  const fs::path temp = TempBeside(target);
  if (HardLink(from, temp) != 0) CopyTo(from, temp, target);
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail(from, target, err);
  }
}

void PlaceMove(const fs::path& from, const fs::path& target) {
  if (RenameFile(from, target) == 0) return;
  if (errno != EXDEV) Fail(from, target, errno);
  PlaceCopy(from, target);
  ::unlink(from.c_str());
}

}  // namespace vey::platform
