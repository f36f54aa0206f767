// ResetCommand: `veypatcher-cli reset` undoes every recorded installation,
// putting the game back as it was before the first.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterResetCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
