// VerifyCommand: `veypatcher-cli verify` tells which files the installer
// wrote have changed since, by their content.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterVerifyCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
