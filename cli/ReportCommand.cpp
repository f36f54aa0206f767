// ReportCommand: the game folder's report to standard output or a file.
#include "cli/ReportCommand.h"

#include <memory>
#include <string>

#include "cli/CliCommon.h"
#include "cli/JournalOutput.h"
#include "engine/run/UGameReport.h"

namespace vey::cli {

void RegisterReportCommand(CLI::App& app, int& exitCode) {
  struct Options {
    std::string game, output = "-";
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("report", "Write a plain-text report of a game folder for a forum post");
  command->add_option("--game", options->game, "Game folder (the one holding dialog.tlk)")->required();
  command->add_option("-o,--output", options->output, "Write the report to this file (default: standard output)");
  command->footer(
      "Lists the installed mods in order with their types, verdicts and dates, the files changed outside "
      "the installer since it wrote them, override names that differ only in letter case, textures present "
      "in several formats with the mod that brought each, and the talk tables' entry counts. Paths under the "
      "home folder are shown as ~/...; no other path outside the game folder and not the user name appear. "
      "Changes nothing. Exit status: 0 written; 2 the file could not be written; 64 usage error.");
  command->callback([options, &exitCode] {
    const std::string text = GameReport(GameFolder(options->game), TReportPrivacy::FromEnvironment());
    exitCode = WriteResultFile(options->output, text) ? kExitOk : kExitFailed;
  });
}

}  // namespace vey::cli
