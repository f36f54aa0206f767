// ReplayCommand: `veypatcher-cli uninstall --run ID --replay`, which takes one
// run out of the middle of the history and installs the later ones again.
#pragma once

#include <string>

namespace vey::cli {

// Exit status: 0 done; 1 refused before any change (names why); 2 some files
// could not be put back; 3 a reinstall failed and everything was put back;
// 4 no such run; 5 the game folder is locked.
int UninstallWithReplay(const std::string& gameFolder, const std::string& id);

}  // namespace vey::cli
