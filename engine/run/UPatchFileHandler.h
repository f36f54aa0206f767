// UPatchFileHandler: TPatchFileHandler, which settles the game folder, finds or
// prepares the copy of each file a list edits, and keeps one backup per name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/support/EngineErrors.h"
#include "platform/GameFileSystem.h"
#include "platform/Platform.h"

namespace vey {

class TVEYPatcher;
class TERFHandler;

// What LocateFile is asked for; decides where the edited copy lives.
enum TFileKind : std::uint8_t {
  fkTLK = 0,       // the game folder itself
  fk2DA = 1,       // override
  fkGFF = 2,       // override
  fkModFile = 3,   // override, never an existing file unless replacing
  fkScript = 4,    // source stays in the data folder
  fkArchived = 5,  // a work copy in the data folder's "erfpatch_temp"
  fkSSF = 6,       // override
};

// Folders are held as real paths with '/' separators and a trailing '/'.
// Every name that comes from an instruction file is joined through the game
// file system, so letter case does not matter and a name that would leave its
// folder is refused (logged as an error, the entry skipped).
class TPatchFileHandler {
 public:
  struct Services {
    platform::GameFileSystem* files = nullptr;
    platform::IFolderChooser* folderChooser = nullptr;
    platform::IRegistry* registry = nullptr;
  };

  TPatchFileHandler(platform::IOpenDialog& openDialog, std::string dataPath, Services services);

  bool BackupFiles = true;
  // The person's own backup folder (with a trailing '/'); empty: "backup"
  // in the mod folder.
  std::string BackupDir;
  // False once the located file is a fresh copy this handler made: there is
  // nothing unaltered to save.
  bool BackupAllowed = true;
  bool InstallerMode = false;
  std::string FileName;
  std::string FilePath;
  std::string GameFolder;
  std::string AppPath;
  std::string DataPath;
  // The destination archive's full path, or the word "override".
  std::string DestinationPath;
  platform::IOpenDialog& OpenDialog;
  TVEYPatcher* Patcher = nullptr;
  // When set: the open archive at a path whose documents are queued but not
  // yet written, or null. Locating a file in such an archive sees the queued
  // documents as if the archive had been rebuilt.
  std::function<TERFHandler*(const std::string& archivePath)> QueuedArchive;
  // When set, locating a document in an archive keeps its work copy in
  // WorkCopy instead of writing it: GetFilePath() then names WorkCopyPath.
  // WorkCopyPath is empty unless the located file is such a work copy.
  bool DeferWorkCopy = false;
  std::optional<std::vector<std::uint8_t>> WorkCopy;
  std::string WorkCopyPath;
  // Whether the archive of the last located work copy already held it.
  bool ResourceExisted = false;

  void Log(std::string_view text, int kind);

  // The game folder, settled first when it is not yet known
  // (EAbort 10/11 when no valid folder can be had).
  std::string GetGameFolder();
  // True when the caller may go on with GetFilePath(); false when the entry is
  // to be skipped (the reason has been logged). Raises EAbort 6-9 and 99.
  bool LocateFile(std::string_view name, TFileKind kind, std::string_view destination = {},
                  bool replace = false);
  // The located file, checked (EAbort 3, 4, 5).
  std::string GetFilePath() const;
  // Copies the located file into the backup folder unless a backup of that
  // name is already there; true when a copy was made.
  bool BackupFile();
  // The same for the destination archive.
  bool BackupDestination();

  // BackupDir when the person named one, else AppPath + "backup/".
  std::string BackupFolder() const;
  // Before anything changes: the mod's own "backup" must be a real folder,
  // since a link there would send the backups wherever the mod wants
  // (ERunRefused). A folder the person names is theirs and may be a link.
  void CheckBackupFolder() const;
  // folder joined with a relative path from an instruction file (either slash,
  // any letter case); nullopt after logging an error when it would leave folder.
  std::optional<std::string> JoinInside(const std::string& folder, std::string_view relative);
  platform::GameFileSystem& Files() const { return *services_.files; }

 private:
  enum class SettleFor { kGameFolder, kLocate };
  void SettleGameFolder(SettleFor purpose);
  void CheckRequiredFile();
  void PrepareDialog(std::string_view name, TFileKind kind);
  bool LocateByHand();
  bool LocateArchived(std::string_view name, std::string_view destination, bool replace);
  bool LocateScript(std::string_view name, std::string_view destination, bool replace);
  bool LocateReplacing(std::string_view name);
  bool LocateModFile(std::string_view name);
  bool LocateInOverride(std::string_view name);
  // The data-folder file behind a listed name; nothing (the reason logged) when it is missing.
  std::optional<std::string> SourceNameOrLog(std::string_view name);
  std::string OverrideFolder();
  void EnsureBackupRoot();
  // Copies original into the backup folder once, flat under name when that
  // is free; true when a copy was made.
  bool SaveBackup(const std::string& original, const std::string& name);

  Services services_;
  bool backupRootAdded_ = false;
  // Flat backup name (ASCII lower case) -> the file it was made from in this
  // run: a different file of the same name must not be taken for it.
  std::unordered_map<std::string, std::string> flatBackupOf_;
};

// Path helpers shared by the engine: a folder path with a trailing '/', and
// the last component of a path.
std::string FolderText(const platform::GameFileSystem::Path& path);
std::string LastComponent(std::string_view path);

}  // namespace vey
