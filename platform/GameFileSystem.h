// GameFileSystem: the one way the engine touches the game, data and backup
// folders. Turns the Windows-style relative paths of instruction files into real
// paths, matching existing components without regard to letter case, refuses
// paths that would leave their folder, and refuses writes outside the roots
// registered for the run.
// Folder listings are cached for speed (a lookup in a large override folder
// would otherwise read it whole). The exact spelling is always asked of the
// disk; a listing answers only for other spellings and absent names, and only
// while the folder's identity and change times stay the same. The object's
// own writes keep it current. Not for use from several threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/FileIO.h"

namespace vey::platform {

// A change to the file system, announced to observers before it is made.
struct FileChange {
  enum Kind : std::uint8_t {
    kWrite,         // path's content is created or replaced (a save, a copy onto it)
    kRemove,        // path, a file, is deleted
    kRename,        // path is renamed to `to`
    kMakeFolder,    // path and any missing parents are created
    kRemoveFolder,  // path, an empty folder, is removed
  };
  Kind kind;
  std::filesystem::path path;
  std::filesystem::path to;  // kRename only
};

// Told of every change before it happens, after the write fence admitted it.
// A journal keeps the old file here; a report lists what changed. Throwing
// from BeforeChange stops the change: nothing has been touched yet.
class FileChangeObserver {
 public:
  virtual ~FileChangeObserver() = default;
  virtual void BeforeChange(const FileChange& change) = 0;
  // After the change succeeded (not called when it failed).
  virtual void AfterChange(const FileChange& /*change*/) {}
};

class GameFileSystem {
 public:
  using Path = std::filesystem::path;

  GameFileSystem() = default;
  virtual ~GameFileSystem() = default;

  // Writes are allowed only below one of these folders. With none registered,
  // every write is refused.
  void AddWritableRoot(const Path& root);
  const std::vector<Path>& WritableRoots() const { return roots_; }

  // A folder whose content belongs to the mod: a path below it that leads
  // outside it through a symbolic link is refused for reading and writing
  // (EPathError), and Resolve refuses to name it. Links elsewhere (the game
  // and backup folders) are followed; their writes replace a linked file by a
  // regular one and never write the link's target.
  void AddConfinedRoot(const Path& root);
  // Nothing when path stays inside the confined folder it lies below (or lies
  // below none); otherwise why it is refused.
  std::optional<std::string> LinkEscape(const Path& path) const;

  // A folder that belongs to the installer itself (the game's journal): no
  // path inside it is resolved or written, whatever its letter case or
  // spelling, nor one whose links lead into it.
  void AddGuardedFolder(const Path& folder);
  // Nothing when path lies outside every guarded folder; otherwise the
  // guarded folder it lies in.
  std::optional<Path> GuardedFolderOf(const Path& path) const;

  // True when a Windows-style relative path stays inside its folder: no ".."
  // component, not absolute, no drive letter, in either slash direction, and
  // no NUL character (the system would cut the path there) and no other
  // control character.
  static bool IsContained(std::string_view relative);

  // base joined with a Windows-style relative path ("override", "modules\x.rim",
  // ".\", "Override/"). Each component that exists on disk is matched without
  // regard to letter case ("Override" for "override"); a component that does
  // not exist yet keeps the case written. A trailing separator is kept.
  // Fails with EPathError when the path would leave base, leads into a
  // guarded folder or holds a name longer than a file system allows.
  Path Resolve(const Path& base, std::string_view relative) const;

  // One name inside folder, matched without regard to letter case: the existing
  // entry if there is one, else folder / name as written. The name must be one
  // plain component (no separator, not "." or ".."; EPathError otherwise).
  Path Child(const Path& folder, std::string_view name) const;

  // Reads are virtual so that a dry run's overlay can serve its own writes.
  virtual bool Exists(const Path& path) const;
  virtual bool IsFile(const Path& path) const;
  virtual bool IsDirectory(const Path& path) const;
  // Names of the entries of a folder (files and folders), unsorted.
  virtual std::vector<std::string> List(const Path& folder) const;

  virtual std::vector<std::uint8_t> ReadFile(const Path& path) const;
  // Where a reader outside this class (an archive, the script compiler) finds
  // the current content of path.
  virtual Path HostPath(const Path& path) const { return path; }

  // Every write below checks that its target lies under a writable root
  // (EPathError otherwise). Replacing writes are atomic.
  virtual void WriteFile(const Path& path, std::span<const std::uint8_t> bytes);
  virtual std::unique_ptr<AtomicFileWriter> CreateFile(const Path& path);
  virtual void CopyFile(const Path& from, const Path& to);
  // A missing file counts as removed; any other failure is EFCreateError.
  virtual void RemoveFile(const Path& path);
  // Never replaces an existing target: the override check relies on a rename
  // failing when the new name is taken (EFCreateError).
  virtual void Rename(const Path& from, const Path& to);
  virtual void CreateDirectories(const Path& path);
  // True when the folder was empty and is gone.
  virtual bool RemoveEmptyDirectory(const Path& path);

  void CheckWritable(const Path& path) const;
  bool IsWritable(const Path& path) const;

  // Observers are borrowed, told in the order added, and must outlive their
  // registration.
  void AddObserver(FileChangeObserver* observer);
  void RemoveObserver(FileChangeObserver* observer);
  // For writers outside this class (format classes that save themselves):
  // checks the fence and announces a kWrite of path. The caller writes the
  // returned path (path itself, unless the writes are kept elsewhere) next
  // and then calls WriteDone.
  virtual Path BeforeWrite(const Path& path);
  virtual void WriteDone(const Path& path);

  // Drops every cached listing; for callers that let another program write
  // into these folders (a compiler leaving its output).
  void ForgetListings() const { listings_.clear(); }

 protected:
  // path made absolute and lexically normal, without a trailing separator
  // ("/" stays): the text under which the caches know a path.
  static std::string NormalText(const Path& path);
  // The existing entry of folder spelled like name in any letter case.
  virtual std::optional<std::string> FindEntry(const Path& folder, std::string_view name) const;
  void Announce(const FileChange& change);
  void Done(const FileChange& change);

 private:
  // What a folder's listing was taken from; any entry added, removed or
  // renamed changes the modification time.
  struct FolderStamp {
    std::uint64_t dev = 0, ino = 0;
    std::int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FolderStamp&) const = default;
  };
  struct Listing {
    FolderStamp stamp;
    std::unordered_map<std::string, std::vector<std::string>> byFolded;  // ASCII lower case
  };

  static std::optional<FolderStamp> StampOf(const Path& folder);
  const Listing* ValidListing(const std::string& key) const;
  // The stamp of the folder that will hold path, when its listing is cached.
  std::optional<FolderStamp> StampBeforeChange(const Path& path) const;
  // After an own write in path's folder: the listing follows the change when
  // nothing else touched the folder since it was taken, else it is dropped.
  void AfterChange(const Path& path, const std::optional<FolderStamp>& before,
                   std::string_view added, std::string_view removed);
  void ForgetListing(const Path& folder);

  void CheckConfined(const Path& path) const;

  std::vector<Path> roots_;
  struct ConfinedRoot {
    Path normal, real;
  };
  std::vector<ConfinedRoot> confined_;
  std::vector<Path> guarded_;
  std::vector<FileChangeObserver*> observers_;
  mutable std::unordered_map<std::string, Listing> listings_;
};

}  // namespace vey::platform
