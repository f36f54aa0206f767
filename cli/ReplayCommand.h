// ReplayCommand: `veypatcher-cli uninstall --run ID --replay`, which takes one
// run out of the middle of the history and installs the later ones again.
#pragma once

#include <string>
#include <vector>

#include "engine/support/UCompilerLauncher.h"

namespace vey::cli {

// What the person gives for the reinstalls. A later run's record that asks
// for a compiler, no sandbox or a backup folder is refused unless the same
// is given here.
struct ReplayOptions {
  std::string compiler;  // --compiler
  bool noSandbox = false;
  std::string backupDir;
  std::vector<std::string> picks;  // --pick NAME=PATH
  int compileTimeout = TCompilerSettings::kDefaultCompileTimeout;
};

// Exit status: 0 done; 1 refused before any change (names why); 2 some files
// could not be put back; 3 a reinstall failed and everything was put back;
// 4 no such run; 5 the game folder is locked.
int UninstallWithReplay(const std::string& gameFolder, const std::string& id, const ReplayOptions& given = {});

}  // namespace vey::cli
