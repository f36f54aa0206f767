// ModFolder: from the --mod, --ini, --info and --namespace options to the data
// folder and the instruction and information file names, as the desktop
// program settles them at start-up.
#pragma once

#include <filesystem>
#include <string>

#include "cli/CliCommon.h"
#include "platform/GameFileSystem.h"
#include "platform/Headless.h"

namespace vey::cli {

struct ModSelection {
  std::filesystem::path modFolder;  // the installer's folder
  std::filesystem::path dataPath;   // with a trailing separator
  std::string iniName;
  std::string infoName;
  std::string namespaceId;  // empty without "namespaces.ini"
  std::filesystem::path IniPath() const;
  std::filesystem::path InfoPath() const;
};

// The installer's folder that --mod names: the folder given, or its parent
// when the folder given is "veypatchdata" itself (in any letter case).
std::filesystem::path InstallerFolder(const std::string& modDir, const platform::GameFileSystem& fs);

// Throws UsageError for an --ini not ending in ".ini" or an --info not ending
// in ".rtf", for a --namespace that "namespaces.ini" does not list, and when
// the file lists installation types but none was chosen (its details then
// list them, one per line). Given a console on a terminal, a missing
// --namespace is asked for there instead.
ModSelection SelectMod(const ModOptions& options, const platform::GameFileSystem& fs,
                       const platform::Console* ask = nullptr);

// A file name of an instruction file resolved in the data folder (letter case
// as on disk; backslashes as folder separators).
std::filesystem::path InDataFolder(const std::filesystem::path& dataPath, const std::string& name);

}  // namespace vey::cli
