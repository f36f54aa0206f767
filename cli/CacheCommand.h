// CacheCommand: `veypatcher-cli cache list|clean`, the unpacked mod archives
// kept in the cache and the removal of those no game folder needs.
#pragma once

#include <CLI/CLI.hpp>

namespace vey::cli {

void RegisterCacheCommand(CLI::App& app, int& exitCode);

}  // namespace vey::cli
