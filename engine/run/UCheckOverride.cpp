// UCheckOverride: the check for a loose file in override that would hide a
// resource just put into an archive: ignore it, warn, or rename it away.
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {

void TVEYPatcher::CheckOverride(std::string_view fileName, std::string_view section,
                                std::string_view defaultDestination, bool destinationKnown) {
  if (!destinationKnown) {
    const std::string destination =
        IniFile().ReadString(section, "!Destination", defaultDestination);
    if (EqualsNoCase(destination, "override")) return;
  }
  const std::string type = AsciiLowerCopy(IniFile().ReadString(section, "!OverrideType", "ignore"));

  // Patcher mode never asks for the game folder; without one there is no
  // override folder to look in.
  const std::string game =
      FileHandler.InstallerMode ? FileHandler.GetGameFolder() : FileHandler.GameFolder;
  const std::string overrideFolder =
      game.empty() ? std::string() : FolderText(Files().Child(game, "override"));
  std::string found;
  // A name that would leave the override folder names nothing in it.
  if (!fileName.empty() && !overrideFolder.empty() &&
      platform::GameFileSystem::IsContained(fileName) && Files().IsDirectory(overrideFolder)) {
    std::string candidate = Files().Resolve(overrideFolder, fileName).string();
    if (Files().IsFile(candidate)) found = std::move(candidate);
  }
  if (found.empty()) {
    LogMessage(
        FormatMsg("Override check: No file with name \"%s\" found in override folder.", {fileName}),
        LogKind::Debug);
    return;
  }
  if (type == "warn") {
    LogMessage(FormatMsg("A file named %s already exists in the override folder! This may cause "
                         "incompatibility with the one used by this mod!",
                         {fileName}),
               LogKind::Warning);
    return;
  }
  if (type != "rename") {
    // Worded as a warning but only informative: the person asked to ignore it.
    LogMessage(FormatMsg("Warning: A file named %s already exists in the override folder. It will "
                         "override the one in the ERF/RIM archive in-game.",
                         {fileName}),
               LogKind::Debug);
    return;
  }
  const std::string newName = "old_" + LastComponent(fileName);
  const auto folder = platform::GameFileSystem::Path(found).parent_path();
  bool renamed = false;
  // A name taken in any letter case counts as taken, as it would on the
  // game's own file system.
  if (!Files().Exists(Files().Child(folder, newName))) {
    try {
      Files().Rename(found, folder / newName);
      renamed = true;
    } catch (const Exception&) {
    }
  }
  if (renamed)
    LogMessage(
        FormatMsg("A file named %s already existed in the override folder! This existing file "
                  "has been renamed to %s to allow the one in this Mod to be used!",
                  {fileName, newName}),
        LogKind::Install);
  else
    LogMessage(
        FormatMsg("A file named %s already exists in the override folder! Renaming existing file "
                  "to %s failed! The file might be write-protected or a file with the new name "
                  "already exist.",
                  {fileName, newName}),
        LogKind::Warning);
}

}  // namespace vey
