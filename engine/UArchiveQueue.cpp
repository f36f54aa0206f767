// UArchiveQueue: queueing edited documents per archive and rebuilding each
// archive once.
#include "engine/UArchiveQueue.h"

#include <exception>
#include <filesystem>
#include <utility>

#include "common/StrFormat.h"
#include "engine/UPatchFileHandler.h"

namespace vey {

TArchiveQueue::TArchiveQueue(platform::GameFileSystem& files, std::string stagingFolder)
    : files_(files), stagingFolder_(std::move(stagingFolder)) {}

TArchiveQueue::~TArchiveQueue() {
  for (auto& archive : archives_) {
    try {
      RemoveStaging(archive);
    } catch (...) {
    }
  }
  try {
    if (files_.IsDirectory(stagingFolder_)) files_.RemoveEmptyDirectory(stagingFolder_);
  } catch (...) {
  }
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

void TArchiveQueue::Add(const std::string& archivePath, const std::string& editedFile) {
  Archive* archive = Lookup(archivePath);
  if (!archive) {
    Archive fresh;
    fresh.key = KeyOf(archivePath);
    fresh.path = archivePath;
    fresh.folder = stagingFolder_ + IntToStr(static_cast<std::int64_t>(folderCount_++)) + "/";
    fresh.handler = std::make_unique<TERFHandler>(archivePath);
    archives_.push_back(std::move(fresh));
    archive = &archives_.back();
  }
  files_.CreateDirectories(archive->folder);
  const std::string staged = files_.Child(archive->folder, LastComponent(editedFile)).string();
  // The same document queued again replaces its earlier version in place.
  files_.RemoveFile(staged);
  files_.Rename(editedFile, staged);
  bool known = false;
  for (const auto& s : archive->staged) known = known || s == staged;
  if (!known) archive->staged.push_back(staged);
  archive->handler->AddResource(staged, true);
}

void TArchiveQueue::RemoveStaging(Archive& archive) {
  for (const auto& staged : archive.staged) files_.RemoveFile(staged);
  archive.staged.clear();
  if (files_.IsDirectory(archive.folder)) files_.RemoveEmptyDirectory(archive.folder);
}

void TArchiveQueue::Flush() {
  std::exception_ptr first;
  for (auto& archive : archives_) {
    try {
      files_.CheckWritable(archive.path);
      archive.handler->SaveToFile();
      archive.handler->Close();
      RemoveStaging(archive);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  // Nothing stays queued. The documents of an archive that could not be
  // written stay in the staging folder for the person to look at.
  archives_.clear();
  try {
    if (files_.IsDirectory(stagingFolder_)) files_.RemoveEmptyDirectory(stagingFolder_);
  } catch (...) {
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace vey
