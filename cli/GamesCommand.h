// GamesCommand: `veypatcher-cli games`, the game folders found on this machine.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterGamesCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
