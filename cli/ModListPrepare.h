// ModListPrepare: every entry of a mod list made ready to install, and the
// findings of the check: sources and their digests, archive contents, the
// installation type, the order of requirements, conflicting entries and the
// validation of each instruction file. Nothing in the game changes.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/ModFolder.h"
#include "cli/ModListFile.h"
#include "engine/support/UModIdentity.h"

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
  // What tells this mod and version from others in the journal; known once
  // the source was read (versionKnown), even when a later check failed.
  TModVersion version;
  bool versionKnown = false;

  int Errors() const;
  int Warnings() const;
};

// The digest earlier versions took of a copy's source folder (names and
// contents, in name order), which still stands for it in their records.
std::string EarlierFolderSha256(const std::filesystem::path& folder);

// What the person gives for the whole list.
struct ListSettings {
  // Folders besides the list's own whose content may be a source.
  std::vector<std::filesystem::path> trustedSources;
  // The person's own script compiler, for every installer mod; empty: each
  // mod's own.
  std::string compiler;
  bool noSandbox = false;
  // Set by a signal: unpacking stops and removes what it unpacked.
  const std::atomic<bool>* cancel = nullptr;
};

// Prepares every entry, two at a time (unpacking is most of the work), and
// adds the findings that concern the list as a whole.
std::vector<PreparedMod> PrepareList(const ModList& list, const ListSettings& settings = {});

}  // namespace vey::cli
