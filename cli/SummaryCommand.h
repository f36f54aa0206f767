// SummaryCommand: `veypatcher-cli summary`, the configuration summary of a mod.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterSummaryCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
