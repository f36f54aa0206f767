// UArchiveQueue: queueing edited documents per archive and rebuilding each
// archive once.
#include "engine/support/UArchiveQueue.h"

#include <unistd.h>

#include <exception>
#include <filesystem>
#include <utility>

#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey {

TArchiveQueue::TArchiveQueue(platform::GameFileSystem& files, std::string stagingFolder,
                             std::uint64_t memoryLimit)
    : files_(files), stagingFolder_(std::move(stagingFolder)), memoryLimit_(memoryLimit) {}

TArchiveQueue::~TArchiveQueue() {
  for (auto& archive : archives_) {
    try {
      RemoveStaging(archive);
    } catch (...) {
    }
  }
  RemoveFolder();
}

std::string TArchiveQueue::KeyOf(const std::string& archivePath) {
  return std::filesystem::path(archivePath).lexically_normal().string();
}

TArchiveQueue::Archive* TArchiveQueue::Lookup(const std::string& archivePath) {
  const std::string key = KeyOf(archivePath);
  for (auto& archive : archives_)
    if (archive.key == key) return &archive;
  return nullptr;
}

TERFHandler* TArchiveQueue::Find(const std::string& archivePath) {
  Archive* archive = Lookup(archivePath);
  return archive ? archive->handler.get() : nullptr;
}

void TArchiveQueue::Add(const std::string& archivePath, const std::string& fileName,
                        std::span<const std::uint8_t> content) {
  Archive* archive = Lookup(archivePath);
  if (!archive) {
    Archive fresh;
    fresh.key = KeyOf(archivePath);
    fresh.path = archivePath;
    fresh.prefix = std::to_string(::getpid()) + "-" + IntToStr(archiveCount_++) + "_";
    fresh.handler = std::make_unique<TERFHandler>(files_.HostPath(archivePath));
    archives_.push_back(std::move(fresh));
    archive = &archives_.back();
  }
  // A replaced document's bytes still count: the limit is a bound, not a
  // measure.
  if (memoryUsed_ + content.size() <= memoryLimit_) {
    memoryUsed_ += content.size();
    archive->handler->AddResourceData(fileName, std::vector<std::uint8_t>(content.begin(), content.end()), true);
    return;
  }
  files_.CreateDirectories(stagingFolder_);
  // The same document queued again (in any letter case) is written over its
  // earlier version, and the archive's queue lets the new entry replace it.
  const std::string staged = files_.Child(stagingFolder_, archive->prefix + AsciiLowerCopy(fileName)).string();
  files_.WriteFile(staged, content);
  bool known = false;
  for (const auto& s : archive->staged) known = known || s == staged;
  if (!known) archive->staged.push_back(staged);
  archive->handler->AddResource(files_.HostPath(staged), true, fileName);
}

void TArchiveQueue::RemoveStaging(Archive& archive) {
  for (const auto& staged : archive.staged) files_.RemoveFile(staged);
  archive.staged.clear();
}

void TArchiveQueue::RemoveFolder() {
  try {
    if (files_.IsDirectory(stagingFolder_)) files_.RemoveEmptyDirectory(stagingFolder_);
  } catch (...) {
  }
}

void TArchiveQueue::Flush() {
  std::exception_ptr first;
  for (auto& archive : archives_) {
    try {
      archive.handler->SaveToFile(files_.BeforeWrite(archive.path));
      files_.WriteDone(archive.path);
      archive.handler->Close();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  // Nothing stays queued, written or not: a full disk must not leave the
  // documents of an archive it could not write behind for good.
  for (auto& archive : archives_) {
    try {
      archive.handler->Close();
      RemoveStaging(archive);
    } catch (...) {
    }
  }
  archives_.clear();
  memoryUsed_ = 0;
  RemoveFolder();
  if (first) std::rethrow_exception(first);
}

}  // namespace vey
