// ModCache: the folder of unpacked mod archives, reached through one open
// handle and never through a link in it. Each copy is named by its archive's
// SHA-256 and is trusted only with the manifest its unpack wrote (every
// name, size and digest) and while its content still matches it; unpacks
// under way are locked, so that one whose process is gone is known and
// removed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>
#include "platform/UniqueFd.h"

namespace vey::platform {


// What an unpack left: one line per folder, file and link below the copy.
struct ManifestItem {
  char type = 'f';           // 'd' folder, 'f' file, 'l' link
  std::uint64_t size = 0;    // files only
  std::string digest;        // SHA-256 of a file's content or a link's target; "-" for folders
  std::string path;          // relative, '/' between components
  bool operator==(const ManifestItem&) const = default;
};
struct Manifest {
  std::string archiveName;  // the archive's file name when it was unpacked
  std::vector<ManifestItem> items;  // sorted by path
};

// What the cache holds under one digest, for listing and cleaning.
struct CacheEntry {
  std::string sha256;
  std::string archiveName;          // empty when there is no manifest
  bool sound = false;               // a folder (no link) matching its manifest
  std::uint64_t bytes = 0;          // the files in the folder, the installer's own included
  std::int64_t lastUse = 0;         // seconds since the epoch
  std::vector<std::string> games;   // game folders it has served
};

class ModCache {
 public:
  // Creates the folder when it is missing and opens it. EFCreateError.
  explicit ModCache(std::filesystem::path home);

  const std::filesystem::path& Home() const { return home_; }
  int Fd() const { return fd_.Get(); }

  // Removes unpack folders whose process is gone (no lock held on them and
  // their process no longer running), and anything else under such a name.
  void RemoveLeftovers() const;

  // True when home/sha256 is a folder (no link) whose content holds every
  // item of its manifest with the same type and size; its last use is set to now.
  bool Usable(const std::string& sha256) const;

  // Moves a finished unpack folder (a name in the cache) to sha256 with its
  // manifest. What stands there already is kept when it matches the
  // manifest by digest (an earlier unpack, maybe with the installer's own
  // files added since), else replaced. True when the earlier copy was kept.
  bool Place(const std::string& unpackName, const std::string& sha256, const Manifest& manifest) const;

  // The game folder is added to those the copy has served.
  void RecordUse(const std::string& sha256, const std::string& gameFolder) const;

  std::vector<CacheEntry> Entries() const;
  // Removes the copy and its records; false when it was not there.
  bool Remove(const std::string& sha256) const;

  // The archive digest remembered under name in ".sums", and its writing.
  std::optional<std::string> ReadSum(const std::string& name) const;
  void WriteSum(const std::string& name, const std::string& sha256) const;

  // The manifest of home/sha256, read without following links; nothing when
  // it is missing or damaged.
  std::optional<Manifest> ReadManifest(const std::string& sha256) const;

 private:
  std::filesystem::path home_;
  UniqueFd fd_;
};

// A new folder in the cache for one unpack, locked while this object lives
// and removed with what is in it when it goes unless released. Its name
// carries the process id and start time.
class UnpackFolder {
 public:
  explicit UnpackFolder(const ModCache& cache);
  ~UnpackFolder();
  UnpackFolder(const UnpackFolder&) = delete;
  UnpackFolder& operator=(const UnpackFolder&) = delete;

  const std::string& Name() const { return name_; }
  std::filesystem::path Path() const { return cache_.Home() / name_; }
  int Fd() const { return fd_.Get(); }
  void Release() { released_ = true; }

 private:
  const ModCache& cache_;
  std::string name_;
  UniqueFd fd_;
  bool released_ = false;
};

// Every folder, file and link below the open folder, files hashed.
Manifest ManifestOf(int folderFd, std::string archiveName);

// Removes name in the folder dirFd and everything below it, never following
// a link and never crossing into another file system.
void RemoveTreeAt(int dirFd, const std::string& name);

}  // namespace vey::platform
