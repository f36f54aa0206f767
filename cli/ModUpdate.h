// ModUpdate: a new version of an installed mod put in the old one's place.
// The old run is taken out with the runs after it, the new version is
// installed, and the later runs are installed again in their order, so that
// the game is the build it was with only that mod changed. Any failure puts
// the game and its history back as they were.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <string>

namespace vey::cli {

// Installs the new version of a mod with the game folder's lock held; the
// exit status of `install` (0, 1, 2: installed; anything else: not).
using InstallNew = std::function<int()>;

// Exit status: 0 done; 1 refused before any change (said why); 2 some files
// could not be put back; 3 an install failed and everything was put back;
// 5 the game folder is locked; 6 its journal cannot be used.
// replacements: for each old run to take out, the install of its new
// version, made in the old run's place.
int UpdateInPlace(const std::string& gameFolder, const std::map<std::string, InstallNew>& replacements,
                  std::ostream& out);

}  // namespace vey::cli
