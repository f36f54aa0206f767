// ReportCommand: `veypatcher-cli report` writes the plain-text account of a
// game folder for a forum post.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterReportCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
