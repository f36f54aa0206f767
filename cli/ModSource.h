// ModSource: a mod given as an archive, unpacked into the cache and replaced
// by the folder of its copy that holds "veypatchdata".
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/CliCommon.h"

namespace vey::cli {

// When options.modDir names an archive: unpacks it (or reuses its copy),
// points modDir at the mod's folder in the copy, keeps the archive's name in
// options.archive and says on standard error where the copy is (the backup
// folder and the saved log go there). Several mods and no --in: UsageError
// listing them; a refused, damaged or unreadable archive: ModSourceError;
// an unpack stopped by a signal: ModSourceError with exit 3, nothing kept.
void OpenModArchive(ModOptions& options, int failureExit);

// The same for the mod list: the archive's unpacked copy and the folder in it.
struct UnpackedMod {
  std::string sha256;
  std::filesystem::path copy;    // the cache folder of the whole archive
  std::filesystem::path folder;  // the mod's folder in it
  bool reused = false;
};
// Why a mod just unpacked from an archive is refused for shipping files
// under the names the installer keeps for its own (the unpacked copy is then
// removed, so that it is refused again next time), or nothing.
std::optional<std::string> ShipsInstallerFiles(const std::filesystem::path& modFolder,
                                               const std::filesystem::path& copy);

// Raises platform::EModArchive and EFOpenError.
UnpackedMod UnpackMod(const std::filesystem::path& archive, const std::optional<std::string>& in,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace vey::cli
