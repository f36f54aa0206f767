// ArchiveWriter: what an archive's checked entries become below the folder
// they are unpacked into. The writing runs on a thread of its own, so that
// making files (the kernel's work) overlaps decompressing the next entries
// (the library's): a large archive unpacks in the time of the slower of the
// two instead of their sum.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace vey::platform {

// Why the writer will not place an entry, and which entry it was.
struct EntryRefusal {
  std::string why;
  std::string entry;  // the name the archive gives it
};

// Writes entries below root, never through a link: a folder on the way that
// is a link, or a file name taken by one, stops the write.
class EntryWriter {
 public:
  explicit EntryWriter(std::filesystem::path root) : root_(std::move(root)) {}

  void Folder(const std::vector<std::string>& parts, std::size_t count);
  int CreateFile(const std::vector<std::string>& parts, mode_t mode);
  void Link(const std::vector<std::string>& parts, const std::string& target);
  void HardLink(const std::vector<std::string>& parts, const std::vector<std::string>& target);
  std::filesystem::path Join(const std::vector<std::string>& parts) const;

 private:
  std::filesystem::path root_;
  std::unordered_set<std::string> folders_;  // relative, each with a trailing '/'
};

// An EntryWriter run on a second thread, step by step in the order given.
// The first failure is kept; the reader learns of it at its next step or at
// Finish, and since every queued step belongs to an entry before the one
// being read, that failure is the first one in the archive's order.
// Raises EntryRefusal (with the entry's name) or what the writer raised.
class PipelinedWriter {
 public:
  explicit PipelinedWriter(std::filesystem::path root);
  ~PipelinedWriter();
  PipelinedWriter(const PipelinedWriter&) = delete;
  PipelinedWriter& operator=(const PipelinedWriter&) = delete;

  void Folder(const std::string& entry, std::vector<std::string> parts);
  void Link(const std::string& entry, std::vector<std::string> parts, std::string target);
  void HardLink(const std::string& entry, std::vector<std::string> parts, std::vector<std::string> target);
  // A regular file; Write then fills it and Close ends it, cut or extended
  // to size when given.
  void Create(const std::string& entry, std::vector<std::string> parts, mode_t mode);
  void Write(std::uint64_t offset, const void* bytes, std::size_t size);
  void Close(std::optional<std::uint64_t> size);

  // Waits until every queued step is done and raises the first failure.
  // After the reader failed too: the queued steps come before its failure in
  // the archive, so theirs, if any, is the one to raise.
  void Finish();

 private:
  enum class Kind { Folder, Link, HardLink, Create, Write, Close };
  struct Step {
    Kind kind;
    std::string entry;
    std::vector<std::string> parts, target;
    std::string link;
    mode_t mode = 0;
    std::uint64_t offset = 0;
    std::vector<char> bytes;
    std::optional<std::uint64_t> size;
  };

  void Push(Step step);
  void Work();
  void Do(Step& step);
  void Stop();
  void RaiseFailure();

  EntryWriter writer_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Step> steps_;
  std::size_t queuedBytes_ = 0;
  bool closing_ = false;
  bool failed_ = false;  // guarded by mutex_ once the thread runs
  std::exception_ptr failure_;
  // The file being written, on the writer's thread only.
  int fd_ = -1;
  std::string fileEntry_;
  std::vector<std::string> fileParts_;
  std::thread thread_;
};

}  // namespace vey::platform
