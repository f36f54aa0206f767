// OverlayFileSystem: a game file system whose changes never reach the folders
// it serves. Every read sees the folders as they are plus the run's own
// earlier changes; every write lands in a scratch folder of its own that is
// thrown away with the object. A whole run on it shows what it would do.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/GameFileSystem.h"

namespace vey::platform {

class OverlayFileSystem : public GameFileSystem {
 public:
  // The scratch folder is made below parent (a fresh, private one).
  explicit OverlayFileSystem(const Path& parent = std::filesystem::temp_directory_path());
  // Removes the scratch folder and everything in it.
  ~OverlayFileSystem() override;
  OverlayFileSystem(const OverlayFileSystem&) = delete;
  OverlayFileSystem& operator=(const OverlayFileSystem&) = delete;

  const Path& Scratch() const { return scratch_; }

  bool Exists(const Path& path) const override;
  bool IsFile(const Path& path) const override;
  bool IsDirectory(const Path& path) const override;
  std::vector<std::string> List(const Path& folder) const override;
  std::vector<std::uint8_t> ReadFile(const Path& path) const override;
  Path HostPath(const Path& path) const override;

  void WriteFile(const Path& path, std::span<const std::uint8_t> bytes) override;
  std::unique_ptr<AtomicFileWriter> CreateFile(const Path& path) override;
  void CopyFile(const Path& from, const Path& to) override;
  void RemoveFile(const Path& path) override;
  void Rename(const Path& from, const Path& to) override;
  void CreateDirectories(const Path& path) override;
  bool RemoveEmptyDirectory(const Path& path) override;
  Path BeforeWrite(const Path& path) override;
  void WriteDone(const Path& path) override;

 protected:
  std::optional<std::string> FindEntry(const Path& folder, std::string_view name) const override;

 private:
  enum class State { kFile, kFolder, kGone };
  struct Entry {
    State state;
    // kFile: where the content is, either the untouched original or this
    // path's own file in the scratch folder (never shared by two paths).
    Path host;
  };

  static std::string KeyOf(const Path& path);
  const Entry* Lookup(const std::string& key) const;
  void Set(const std::string& key, Entry entry);
  // This path's own place in the scratch folder, its folders made.
  Path ScratchFor(const std::string& key);
  bool InScratch(const Path& host) const;
  void RequireFolderOf(const std::string& key) const;

  Path scratch_;
  std::map<std::string, Entry> entries_;
  // Names given to entries, by the key of their folder: what a listing adds.
  std::unordered_map<std::string, std::set<std::string>> names_;
  // The same names by folder key and letter-case-folded name ('\0' between),
  // so that a lookup in any letter case does not walk a folder of thousands.
  std::unordered_map<std::string, std::set<std::string>> spellings_;
};

}  // namespace vey::platform
