// UInstallList: the InstallList, which copies the mod's files unchanged into
// game folders or adds them to the game's ERF/RIM archives.
#include <optional>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "engine/support/URunReport.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/UERFHandler.h"

namespace vey {
namespace {

using Path = platform::GameFileSystem::Path;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A "." followed by at least one character in the last component: the
// destination names a file rather than a folder.
bool HasFileExtension(std::string_view destination) {
  std::size_t cut = destination.find_last_of("/\\");
  std::string_view last = cut == std::string_view::npos ? destination : destination.substr(cut + 1);
  std::size_t dot = last.rfind('.');
  return dot != std::string_view::npos && dot + 1 < last.size();
}

std::string DestinationLabel(std::string_view destination) {
  if (destination.size() == 2 && destination[0] == '.' && IsSeparator(destination[1]))
    return "Game";
  return std::string(destination);
}

// The game files an installer must never replace wholesale, by extension.
std::optional<std::string_view> ProtectedFileMessage(std::string_view targetName) {
  if (EndsWithNoCase(targetName, ".exe"))
    return "Skipping file %s, this Installer will not overwrite EXE files!";
  if (EndsWithNoCase(targetName, ".tlk"))
    return "Skipping file %s, this Installer will not overwrite dialog.tlk directly.";
  if (EndsWithNoCase(targetName, ".key"))
    return "Skipping file %s, this Installer will not overwrite the chitin.key file.";
  if (EndsWithNoCase(targetName, ".bif"))
    return "Skipping file %s, this Installer will not overwrite BIF data files.";
  return std::nullopt;
}

class InstallSection {
 public:
  InstallSection(TVEYPatcher& patcher, std::string key, std::string label)
      : p_(patcher), key_(std::move(key)), label_(std::move(label)) {}

  void IntoFolder(const std::string& folder);
  void IntoArchive(const std::string& archivePath);

 private:
  struct Entry {
    std::string value, source, target, sourcePath;
  };
  // Calls install for each file of the section whose names and source
  // passed the checks; the others have been logged.
  template <typename Install>
  void ForEachFile(Install install);
  void Log(std::string_view pattern, std::initializer_list<std::string_view> values, LogKind kind) {
    p_.LogMessage(FormatMsg(pattern, values), kind);
  }

  TVEYPatcher& p_;
  std::string key_, label_;
};

template <typename Install>
void InstallSection::ForEachFile(Install install) {
  TQK_Inifile& ini = p_.IniFile();
  for (const std::string& key : ini.ReadSection(key_)) {
    if (EqualsNoCase(key, "!OverrideType")) continue;
    Entry e;
    e.value = ini.ReadString(key_, key, "");
    try {
      e.source = p_.GetSourceFileName(e.value);
    } catch (const EAbort& failure) {
      p_.LogMessage(failure.what(), LogKind::Error);
      continue;
    }
    e.target = p_.GetSaveAsName(e.value);
    // Names from the instruction file stay inside the data folder and the
    // destination; anything else could read or replace files of the system.
    const std::string* escaping = nullptr;
    for (const std::string* name : {&e.source, &e.target})
      if (!escaping && !platform::GameFileSystem::IsContained(*name)) escaping = name;
    if (escaping) {
      Log(HasControlCharacter(*escaping)
              ? "Refusing to install \"%s\": the name \"%s\" holds a control character. Skipping..."
              : "Refusing to install \"%s\": the name \"%s\" leads outside its folder. Skipping...",
          {e.value, *escaping}, LogKind::Error);
      continue;
    }
    if (!e.target.empty() && !e.source.empty()) {
      try {
        e.sourcePath = p_.Files().Resolve(p_.DataPath(), e.source).string();
      } catch (const EPathError& failure) {
        Log("%s Skipping \"%s\"...", {failure.what(), e.value}, LogKind::Error);
        continue;
      }
    }
    if (e.sourcePath.empty() || !p_.Files().IsFile(e.sourcePath)) {
      Log("Unable to copy file \"%s\", file does not exist!", {e.target}, LogKind::Warning);
      continue;
    }
    install(e, StartsWithNoCase(key, "replace"));
  }
}

void InstallSection::IntoArchive(const std::string& archivePath) {
  TPatchFileHandler& handler = p_.FileHandler;
  handler.DestinationPath = archivePath;
  if (handler.BackupDestination())
    Log("Saving unaltered backup copy of destination file %s in %s.",
        {PathText(LastComponent(archivePath)), PathText(handler.BackupFolder())}, LogKind::Install);
  TERFHandler archive(p_.Files().HostPath(archivePath));
  int added = 0;
  ForEachFile([&](const Entry& e, bool replace) {
    const bool present = archive.HasResource(e.target, true);
    if (present && !replace) {
      Log("A file named %s already exists in the %s archive. Skipping file...", {e.target, label_},
          LogKind::Warning);
    } else {
      try {
        archive.AddResource(p_.Files().HostPath(e.sourcePath), replace, e.target);
      } catch (const EERFError& failure) {
        Log("%s Skipping...", {failure.what()}, LogKind::Error);
        return;
      }
      ++added;
      if (p_.Report) {
        p_.Report->ResourceStored(archivePath, e.target, present);
        p_.Report->ResourceInstalled(archivePath, e.target);
      }
      p_.AdvanceProgress(1);
      if (e.source != e.target)
        Log(present ? "Renaming and replacing file \"%s\" to \"%s\" in the %s archive..."
                    : "Renaming and adding file \"%s\" to \"%s\" in the %s archive...",
            {e.source, e.target, label_}, LogKind::Install);
      else
        Log(present ? "Replacing file %s in the %s archive..."
                    : "Adding file %s to the %s archive...",
            {e.target, label_}, LogKind::Install);
    }
    p_.CheckOverride(e.target, e.value, "override", true);
  });
  if (added > 0) {
    archive.SaveToFile(p_.Files().BeforeWrite(archivePath));
    p_.Files().WriteDone(archivePath);
  }
}

void InstallSection::IntoFolder(const std::string& folder) {
  platform::GameFileSystem& files = p_.Files();
  ForEachFile([&](const Entry& e, bool replace) {
    std::string targetPath;
    try {
      targetPath = files.Resolve(folder, e.target).string();
    } catch (const EPathError& refused) {
      Log("%s Skipping \"%s\"...", {refused.what(), e.value}, LogKind::Error);
      return;
    }
    const bool present = files.Exists(targetPath);
    if (present && !replace) {
      Log("A file named %s already exists in the %s folder. Skipping file...", {e.target, label_},
          LogKind::Warning);
      return;
    }
    if (present) {
      if (auto refusal = ProtectedFileMessage(e.target)) {
        Log(*refusal, {e.target}, LogKind::Warning);
        return;
      }
      // The unaltered game file goes to the backup folder once: a second
      // installation must not replace it with the first one's copy.
      p_.FileHandler.DestinationPath = targetPath;
      p_.FileHandler.BackupDestination();
    }
    // The copy replaces the old file in one rename, so no moment passes
    // without one.
    files.CopyFile(e.sourcePath, targetPath);
    if (p_.Report) p_.Report->FileInstalled(targetPath);
    p_.AdvanceProgress(1);
    if (present) {
      if (e.source != e.target)
        Log("Renaming and replacing file \"%s\" to \"%s\" in the %s folder...",
            {e.source, e.target, label_}, LogKind::Install);
      else
        Log("Replacing file %s in the %s folder...", {e.target, label_}, LogKind::Install);
    } else {
      if (e.source != e.target)
        Log("Renaming and copying file \"%s\" to \"%s\" to the %s folder...",
            {e.source, e.target, label_}, LogKind::Install);
      else
        Log("Copying file %s to the %s folder...", {e.target, label_}, LogKind::Install);
    }
  });
}

}  // namespace

void TVEYPatcher::ProcessInstallList() {
  if (!IniFile().SectionExists("InstallList") ||
      !IniFile().ReadBool("Settings", "InstallerMode", false))
    return;
  const std::string game = FileHandler.GetGameFolder();
  const std::vector<std::string> keys = IniFile().ReadSection("InstallList");
  if (keys.empty()) return;
  LogMessage("Installing unmodified files...", LogKind::Install);

  for (const std::string& key : keys) {
    const std::string destination = IniFile().ReadString("InstallList", key, "");
    const std::string label = DestinationLabel(destination);
    // Refused before anything is looked up: such a destination could name a
    // folder outside the game ("..\", "../", absolute paths, drive letters).
    if (destination.empty() || !platform::GameFileSystem::IsContained(destination)) {
      LogMessage(FormatMsg("Invalid install location \"%s\" encountered! Skipping...", {label}),
                 LogKind::Error);
      continue;
    }
    Path destPath;
    try {
      destPath = Files().Resolve(game, destination);
    } catch (const EPathError& refused) {
      LogMessage(FormatMsg("%s Skipping section...", {refused.what()}), LogKind::Error);
      continue;
    }
    bool toArchive = false;
    if (Files().IsFile(destPath)) {
      if (!TERFHandler::IsArchiveFile(Files().HostPath(destPath))) {
        LogMessage(
            FormatMsg("Destination file \"%s\" does not appear to be a valid ERF or RIM archive! "
                      "Skipping section...",
                      {destination}),
            LogKind::Error);
        continue;
      }
      toArchive = true;
    } else if (!Files().IsDirectory(destPath) && HasFileExtension(destination)) {
      LogMessage(
          FormatMsg("Destination file \"%s\" does not exist at the specified location! Skipping "
                    "section...",
                    {destination}),
          LogKind::Error);
      continue;
    }

    const std::string folder = FolderText(destPath);
    if (!toArchive && !Files().IsDirectory(destPath)) {
      LogMessage(FormatMsg("Folder %s did not exist, creating it...", {PathText(folder)}), LogKind::Install);
      try {
        Files().CreateDirectories(destPath);
      } catch (const Exception&) {
        // Reported below by the check that decides.
      }
      if (!Files().IsDirectory(destPath)) {
        LogMessage(FormatMsg("Unable to create folder %s! Skipping folder...", {PathText(folder)}),
                   LogKind::Error);
        continue;
      }
    }
    if (!IniFile().SectionExists(key)) {
      LogMessage(FormatMsg("No install instructions (%s) found for folder %s.", {key, label}),
                 LogKind::Warning);
      continue;
    }
    InstallSection section(*this, key, label);
    if (toArchive)
      section.IntoArchive(destPath.string());
    else
      section.IntoFolder(folder);
  }
}

}  // namespace vey
