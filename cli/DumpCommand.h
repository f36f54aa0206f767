// DumpCommand: `veypatcher-cli dump FILE [--json]`, the content of one game
// file (2DA, TLK, GFF, ERF/RIM or SSF, chosen by its signature).
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterDumpCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
