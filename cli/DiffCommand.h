// DiffCommand: `veypatcher-cli diff A B`, two game files of one format
// compared by structure; exit 0 equal, 1 different, 2 trouble.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterDiffCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
