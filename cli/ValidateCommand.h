// ValidateCommand: `veypatcher-cli validate`, the check of a mod's
// instruction files without a game folder.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterValidateCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
