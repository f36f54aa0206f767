// DigestWorker: one worker thread and a queue; the caller helps at the end.
#include "platform/DigestWorker.h"

#include "common/Sha256.h"
#include "common/VeyException.h"

namespace vey::platform {

DigestWorker::~DigestWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::size_t DigestWorker::Add(std::filesystem::path path) {
  std::size_t ticket;
  {
    std::lock_guard lock(mutex_);
    ticket = paths_.size();
    paths_.push_back(std::move(path));
    digests_.emplace_back();
    queue_.push_back(ticket);
    ++pending_;
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  }
  wake_.notify_one();
  return ticket;
}

bool DigestWorker::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  const std::size_t ticket = queue_.front();
  queue_.pop_front();
  const std::filesystem::path path = paths_[ticket];
  lock.unlock();
  std::string digest;
  try {
    digest = Sha256OfFile(path);
  } catch (const Exception&) {
  }
  lock.lock();
  digests_[ticket] = std::move(digest);
  if (--pending_ == 0) done_.notify_all();
  return true;
}

void DigestWorker::Work() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    RunOne(lock);
  }
}

std::vector<std::string> DigestWorker::Results() {
  std::unique_lock lock(mutex_);
  while (RunOne(lock)) {
  }
  done_.wait(lock, [this] { return pending_ == 0; });
  return digests_;
}

}  // namespace vey::platform
