// UArchiveQueue: TArchiveQueue, documents waiting to be written into their
// ERF/RIM archives, so that a list rebuilds each archive once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/UERFHandler.h"
#include "platform/GameFileSystem.h"

namespace vey {

// Each archive stays open from its first queued document to Flush; the
// documents wait in memory, which spares a file per document. Past a limit on
// the bytes held, further documents wait in a staging folder instead, their
// file names prefixed with the process and the archive's number ("PID-N_"),
// because two archives may each receive a document of the same name and a
// later run must tell a killed run's leftovers from a running one's. Rebuilding an archive once with its documents in queue order
// gives the same archive as rebuilding it after each one: a document queued
// twice keeps its last content at the place of its last addition.
class TArchiveQueue {
 public:
  static constexpr std::uint64_t kMemoryLimit = 256ull << 20;

  // stagingFolder ends with '/' and lies inside a writable root.
  TArchiveQueue(platform::GameFileSystem& files, std::string stagingFolder,
                std::uint64_t memoryLimit = kMemoryLimit);
  // Discards what was not flushed and removes the staging files.
  ~TArchiveQueue();
  TArchiveQueue(const TArchiveQueue&) = delete;
  TArchiveQueue& operator=(const TArchiveQueue&) = delete;

  // The open archive at this path when documents are queued for it, else null.
  TERFHandler* Find(const std::string& archivePath);
  // Queues the content of a document for the archive under fileName,
  // replacing a resource of that name and type. Raises the archive's
  // failures (an unsupported extension, a damaged file).
  void Add(const std::string& archivePath, const std::string& fileName, std::span<const std::uint8_t> content);
  // Rebuilds every archive that has queued documents, in the order they were
  // first queued. A failure does not stop the others from being written; the
  // first one is raised afterwards. Nothing stays in the staging folder: the
  // run that fails is rolled back, and its documents with it.
  void Flush();
  bool Empty() const { return archives_.empty(); }

 private:
  struct Archive {
    std::string key;
    std::string path;
    std::string prefix;
    std::unique_ptr<TERFHandler> handler;
    std::vector<std::string> staged;
  };

  static std::string KeyOf(const std::string& archivePath);
  Archive* Lookup(const std::string& archivePath);
  void RemoveStaging(Archive& archive);
  void RemoveFolder();

  platform::GameFileSystem& files_;
  std::string stagingFolder_;
  std::vector<Archive> archives_;
  std::int64_t archiveCount_ = 0;
  std::uint64_t memoryLimit_;
  std::uint64_t memoryUsed_ = 0;
};

}  // namespace vey
