// BuildPlan: the check of a build against the player's downloads. It
// changes nothing in the game or the downloads (archives are unpacked into
// the cache, as a list's are) and says for each mod whether it can be
// installed unattended, and if not, what the player must do. What it finds
// for a mod that can be installed is the sequence of operations its install
// carries out: the mod's side resolved to files on disk, the game's side kept
// as patterns, since earlier operations of the same mod change what they
// match.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "modlist/BuildChoices.h"
#include "modlist/BuildFile.h"
#include "modlist/BuildPaths.h"
#include "modlist/ModTree.h"

namespace vey::modlist {

// In the order of precedence: the first that applies is the mod's state.
enum class ModState {
  NotChosen,
  Refused,            // a step aimed outside its folders, at a link or at the journal
  CannotDo,           // a step that runs a program or is unknown
  MissingDownload,    // an Extract matched nothing
  MissingDependency,  // a mod it needs is not chosen or not in the build
  NeedsChoice,        // a Choose with no option chosen, or two that exclude each other
  ByHand,             // no steps: a person follows the directions
  Ready,              // possibly with warnings
};
std::string_view StateWord(ModState state);

struct PlannedOp {
  enum class Kind { Copy, Delete, Rename, DelDuplicate, Patcher };
  Kind kind = Kind::Copy;
  std::string step;  // "step 3 (Move)", for messages
  // Copy: a file or a folder (with everything in it) of the mod's side, or
  // a pattern of the game's side; Delete, Rename: a pattern of the game.
  std::vector<TreeItem> items;
  std::optional<BuildPath> gamePattern;
  BuildPath destination;  // Copy, DelDuplicate: the game folder
  std::string newName;    // Rename
  std::string extension;  // DelDuplicate: ".tpc"
  bool overwrite = true;
  bool move = false;  // Copy: a game file moved is removed from where it was
  // Patcher: the folder holding "veypatchdata", and the installation type
  // as written (a position, an instruction file's name, or empty).
  std::filesystem::path modFolder;
  std::string installationType;
};

struct ModPlan {
  const BuildMod* mod = nullptr;
  ModState state = ModState::Ready;
  std::vector<std::string> errors, warnings;
  std::vector<PlannedOp> ops;
  std::vector<std::filesystem::path> downloads;  // the archives and files it was made from
};

struct PlanSetting {
  std::filesystem::path downloads;
  // Unpacks an archive (into the cache) and gives its folder; raises on a
  // refused or damaged archive.
  std::function<std::filesystem::path(const std::filesystem::path&)> unpack;
  std::function<bool(const std::filesystem::path&)> isArchive;
};

struct BuildPlan {
  std::vector<ModPlan> mods;      // one per mod of the build, in its order
  std::vector<std::string> choiceProblems;
  // 0 ready; 1 warnings only; 2 anything that stops the install.
  int ExitStatus() const;
};

BuildPlan PlanBuild(const BuildFile& build, const Selection& selection, const PlanSetting& setting);

}  // namespace vey::modlist
