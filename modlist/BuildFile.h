// BuildFile: a community build published for a multi-mod installer of
// another system, read as it is. Each mod is a sequence of steps over the
// player's downloads (extract, move, run the mod's own installer, delete,
// choose between options). Keys we do not act on are kept as information or
// ignored, so that a build file written for a newer version still reads; the
// keys we act on are checked, and a wrong one names its line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/VeyException.h"

namespace vey::modlist {

// The build file cannot be used; the message names the file and line.
VEY_DECLARE_FAILURE(EBuildFileError);

// Larger than any published build by two orders: a bigger file is refused
// before it is parsed.
inline constexpr std::uintmax_t kMaxBuildFileBytes = 16u << 20;

enum class StepAction { Extract, Move, Copy, Rename, Delete, DelDuplicate, Patcher, Choose, Other };

struct BuildStep {
  std::string guid;
  std::string actionText;  // as written, for messages
  StepAction action = StepAction::Other;
  std::vector<std::string> sources;  // paths with placeholders and wildcards, or option GUIDs for Choose
  std::string destination;
  std::string arguments;
  bool overwrite = true;
  // GUIDs of mods or options: the step runs only when every dependency is
  // chosen and no restriction is.
  std::vector<std::string> dependencies, restrictions;
  int line = 0;
};

struct BuildOption {
  std::string guid, name, description;
  bool selected = false;
  std::vector<std::string> restrictions;  // options that exclude this one
  std::vector<BuildStep> steps;
  int line = 0;
};

struct BuildMod {
  std::string guid, name, author, description;
  std::string directions, installationMethod;  // text for a person
  std::string category, tier;
  bool selected = false;
  std::vector<std::string> language;
  std::vector<std::string> downloadPages;  // the keys of ModLinkFilenames, in file order
  std::vector<std::string> dependencies;   // mod GUIDs that must also be chosen
  std::vector<std::string> installAfter, installBefore;
  std::string compatibilityWarning, knownBugs;
  std::vector<BuildStep> steps;
  std::vector<BuildOption> options;
  int line = 0;

  // No steps: a person does it by hand, following the directions.
  bool ByHand() const { return steps.empty(); }
  const BuildOption* Option(std::string_view guidOrName) const;
};

struct BuildFile {
  std::filesystem::path file;
  std::string formatVersion;
  std::string preamble;
  std::vector<BuildMod> mods;  // in install order

  const BuildMod* Mod(std::string_view guidOrName) const;
};

// GUIDs and names compare without regard to letter case (ASCII), as the
// build files write them in either.
bool SameName(std::string_view a, std::string_view b);
std::string FoldCase(std::string_view text);

// True when the text is a build file rather than one of our own lists: it
// holds a [[thisMod]] table.
bool LooksLikeBuildFile(std::string_view text);

// Raises EBuildFileError "FILE:LINE: why" for a TOML error, a version that is
// not 2.x, a mod without a name, a step or option key of the wrong kind, a
// file too large to be a build, or two mods of one GUID.
BuildFile LoadBuildFile(const std::filesystem::path& file);
BuildFile ParseBuildFile(std::string_view text, const std::filesystem::path& file);

}  // namespace vey::modlist
