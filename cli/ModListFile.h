// ModListFile: the mod list, a TOML file naming mods (folders or archives) to
// install in order, read strictly: an unknown key or a wrong type is an
// error naming its line, so that a typo never passes silently.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/VeyException.h"

namespace vey::cli {

// The list cannot be used; the message names the file and line.
VEY_DECLARE_FAILURE(EModListError);

struct ModListCopy {
  std::string from;  // a folder of the archive (or source folder); "" or "." for its root
  std::string to;    // a folder of the game, relative to it
};

struct ModListEntry {
  std::string name;
  std::string sourceText;          // as written
  std::filesystem::path source;    // relative to the list's folder resolved
  std::optional<std::string> sha256;  // lower case
  std::optional<std::string> type;    // installation type, identifier or caption (UTF-8)
  std::optional<std::string> in;      // the mod's folder in an archive holding several
  std::optional<ModListCopy> copy;    // set for loose files copied as they are
  std::vector<std::string> required, conflicts;  // the keys "requires" and "conflicts"
  // Kept for people and mod managers; never acted upon.
  std::optional<std::string> url, version, notes;
  int line = 0;  // of its [[mod]] header

  bool IsCopy() const { return copy.has_value(); }
};

struct ModList {
  std::filesystem::path file;
  std::string name;
  std::vector<ModListEntry> mods;
};

// Raises EModListError "FILE:LINE: why" for a syntax error, an unknown key,
// a value of the wrong type, a missing name or source, two entries of one
// name, an entry that is both a copy and an installer mod (type), a sha256
// that is no SHA-256, or copy folders that would leave their root. Every
// such error of the file is in the message, one per line; a syntax error
// stops the reading where it is.
ModList LoadModList(const std::filesystem::path& file);

}  // namespace vey::cli
