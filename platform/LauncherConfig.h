// LauncherConfig: the few values the game finder reads from the files game
// launchers keep: Steam's library list (its own key-value text), Lutris game
// files (YAML) and Heroic settings (JSON). Each reader takes what it needs
// and skips anything it does not understand; none of these files is ever
// written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vey::platform {

// The library folders of a Steam "libraryfolders.vdf".
std::vector<std::string> VdfLibraryFolders(std::string_view vdf);

// The values of the keys "prefix" and "exe" in the "game" block of a Lutris
// game file, in file order.
struct LutrisGame {
  std::string prefix;
  std::string exe;
};
LutrisGame LutrisGameFile(std::string_view yaml);

// Every string value of a member named key, at any depth of a JSON text,
// escapes undone.
std::vector<std::string> JsonStringValues(std::string_view json, std::string_view key);

}  // namespace vey::platform
