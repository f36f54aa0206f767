// FileIO: whole-file reads, positioned reads for large archives, and writes
// that replace their target in one rename so that an interrupted save leaves
// either the old file or the new one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vey {

// Reads the whole file in one go. Fails with EFOpenError
// "Cannot open file "%s". %s" (path, system reason).
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// A file opened for positioned reads (archives are read piecewise, never whole).
class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);  // EFOpenError
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;

  std::uint64_t Size() const { return size_; }
  const std::filesystem::path& Path() const { return path_; }
  // Reads exactly out.size() bytes at offset; throws EFOpenError on a short read.
  void ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
  std::vector<std::uint8_t> ReadAt(std::uint64_t offset, std::size_t length) const;
  int Fd() const { return fd_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Writes a new file beside the target; Commit() gives it the target's mode
// (read-only included) and renames it over the target. Destroyed without Commit(), the new
// file is removed and the target is untouched.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::filesystem::path& target);  // EFCreateError
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Allocates room for size bytes up front where the file system can; a hint
  // for large outputs (one extent, no allocation work left for the rename).
  void Reserve(std::uint64_t size);
  void Write(std::span<const std::uint8_t> bytes);
  // Copies length bytes at offset of source (in the kernel where it can).
  void CopyFrom(const InputFile& source, std::uint64_t offset, std::uint64_t length);
  std::uint64_t Written() const { return written_; }
  void Commit();
  const std::filesystem::path& Target() const { return target_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};

// The whole of bytes into path, replacing it atomically.
void WriteFileAtomic(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// A folder's path text ending in '/', as the patcher keeps its folders; an
// empty path stays empty (no folder given).
inline std::string WithTrailingSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// Text of the last system error (strerror of errno), for failure messages.
std::string SystemReason(int err);

}  // namespace vey
