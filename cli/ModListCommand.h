// ModListCommand: `modlist check`, `modlist install` and `modlist status`,
// a whole build of mods from a list file (docs/modlist.md).
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterModListCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
