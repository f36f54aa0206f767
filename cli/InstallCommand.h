// InstallCommand: `veypatcher-cli install`, one patch run of a mod against a
// game folder, answered from the command line instead of a window.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/CliCommon.h"
#include "engine/support/UCompilerLauncher.h"
#include "engine/support/URunSource.h"

namespace vey::cli {

// Exit codes of `install` beyond those shared by every command.
constexpr int kExitWarnings = 1;  // finished, warnings only
constexpr int kExitErrors = 2;    // finished with errors
constexpr int kExitAborted = 3;   // a failure ended the run
constexpr int kExitNotRun = 4;    // nothing was run (also: already installed)
constexpr int kExitLocked = 5;    // another run holds the game folder

// An install's exit status against the verdict the mod had before (a replay
// or an update installing it again): more errors or warnings than it had do
// not give the person the game they had, and count as failing.
inline bool ReinstalledAsBefore(int exitCode, const std::string& verdict) {
  const int was = verdict == "ok" ? kExitOk : verdict == "warnings" ? kExitWarnings : kExitErrors;
  return (exitCode == kExitOk || exitCode == kExitWarnings || exitCode == kExitErrors) && exitCode <= was;
}
constexpr int kExitJournal = 6;   // the game folder's journal cannot be used (nothing was run)

// Adds the subcommand; when it runs, its exit code is stored in exitCode.
void RegisterInstallCommand(CLI::App& app, int& exitCode);

// Installs a recorded run's mod again with its recorded type and options,
// answering Yes, into a game folder whose lock the caller holds; the log goes
// to standard output; a compile may take compileTimeout seconds. Returns
// install's exit code.
int InstallAgain(const TRunSource& source, const std::string& gameFolder,
                 int compileTimeout = TCompilerSettings::kDefaultCompileTimeout);

// --compile-timeout SECONDS on a command that compiles scripts.
void AddCompileTimeoutOption(CLI::App& command, int& seconds);

}  // namespace vey::cli

// The call main() makes, in the project namespace as the other commands'.
namespace vey {
inline void RegisterInstallCommand(CLI::App& app, int& exitCode) {
  cli::RegisterInstallCommand(app, exitCode);
}
}  // namespace vey
