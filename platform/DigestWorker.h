// DigestWorker: SHA-256 of files on a second thread, so that digesting the
// old versions a run keeps overlaps with the run instead of adding to it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vey::platform {

class DigestWorker {
 public:
  DigestWorker() = default;
  ~DigestWorker();
  DigestWorker(const DigestWorker&) = delete;
  DigestWorker& operator=(const DigestWorker&) = delete;

  // Queues a file whose content will not change any more; returns its ticket.
  std::size_t Add(std::filesystem::path path);
  // Waits for every queued digest, working on the queue meanwhile; the
  // digests by ticket, empty for a file that could not be read.
  std::vector<std::string> Results();

 private:
  void Work();
  bool RunOne(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<std::size_t> queue_;
  std::vector<std::filesystem::path> paths_;
  std::vector<std::string> digests_;
  std::size_t pending_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vey::platform
