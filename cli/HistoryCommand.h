// HistoryCommand: `veypatcher-cli history` lists the runs recorded in a game
// folder; `veypatcher-cli uninstall` undoes one.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterHistoryCommands(CLI::App& app, int& exitCode);

}  // namespace vey::cli
