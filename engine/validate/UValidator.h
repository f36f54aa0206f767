// UValidator: checks a mod's instruction file (and its "namespaces.ini")
// without a game folder: sections the lists name, keys in the wrong letter
// case or unknown to their section, files missing from the data folder,
// tokens used before anything can define them, self-containing AddField
// sections, paths that would leave their folder, and field paths that the
// mod's own documents do not hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/GameFileSystem.h"

namespace vey {

enum class TSeverity { Error, Warning };

// One thing found. Texts are Windows-1252, as the instruction file is.
struct TFinding {
  TSeverity severity = TSeverity::Error;
  std::string file;     // the file the line belongs to, as the mod names it
  std::string section;  // empty for the file as a whole
  std::string key;      // empty for a whole section
  std::int32_t line = 0;  // from 1; 0 when no single line is meant
  std::string message;
};

struct TValidateInput {
  // The folder holding the instruction file and the mod's files (an
  // installation type's sub-folder, when one is chosen), with or without a
  // trailing separator.
  std::filesystem::path dataPath;
  // Where the script compiler must lie: the mod's "veypatchdata" folder.
  std::filesystem::path compilerFolder;
  std::string iniName;  // Windows-1252, as the mod names it
  // The person gives a compiler of their own: the mod needs none.
  bool ownCompiler = false;
};

// Findings in the order of their lines (whole-file findings first).
std::vector<TFinding> ValidateInstructions(const platform::GameFileSystem& fs, const TValidateInput& input);

// The installation types of "namespaces.ini" in baseDataPath: sections,
// sub-folders and files each type names. Empty when there is no such file.
std::vector<TFinding> ValidateNamespaces(const platform::GameFileSystem& fs,
                                         const std::filesystem::path& baseDataPath);

}  // namespace vey
