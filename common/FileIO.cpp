// FileIO: POSIX file access under the installer's failure classes.
#include "common/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"

namespace vey {
namespace {

[[noreturn]] void ThrowOpen(const std::filesystem::path& p, int err) {
  // The system's error number is the code, so no report reads "(0)".
  throw EFOpenError(FormatMsg("Cannot open file \"%s\". %s", {PathText(p), SystemReason(err)}), err);
}

[[noreturn]] void ThrowCreate(const std::filesystem::path& p, int err) {
  throw EFCreateError(FormatMsg("Cannot create file \"%s\". %s", {PathText(p), SystemReason(err)}), err);
}

void WriteAll(int fd, const std::uint8_t* p, std::size_t n, const std::filesystem::path& path) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowCreate(path, errno);
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

}  // namespace

std::string SystemReason(int err) { return std::strerror(err); }

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  InputFile in(path);
  return in.ReadAt(0, static_cast<std::size_t>(in.Size()));
}

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
  // Non-blocking: a FIFO in a file's place is refused below, not waited on.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) ThrowOpen(path, errno);
  struct stat st {};
  const bool statted = ::fstat(fd_, &st) == 0;
  if (!statted || !S_ISREG(st.st_mode)) {
    int err = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd_);
    fd_ = -1;
    ThrowOpen(path, err);
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

void InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t r = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      ThrowOpen(path_, errno);
    }
    if (r == 0) ThrowOpen(path_, EIO);  // the file shrank under us
    done += static_cast<std::size_t>(r);
  }
}

std::vector<std::uint8_t> InputFile::ReadAt(std::uint64_t offset, std::size_t length) const {
  if (offset > size_ || length > size_ - offset) ThrowOpen(path_, EINVAL);
  std::vector<std::uint8_t> buf(length);
  ReadAt(offset, std::span<std::uint8_t>(buf));
  return buf;
}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target) : target_(target) {
  static std::atomic<unsigned> counter{0};
  auto name = target.filename().string() + ".vey-" + std::to_string(::getpid()) + "-" +
              std::to_string(counter++) + ".tmp";
  temp_ = target.parent_path() / name;
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) ThrowCreate(target, errno);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
}

void AtomicFileWriter::Reserve(std::uint64_t size) {
  // Failure (a file system without it) only loses the speed-up.
  if (size > 0) ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
}

void AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
  WriteAll(fd_, bytes.data(), bytes.size(), target_);
  written_ += bytes.size();
}

void AtomicFileWriter::CopyFrom(const InputFile& source, std::uint64_t offset,
                                std::uint64_t length) {
  if (offset > source.Size() || length > source.Size() - offset) ThrowOpen(source.Path(), EINVAL);
  auto in = static_cast<off_t>(offset);
  std::uint64_t left = length;
  while (left > 0) {
    ssize_t n = ::copy_file_range(source.Fd(), &in, fd_, nullptr, left, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // not supported here, or nothing copied: fall back below
    left -= static_cast<std::uint64_t>(n);
  }
  if (left > 0) {
    std::vector<std::uint8_t> buf(std::min<std::uint64_t>(left, 1 << 20));
    while (left > 0) {
      std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
      source.ReadAt(static_cast<std::uint64_t>(in), std::span<std::uint8_t>(buf.data(), chunk));
      WriteAll(fd_, buf.data(), chunk, target_);
      in += static_cast<off_t>(chunk);
      left -= chunk;
    }
  }
  written_ += length;
}

void AtomicFileWriter::Commit() {
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0) {
    // The replacement takes the target's permissions as they are: the rename
    // needs no write permission on the target, and a file the person made
    // read-only stays read-only.
    ::fchmod(fd_, st.st_mode & 07777);
  }
  if (::close(fd_) != 0) {
    fd_ = -1;
    ThrowCreate(target_, errno);
  }
  fd_ = -1;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) ThrowCreate(target_, errno);
  committed_ = true;
}

void WriteFileAtomic(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  AtomicFileWriter out(path);
  out.Write(bytes);
  out.Commit();
}

}  // namespace vey
