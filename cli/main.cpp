// veypatcher-cli: the command-line installer and its companion commands.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "cli/CacheCommand.h"
#include "cli/CliCommon.h"
#include "cli/ConflictsCommand.h"
#include "cli/DiffCommand.h"
#include "cli/DumpCommand.h"
#include "cli/GamesCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/InfoCommand.h"
#include "cli/InstallCommand.h"
#include "platform/RunRecords.h"
#include "cli/InstallResult.h"
#include "cli/ModListCommand.h"
#include "cli/NamespacesCommand.h"
#include "cli/ReportCommand.h"
#include "cli/ResetCommand.h"
#include "cli/SummaryCommand.h"
#include "cli/ValidateCommand.h"
#include "cli/VerifyCommand.h"

namespace {

// One line on standard error: what was wrong and where the help is.
int ReportUsageError(const CLI::App& app, const CLI::ParseError& error) {
  if (dynamic_cast<const vey::cli::ModSourceError*>(&error)) {
    std::cerr << app.get_name() << ": " << error.what() << '\n';
    return error.get_exit_code();
  }
  if (const auto* usage = dynamic_cast<const vey::cli::UsageError*>(&error)) std::cerr << usage->Details();
  std::string message = error.what();
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!message.empty() && message.back() == ' ') message.pop_back();
  std::string helpCommand = app.get_name();
  for (const CLI::App* sub : app.get_subcommands()) helpCommand += " " + sub->get_name();
  std::cerr << app.get_name() << ": " << message << " (see \"" << helpCommand << " --help\")\n";
  return vey::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"VEYPatcher command-line installer", "veypatcher-cli"};
  app.set_version_flag("--version", "veypatcher-cli 0.1.0");
  app.require_subcommand(0, 1);
  app.footer("Each command lists its exit status in its --help; 64 is always a usage error.");
  int exitCode = vey::cli::kExitOk;
  vey::RegisterInstallCommand(app, exitCode);
  vey::cli::RegisterSummaryCommand(app, exitCode);
  vey::cli::RegisterNamespacesCommand(app, exitCode);
  vey::cli::RegisterDumpCommand(app, exitCode);
  vey::cli::RegisterGamesCommand(app, exitCode);
  vey::cli::RegisterHistoryCommands(app, exitCode);
  vey::cli::RegisterConflictsCommand(app, exitCode);
  vey::cli::RegisterValidateCommand(app, exitCode);
  vey::cli::RegisterDiffCommand(app, exitCode);
  vey::cli::RegisterInfoCommand(app, exitCode);
  vey::cli::RegisterVerifyCommand(app, exitCode);
  vey::cli::RegisterResetCommand(app, exitCode);
  vey::cli::RegisterReportCommand(app, exitCode);
  vey::cli::RegisterModListCommand(app, exitCode);
  vey::cli::RegisterCacheCommand(app, exitCode);
  try {
    app.parse(argc, argv);
    // Checked here rather than by the parser so that an unknown word is named as such.
    if (app.get_subcommands().empty()) throw vey::cli::UsageError("a subcommand is required");
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help or --version
  } catch (const CLI::ParseError& e) {
    vey::cli::WriteUsageResult(argc, argv, e.what());
    return ReportUsageError(app, e);
  } catch (const vey::platform::EJournalUnusable& e) {
    // A journal path found unusable where a command did not expect it: the
    // command stops, naming it, instead of ending without a word.
    std::cout << e.what() << "\n";
    return vey::cli::kExitJournal;
  }
  return exitCode;
}
