// ModListPrepare: every entry of a mod list made ready to install, and the
// findings of the check: sources and their digests, archive contents, the
// installation type, the order of requirements, conflicting entries and the
// validation of each instruction file. Nothing in the game changes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ModFolder.h"
#include "cli/ModListFile.h"

namespace vey::cli {

struct ListFinding {
  bool error = true;  // else a warning
  std::string message;  // UTF-8
};

struct PreparedMod {
  const ModListEntry* entry = nullptr;
  std::vector<ListFinding> findings;
  bool ready = false;          // no error: it can be run
  std::filesystem::path root;  // the archive's unpacked copy, or the source folder
  std::string sourceSha256;    // of the archive, or of the source folder's files
  bool archive = false;
  // An installer mod: its folder and files as `install` settles them.
  ModSelection mod;
  std::string instructionSha256;
  bool installerMode = true;
  // A copy mod: the folder whose content is copied.
  std::filesystem::path copyFrom;

  int Errors() const;
  int Warnings() const;
};

// The digest of a folder's files (names and contents, in name order), which
// stands for a source folder as an archive's digest stands for the archive.
// For an installer mod, what an installation leaves in the mod's folder (its
// logs, backups and work folders) is left out, so that installing does not
// make the source look changed.
std::string FolderSha256(const std::filesystem::path& folder, bool installerMod);

// Prepares every entry, two at a time (unpacking is most of the work), and
// adds the findings that concern the list as a whole.
std::vector<PreparedMod> PrepareList(const ModList& list);

}  // namespace vey::cli
