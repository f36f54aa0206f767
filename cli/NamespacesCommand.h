// NamespacesCommand: `veypatcher-cli namespaces`, the installation types a mod offers.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterNamespacesCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
