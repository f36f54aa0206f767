// UPatchFileHandler: game folder, file location in override, data folder,
// archives or by hand, and the flat backup folder.
#include "engine/run/UPatchFileHandler.h"

#include <sys/stat.h>

#include <filesystem>
#include <utility>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/UERFHandler.h"
#include "platform/RunJournal.h"

namespace vey {
namespace {

constexpr int kDebug = 1, kError = 2, kWarning = 4, kInstall = 8;

constexpr std::string_view kGame1Key = "\\SOFTWARE\\Fenwyck\\XT\\ARKAN";
constexpr std::string_view kGame2Key = "\\SOFTWARE\\Quenbrook\\Arkan2";

std::string SlashTerminated(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The name without its last extension ("a.b.nss" -> "a.b").
std::string StripExtension(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::string(name);
  return std::string(name.substr(0, dot));
}

std::string ExtensionOf(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1));
}

}  // namespace

std::string FolderText(const platform::GameFileSystem::Path& path) {
  return SlashTerminated(path.string());
}

std::string LastComponent(std::string_view path) {
  std::size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

TPatchFileHandler::TPatchFileHandler(platform::IOpenDialog& openDialog, std::string dataPath,
                                     Services services)
    : DataPath(std::move(dataPath)), OpenDialog(openDialog), services_(services) {
  // Work folders ("erfpatch_temp", "nsspatch_temp") and restored script
  // sources live in the data folder.
  if (!DataPath.empty()) {
    Files().AddWritableRoot(DataPath);
    // The mod's links may not reach past its own folder.
    Files().AddConfinedRoot(DataPath);
  }
}

void TPatchFileHandler::Log(std::string_view text, int kind) {
  if (Patcher) Patcher->LogMessage(text, static_cast<LogKind>(kind));
}

std::string TPatchFileHandler::BackupFolder() const { return BackupDir.empty() ? AppPath + "backup/" : BackupDir; }

void TPatchFileHandler::CheckBackupFolder() const {
  if (!BackupDir.empty() || AppPath.empty()) return;
  const std::string own = AppPath + "backup";
  struct stat st {};
  if (::lstat(own.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    throw ERunRefused(FormatMsg("Refusing to install: \"%s\" in the mod folder is a link, and backups written "
                                "there would land wherever it points. Remove the link, or name a backup "
                                "folder of your own with --backup-dir.",
                                {PathText(own)}),
                      kRefusedUnsafeFolder);
}

void TPatchFileHandler::EnsureBackupRoot() {
  if (backupRootAdded_) return;
  Files().AddWritableRoot(BackupFolder());
  backupRootAdded_ = true;
}

std::optional<std::string> TPatchFileHandler::JoinInside(const std::string& folder,
                                                         std::string_view relative) {
  if (HasControlCharacter(relative)) {
    Log(FormatMsg("Refusing the file name \"%s\": it holds a control character. Skipping...", {relative}),
        kError);
    return std::nullopt;
  }
  if (!platform::GameFileSystem::IsContained(relative) || relative.empty()) {
    Log(FormatMsg("Refusing the file name \"%s\": it leads outside the folder %s. Skipping...",
                  {relative, PathText(folder)}),
        kError);
    return std::nullopt;
  }
  try {
    return Files().Resolve(folder, relative).string();
  } catch (const EPathError& e) {
    Log(FormatMsg("%s Skipping \"%s\"...", {e.what(), relative}), kError);
    return std::nullopt;
  }
}

// An existing "Override" in another letter case is the same folder.
std::string TPatchFileHandler::OverrideFolder() {
  return FolderText(Files().Child(GameFolder, "override"));
}

void TPatchFileHandler::SettleGameFolder(SettleFor purpose) {
  if (!GameFolder.empty() && Files().IsDirectory(GameFolder)) return;
  const TQK_Inifile& ini = Patcher->IniFile();
  std::string folder;
  if (ini.ReadBool("Settings", "LookupGameFolder", false) && services_.registry) {
    std::string_view key =
        ini.ReadInteger("Settings", "LookupGameNumber", 2) == 1 ? kGame1Key : kGame2Key;
    folder = services_.registry->ReadString(key, "Path");
    if (folder.empty() || !Files().IsDirectory(folder)) folder.clear();
  }
  if (folder.empty() && services_.folderChooser) {
    folder = services_.folderChooser->BrowseForFolder(
        "Please select the folder where your game is installed. (The folder containing the "
        "game executable.)",
        0);
  }
  const bool locating = purpose == SettleFor::kLocate;
  if (folder.empty() || !Files().IsDirectory(folder)) {
    throw EAbort(locating ? "Error! No valid game folder selected! Installation aborted."
                          : "Invalid game directory specified!",
                 locating ? 6 : 10);
  }
  // A folder typed relative to where the installer was started is kept as
  // the full path, so later messages and writes do not depend on it.
  std::error_code ec;
  folder = SlashTerminated(std::filesystem::absolute(folder, ec).lexically_normal().string());
  if (!Files().IsFile(Files().Child(folder, "dialog.tlk"))) {
    throw EAbort(
        "Invalid game folder specified, dialog.tlk file not found! Make sure you have selected "
        "the correct folder.",
        locating ? 7 : 11);
  }
  GameFolder = folder;
  Files().AddWritableRoot(GameFolder);
  // The journal is what lets the person undo a mod; no mod may write into it.
  Files().AddGuardedFolder(platform::JournalHome(GameFolder));
  Log(FormatMsg("Install path set to %s.", {PathText(GameFolder)}), kDebug);
  if (Patcher->OnGameFolder) Patcher->OnGameFolder(GameFolder);
}

std::string TPatchFileHandler::GetGameFolder() {
  SettleGameFolder(SettleFor::kGameFolder);
  return GameFolder;
}

void TPatchFileHandler::CheckRequiredFile() {
  const TQK_Inifile& ini = Patcher->IniFile();
  std::string required = ini.ReadString("Settings", "Required", "");
  if (required.empty()) return;
  // A name that would leave the override folder cannot name a file in it.
  bool present = platform::GameFileSystem::IsContained(required) &&
                 Files().IsFile(Files().Resolve(OverrideFolder(), required));
  if (present) return;
  std::string message = ini.ReadString("Settings", "RequiredMsg", "");
  if (message.empty())
    message = FormatMsg("Cannot locate required file %s, unable to continue with install!",
                        {required});
  throw EAbort(message, 99);
}

void TPatchFileHandler::PrepareDialog(std::string_view name, TFileKind kind) {
  OpenDialog.FileName = std::string(name);
  std::string ext = name.empty() ? "*" : AsciiLowerCopy(name.substr(name.size() < 3 ? 0 : name.size() - 3));
  const std::string title = FormatMsg("Please select your %s file.", {name});
  const std::string modTitle = FormatMsg("Please select the %s file that came with this Mod.", {name});
  switch (kind) {
    case fkTLK:
      OpenDialog.DefaultExt = "tlk";
      OpenDialog.Filter = FormatMsg("TLK file %s", {"(*.tlk)|*.tlk"});
      OpenDialog.Title = title;
      break;
    case fk2DA:
      OpenDialog.DefaultExt = "2da";
      OpenDialog.Filter = FormatMsg("2DA file %s", {"(*.2da)|*.2da"});
      OpenDialog.Title = title;
      break;
    case fkGFF: {
      std::string description;
      if (ext == "uti") description = FormatMsg("Item template %s", {"(*.uti)"});
      else if (ext == "utc") description = FormatMsg("Creature template %s", {"(*.utc)"});
      else if (ext == "utm") description = FormatMsg("Store template %s", {"(*.utm)"});
      else if (ext == "utp") description = FormatMsg("Placeable template %s", {"(*.utp)"});
      else if (ext == "dlg") description = FormatMsg("Dialog file %s", {"(*.dlg)"});
      else if (ext == "gff") description = FormatMsg("GFF format file %s", {"(*.gff)"});
      else description = FormatMsg("All files %s", {"(*.*)"});
      OpenDialog.DefaultExt = ext;
      OpenDialog.Filter = description + "|*." + ext;
      OpenDialog.Title = title;
      break;
    }
    case fkModFile:
      OpenDialog.DefaultExt = ext;
      OpenDialog.Filter = FormatMsg("%s File", {AsciiUpperCopy(ext)}) + " (*." + ext + ")|*." + ext;
      OpenDialog.Title = modTitle;
      break;
    case fkScript:
      OpenDialog.DefaultExt = "nss";
      OpenDialog.Filter = FormatMsg("NSS Script Source %s", {"(*.nss)|*.nss"});
      OpenDialog.Title = modTitle;
      break;
    case fkSSF:
      OpenDialog.DefaultExt = "ssf";
      OpenDialog.Filter = FormatMsg("SSF Soundset file %s", {"(*.ssf)|*.ssf"});
      OpenDialog.Title = modTitle;
      break;
    case fkArchived:
      break;
  }
}

bool TPatchFileHandler::LocateByHand() {
  if (!OpenDialog.Execute()) return false;
  platform::GameFileSystem::Path chosen(OpenDialog.FileName);
  FileName = chosen.filename().string();
  FilePath = FolderText(chosen.parent_path());
  // The person picked this very file to be patched: it may be written, and
  // nothing else beside it.
  Files().AddWritableRoot(chosen);
  return true;
}

bool TPatchFileHandler::LocateFile(std::string_view name, TFileKind kind,
                                   std::string_view destination, bool replace) {
  BackupAllowed = true;
  WorkCopy.reset();
  WorkCopyPath.clear();
  if (HasControlCharacter(name)) {
    Log(FormatMsg("Refusing the file name \"%s\": it holds a control character. Skipping...", {name}),
        kError);
    return false;
  }
  std::string dest(destination);
  if (dest.empty()) {
    dest = "override";
    DestinationPath = "override";
  }
  PrepareDialog(name, kind);
  if (!InstallerMode) return LocateByHand();

  SettleGameFolder(SettleFor::kLocate);
  CheckRequiredFile();
  try {
    if (kind == fkTLK) {
      if (name.empty() || !Files().IsFile(Files().Child(GameFolder, name)))
        throw EAbort(FormatMsg("Error! Unable to locate TLK file to patch, \"%s\" file not found!",
                               {name}),
                     8);
      FileName = std::string(name);
      FilePath = GameFolder;
      return true;
    }
    if (kind == fkArchived) return LocateArchived(name, dest, replace);

    const std::string overrideFolder = OverrideFolder();
    if (!Files().IsDirectory(overrideFolder)) {
      Files().CreateDirectories(overrideFolder);
      Log(FormatMsg("No Override folder found, creating it at %s.", {PathText(overrideFolder)}), kInstall);
    }
    if (kind == fkScript) return LocateScript(name, dest, replace);
    if (replace) return LocateReplacing(name);
    if (kind == fkModFile) return LocateModFile(name);
    return LocateInOverride(name);
  } catch (const EPathError& e) {
    // A name or destination from the instruction file that would leave the
    // game, data or backup folders: refuse this entry, keep the run going.
    Log(FormatMsg("%s Skipping \"%s\"...", {e.what(), name}), kError);
    return false;
  }
}

bool TPatchFileHandler::LocateArchived(std::string_view name, std::string_view destination,
                                       bool replace) {
  FileName = std::string(name);
  auto destPath = JoinInside(GameFolder, destination);
  if (!destPath) return false;
  DestinationPath = *destPath;
  if (!Files().IsFile(DestinationPath)) {
    Log(FormatMsg("Unable to locate archive \"%s\" to modify or insert file \"%s\" into, skipping...",
                  {PathText(DestinationPath), FileName}),
        kError);
    return false;
  }
  TERFHandler* queued = QueuedArchive ? QueuedArchive(DestinationPath) : nullptr;
  std::unique_ptr<TERFHandler> opened;
  if (!queued) {
    try {
      opened = std::make_unique<TERFHandler>(Files().HostPath(DestinationPath));
    } catch (const Exception& e) {
      Log(FormatMsg("Unable to load archive \"%s\" to modify or insert file \"%s\" into, skipping... (%s)",
                    {PathText(DestinationPath), FileName, e.what()}),
          kError);
      return false;
    }
  }
  TERFHandler* archive = queued ? queued : opened.get();
  if (!archive->IsOpen()) {
    Log(FormatMsg("Unable to load archive \"%s\" to insert file \"%s\" into, skipping...",
                  {PathText(DestinationPath), FileName}),
        kError);
    return false;
  }
  FilePath = DataPath + "erfpatch_temp/";
  Files().CreateDirectories(FilePath);
  std::string saveName = Patcher->GetSaveAsName(FileName);
  auto workCopy = JoinInside(FilePath, saveName);
  if (!workCopy) return false;
  Files().RemoveFile(*workCopy);
  const std::string archiveName = LastComponent(DestinationPath);
  ResourceExisted = archive->HasResource(saveName, queued != nullptr);
  if (replace || !ResourceExisted) {
    std::string source;
    try {
      source = Patcher->GetSourceFileName(FileName);
    } catch (const EAbort&) {
      Log(FormatMsg("Unable to locate file \"%s\" to rename to \"%s\" and install, skipping...",
                    {FileName, saveName}),
          kError);
      return false;
    }
    auto sourcePath = JoinInside(DataPath, source);
    if (!sourcePath) return false;
    Log(FormatMsg("Adding file \"%s\" to archive \"%s\"...", {saveName, PathText(archiveName)}), kInstall);
    // A mod file that is not there leaves no work copy, which is reported
    // below and skips the entry instead of ending the run.
    if (Files().IsFile(*sourcePath)) {
      if (DeferWorkCopy)
        WorkCopy = Files().ReadFile(*sourcePath);
      else
        Files().CopyFile(*sourcePath, *workCopy);
    }
  } else {
    Log(FormatMsg("File \"%s\" already exists in archive \"%s\", modifying existing file...",
                  {saveName, PathText(archiveName)}),
        kInstall);
    const int type = TERF_Resource::ExtensionToType(ExtensionOf(saveName));
    if (DeferWorkCopy) {
      Files().CheckWritable(*workCopy);
      WorkCopy = archive->ExtractResourceData(StripExtension(saveName), type);
    } else {
      archive->ExtractResource(StripExtension(saveName), type, Files().BeforeWrite(*workCopy));
      Files().WriteDone(*workCopy);
    }
  }
  WorkCopyPath = *workCopy;
  if (!WorkCopy && !Files().IsFile(*workCopy)) {
    Log(FormatMsg("Unable to make work copy of file \"%s\". File not saved to ERF/RIM archive!",
                  {saveName}),
        kError);
    return false;
  }
  FileName = saveName;
  return true;
}

bool TPatchFileHandler::LocateScript(std::string_view name, std::string_view destination,
                                     bool replace) {
  FileName = std::string(name);
  FilePath = DataPath;
  const bool toOverride = EqualsNoCase(destination, "override");
  if (!toOverride) {
    auto destPath = JoinInside(GameFolder, destination);
    if (!destPath) return false;
    DestinationPath = *destPath;
    if (!Files().IsFile(DestinationPath)) {
      Log(FormatMsg("Unable to locate archive \"%s\" to insert script \"%s\" into, skipping...",
                    {PathText(DestinationPath), FileName}),
          kError);
      return false;
    }
    try {
      TERFHandler archive(Files().HostPath(DestinationPath));
      if (!archive.IsOpen()) {
        Log(FormatMsg("Unable to load archive \"%s\" to insert script \"%s\" into, skipping...",
                      {PathText(DestinationPath), FileName}),
            kError);
        return false;
      }
    } catch (const Exception& e) {
      Log(FormatMsg("Unable to load archive \"%s\" to insert script \"%s\" into, skipping... (%s)",
                    {PathText(DestinationPath), FileName, e.what()}),
          kError);
      return false;
    }
  }
  // The source is read and rewritten in place: a link that leads out of the
  // data folder is refused here, before anything touches it.
  if (!JoinInside(DataPath, name)) return false;
  const TQK_Inifile& ini = Patcher->IniFile();
  std::string source = ini.SectionExists(name) ? ini.ReadString(name, "!SourceFile", "") : "";
  if (!source.empty()) {
    auto sourcePath = JoinInside(DataPath, source);
    if (!sourcePath) return false;
    if (!Files().IsFile(*sourcePath)) {
      Log(FormatMsg("Unable to locate file \"%s\" to rename to \"%s\" and install, skipping...",
                    {source, name}),
          kError);
      return false;
    }
    FileName = source;
  }
  const std::string compiledName = LastComponent(StripExtension(name)) + ".ncs";
  const std::string overrideFolder = OverrideFolder();
  if (replace) {
    if (toOverride) {
      std::string compiled = Files().Child(overrideFolder, compiledName).string();
      if (Files().IsFile(compiled) && BackupFiles && SaveBackup(compiled, compiledName))
        Log(FormatMsg("Making backup copy of script file \"%s\" found in override...", {name}),
            kInstall);
    }
    return true;
  }
  if (toOverride) {
    auto existing = JoinInside(overrideFolder, name);
    if (!existing) return false;
    if (Files().IsFile(*existing)) {
      Log(FormatMsg("Script file \"%s\" already exists in override! Skipping...", {name}), kWarning);
      return false;
    }
  }
  return true;
}

std::optional<std::string> TPatchFileHandler::SourceNameOrLog(std::string_view name) {
  try {
    return Patcher->GetSourceFileName(name);
  } catch (const EAbort& e) {
    Log(e.what(), kError);
    return std::nullopt;
  }
}

bool TPatchFileHandler::LocateReplacing(std::string_view name) {
  auto sourceName = SourceNameOrLog(name);
  if (!sourceName) return false;
  const std::string source = std::move(*sourceName);
  std::string saveName = Patcher->GetSaveAsName(name);
  auto sourcePath = JoinInside(DataPath, source);
  if (!sourcePath) return false;
  if (!Files().IsFile(*sourcePath)) {
    Log(FormatMsg("Unable to locate file \"%s\" to install, skipping...", {name}), kError);
    return false;
  }
  FileName = std::string(name);
  FilePath = OverrideFolder();
  auto target = JoinInside(FilePath, saveName);
  if (!target) return false;
  if (Files().IsFile(*target)) {
    // The copy in override is about to be replaced: keep the first one seen.
    BackupAllowed = true;
    BackupFile();
    // Replaced by the copy below in one rename, which keeps the file's mode.
    Log(FormatMsg("Updating and replacing file %s in Override folder...", {saveName}), kInstall);
  } else {
    Log(FormatMsg("Updating and copying file %s to Override folder...", {saveName}), kInstall);
  }
  Files().CopyFile(*sourcePath, *target);
  FileName = saveName;
  BackupAllowed = false;
  return true;
}

bool TPatchFileHandler::LocateModFile(std::string_view name) {
  FileName = std::string(name);
  FilePath = OverrideFolder();
  auto sourceName = SourceNameOrLog(FileName);
  if (!sourceName) return false;
  const std::string source = std::move(*sourceName);
  std::string saveName = Patcher->GetSaveAsName(FileName);
  auto target = JoinInside(FilePath, saveName);
  if (!target) return false;
  auto sourcePath = JoinInside(DataPath, source);
  if (!sourcePath) return false;
  if (Files().Exists(*target)) {
    Log(FormatMsg("A file named \"%s\" already exists in the Override folder. Skipping...",
                  {saveName}),
        kWarning);
    return false;
  }
  if (!Files().IsFile(*sourcePath)) {
    Log(FormatMsg("Unable to locate file \"%s\" to install as \"%s\", skipping...", {name, name}),
        kError);
    return false;
  }
  Files().CopyFile(*sourcePath, *target);
  BackupAllowed = false;
  FileName = saveName;
  Log(FormatMsg("Copying file %s to Override folder...", {saveName}), kInstall);
  return true;
}

bool TPatchFileHandler::LocateInOverride(std::string_view name) {
  auto sourceName = SourceNameOrLog(name);
  if (!sourceName) return false;
  const std::string source = std::move(*sourceName);
  std::string saveName = Patcher->GetSaveAsName(name);
  FileName = saveName;
  FilePath = OverrideFolder();
  auto target = JoinInside(FilePath, saveName);
  if (!target) return false;
  auto sourcePath = JoinInside(DataPath, source);
  if (!sourcePath) return false;
  if (Files().IsFile(*target)) {
    Log(FormatMsg("Modifying file \"%s\" found in Override folder...", {saveName}), kInstall);
    return true;
  }
  if (Files().IsFile(*sourcePath)) {
    Files().CopyFile(*sourcePath, *target);
    BackupAllowed = false;
    if (source != saveName)
      Log(FormatMsg("Copying file \"%s\" as \"%s\" to Override folder...", {source, saveName}),
          kInstall);
    else
      Log(FormatMsg("Copying file %s to Override folder...", {saveName}), kInstall);
    return true;
  }
  Log("No file blueprint found in veypatchdata folder, fallback to manual source...", kDebug);
  const std::string title = OpenDialog.Title;
  OpenDialog.Title =
      FormatMsg("File not found! Please locate the \"%s\" (\"%s\") file.", {saveName, source});
  const bool chosen = OpenDialog.Execute();
  OpenDialog.Title = title;
  if (!chosen)
    throw EAbort(FormatMsg("Critical error: Unable to locate file to patch, \"%s\" file not found!",
                           {saveName}),
                 9);
  const std::string chosenPath = OpenDialog.FileName;
  Files().CopyFile(chosenPath, *target);
  Log(FormatMsg("Copying file \"%s\" as \"%s\" to Override folder...",
                {PathText(LastComponent(chosenPath)), saveName}),
      kInstall);
  return true;
}

std::string TPatchFileHandler::GetFilePath() const {
  if (FilePath.empty()) throw EAbort("Error! No install path has been set!", 3);
  if (FileName.empty()) throw EAbort("Error! No file to install is specified!", 4);
  if (WorkCopy) return WorkCopyPath;
  std::string path = FilePath + FileName;
  if (platform::GameFileSystem::IsContained(FileName)) {
    std::string resolved = Files().Resolve(FilePath, FileName).string();
    if (Files().IsFile(resolved)) return resolved;
  }
  throw EAbort(FormatMsg("Error! File \"%s\" set to be patched does not exist!", {PathText(path)}), 5);
}

bool TPatchFileHandler::BackupFile() {
  if (!BackupFiles || !BackupAllowed) return false;
  const std::string name = Patcher->GetSaveAsName(FileName);
  if (name.empty() || !platform::GameFileSystem::IsContained(name)) return false;
  std::string original = Files().Resolve(FilePath, name).string();
  if (!Files().IsFile(original)) return false;
  return SaveBackup(original, LastComponent(name));
}

bool TPatchFileHandler::BackupDestination() {
  if (!BackupFiles || EqualsNoCase(DestinationPath, "override") ||
      !Files().IsFile(DestinationPath))
    return false;
  return SaveBackup(DestinationPath, LastComponent(DestinationPath));
}

// The backup folder is flat: the first file of a name is kept there and never
// replaced, also by later runs. A different file of the same name met later in
// the run goes below a sub-folder that mirrors its place in the game folder,
// so that two originals never share one backup.
bool TPatchFileHandler::SaveBackup(const std::string& original, const std::string& name) {
  EnsureBackupRoot();
  const std::string backupFolder = BackupFolder();
  Files().CreateDirectories(backupFolder);
  const std::string origin =
      std::filesystem::absolute(original).lexically_normal().string();
  const std::string flat = Files().Child(backupFolder, name).string();
  auto owner = flatBackupOf_.find(AsciiLowerCopy(name));
  const bool flatTaken = Files().Exists(flat);
  // A flat backup left by an earlier run is taken to be of this file, as it
  // always has been: nothing tells otherwise.
  if (!flatTaken || owner == flatBackupOf_.end() || owner->second == origin) {
    if (flatTaken) return false;
    Files().CopyFile(original, flat);
    flatBackupOf_[AsciiLowerCopy(name)] = origin;
    return true;
  }
  std::string relative = origin;
  if (!GameFolder.empty()) {
    const std::string game = std::filesystem::path(GameFolder).lexically_normal().string();
    if (origin.compare(0, game.size(), game) == 0) relative = origin.substr(game.size());
  }
  while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  const std::string mirrored = Files().Resolve(backupFolder, relative).string();
  if (Files().Exists(mirrored)) return false;
  Files().CreateDirectories(std::filesystem::path(mirrored).parent_path());
  Files().CopyFile(original, mirrored);
  Log(FormatMsg("The backup folder already holds another file named %s; the unaltered %s is kept "
                "as %s.",
                {name, relative, mirrored}),
      kInstall);
  return true;
}

}  // namespace vey
