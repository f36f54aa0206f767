// ArchiveWriter: an archive's entries written below their folder, on a
// thread of their own.
#include "platform/ArchiveWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/FileIO.h"
#include "common/VeyException.h"

namespace vey::platform {
namespace fs = std::filesystem;

void EntryWriter::Folder(const std::vector<std::string>& parts, std::size_t count) {
  fs::path at = root_;
  std::string relative;
  for (std::size_t i = 0; i < count; ++i) {
    at /= parts[i];
    relative += parts[i] + '/';
    // Checked once: nothing an archive names can later turn a folder that
    // is there into a link (a link or file of its name cannot be made).
    if (folders_.count(relative)) continue;
    struct stat st {};
    if (::lstat(at.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) throw EntryRefusal{"a folder on the way is a file or a link", {}};
    } else if (::mkdir(at.c_str(), 0755) != 0 && errno != EEXIST) {
      throw EFCreateError("Cannot create folder \"" + at.string() + "\". " + SystemReason(errno));
    }
    folders_.insert(relative);
  }
}

int EntryWriter::CreateFile(const std::vector<std::string>& parts, mode_t mode) {
  Folder(parts, parts.size() - 1);
  const fs::path path = Join(parts);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags, mode);
  if (fd < 0 && errno == EEXIST) {
    // A repeated name: the later entry wins, as when unpacking by hand.
    ::unlink(path.c_str());
    fd = ::open(path.c_str(), kFlags, mode);
  }
  if (fd < 0) throw EFCreateError("Cannot create file \"" + path.string() + "\". " + SystemReason(errno));
  return fd;
}

void EntryWriter::Link(const std::vector<std::string>& parts, const std::string& target) {
  Folder(parts, parts.size() - 1);
  const fs::path path = Join(parts);
  if (::symlink(target.c_str(), path.c_str()) != 0)
    throw EFCreateError("Cannot create link \"" + path.string() + "\". " + SystemReason(errno));
}

void EntryWriter::HardLink(const std::vector<std::string>& parts, const std::vector<std::string>& target) {
  Folder(parts, parts.size() - 1);
  const fs::path path = Join(parts), from = Join(target);
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw EntryRefusal{"its target is no file extracted before it", {}};
  ::unlink(path.c_str());
  if (::link(from.c_str(), path.c_str()) != 0)
    throw EFCreateError("Cannot create file \"" + path.string() + "\". " + SystemReason(errno));
}

fs::path EntryWriter::Join(const std::vector<std::string>& parts) const {
  fs::path path = root_;
  for (const auto& part : parts) path /= part;
  return path;
}

namespace {

// Enough decompressed data in flight that neither side waits on the other
// for long; more did not unpack faster and only raised the peak memory.
constexpr std::size_t kMaxQueuedBytes = 4u << 20;

}  // namespace

PipelinedWriter::PipelinedWriter(fs::path root) : writer_(std::move(root)), thread_([this] { Work(); }) {}

PipelinedWriter::~PipelinedWriter() {
  {
    std::lock_guard lock(mutex_);
    // Whatever is still queued is not wanted: the reader failed and the
    // folder is about to be removed.
    failed_ = true;
  }
  Stop();
}

void PipelinedWriter::Folder(const std::string& entry, std::vector<std::string> parts) {
  Push({Kind::Folder, entry, std::move(parts), {}, {}, 0, 0, {}, {}});
}

void PipelinedWriter::Link(const std::string& entry, std::vector<std::string> parts, std::string target) {
  Push({Kind::Link, entry, std::move(parts), {}, std::move(target), 0, 0, {}, {}});
}

void PipelinedWriter::HardLink(const std::string& entry, std::vector<std::string> parts,
                               std::vector<std::string> target) {
  Push({Kind::HardLink, entry, std::move(parts), std::move(target), {}, 0, 0, {}, {}});
}

void PipelinedWriter::Create(const std::string& entry, std::vector<std::string> parts, mode_t mode) {
  Push({Kind::Create, entry, std::move(parts), {}, {}, mode, 0, {}, {}});
}

void PipelinedWriter::Write(std::uint64_t offset, const void* bytes, std::size_t size) {
  const auto* begin = static_cast<const char*>(bytes);
  Push({Kind::Write, {}, {}, {}, {}, 0, offset, std::vector<char>(begin, begin + size), {}});
}

void PipelinedWriter::Close(std::optional<std::uint64_t> size) {
  Push({Kind::Close, {}, {}, {}, {}, 0, 0, {}, size});
}

void PipelinedWriter::Push(Step step) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return failed_ || queuedBytes_ < kMaxQueuedBytes; });
  if (failed_) {
    lock.unlock();
    Stop();
    RaiseFailure();
  }
  queuedBytes_ += step.bytes.size();
  steps_.push_back(std::move(step));
  ready_.notify_one();
}

void PipelinedWriter::Finish() {
  Stop();
  RaiseFailure();
}

void PipelinedWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  ready_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void PipelinedWriter::RaiseFailure() {
  // The thread has ended (or is ending with the failure kept): no lock needed
  // for failure_ once Stop has joined it.
  if (failure_) std::rethrow_exception(failure_);
}

void PipelinedWriter::Work() {
  for (;;) {
    Step step;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return closing_ || !steps_.empty(); });
      if (steps_.empty()) break;
      step = std::move(steps_.front());
      steps_.pop_front();
      queuedBytes_ -= step.bytes.size();
      room_.notify_one();
      if (failed_) continue;  // drained unread after a failure
    }
    try {
      Do(step);
    } catch (EntryRefusal& refusal) {
      refusal.entry = step.kind == Kind::Write || step.kind == Kind::Close ? fileEntry_ : step.entry;
      std::lock_guard lock(mutex_);
      failure_ = std::make_exception_ptr(refusal);
      failed_ = true;
      room_.notify_all();
    } catch (...) {
      std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      failed_ = true;
      room_.notify_all();
    }
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PipelinedWriter::Do(Step& step) {
  switch (step.kind) {
    case Kind::Folder:
      writer_.Folder(step.parts, step.parts.size());
      return;
    case Kind::Link:
      writer_.Link(step.parts, step.link);
      return;
    case Kind::HardLink:
      writer_.HardLink(step.parts, step.target);
      return;
    case Kind::Create:
      fd_ = writer_.CreateFile(step.parts, step.mode);
      fileEntry_ = std::move(step.entry);
      fileParts_ = std::move(step.parts);
      return;
    case Kind::Write: {
      std::size_t done = 0;
      while (done < step.bytes.size()) {
        const ssize_t w = ::pwrite(fd_, step.bytes.data() + done, step.bytes.size() - done,
                                   static_cast<off_t>(step.offset + done));
        if (w < 0)
          throw EFCreateError("Cannot write \"" + writer_.Join(fileParts_).string() + "\". " + SystemReason(errno));
        done += static_cast<std::size_t>(w);
      }
      return;
    }
    case Kind::Close: {
      const int fd = fd_;
      fd_ = -1;
      const bool cut = step.size && ::ftruncate(fd, static_cast<off_t>(*step.size)) != 0;
      const int err = errno;
      ::close(fd);
      if (cut) throw EFCreateError("Cannot write \"" + writer_.Join(fileParts_).string() + "\". " + SystemReason(err));
      return;
    }
  }
}

}  // namespace vey::platform
