// SummaryCommand: prints the lines of the configuration summary, the same the
// desktop window shows, for the mod's instruction file.
#include "cli/SummaryCommand.h"

#include <unistd.h>

#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/ModFolder.h"
#include "common/StrFormat.h"
#include "engine/support/USummary.h"
#include "platform/WineRegistry.h"

namespace vey::cli {

namespace {

int RunSummary(const ModOptions& options) {
  platform::GameFileSystem fs;
  const ModSelection mod = SelectMod(options, fs);
  const auto iniPath = mod.IniPath();
  TQK_Inifile ini(iniPath.string());
  platform::WineRegistry registry;
  for (const auto& line : BuildSummary(ini, mod.iniName, mod.infoName, &registry)) PrintLine(std::cout, line);
  std::cout.flush();
  // For a person at a terminal only: the summary's own lines stay as they are.
  if (::isatty(STDERR_FILENO) == 1)
    std::cerr << "Hint: \"veypatcher-cli validate\" checks this instruction file for mistakes.\n";
  if (!fs.IsFile(iniPath)) {
    // The summary of the defaults is still printed, as the window shows it.
    PrintLine(std::cerr, FormatMsg("WARNING! Cannot locate the INI file \"%s\" with work instructions!", {mod.iniName}));
    return kExitNothingRun;
  }
  return kExitOk;
}

}  // namespace

void RegisterSummaryCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("summary", "Print the configuration summary of a mod's instruction file");
  auto options = std::make_shared<ModOptions>();
  AddModOptions(*command, *options);
  command->footer(
      "Exit status: 0 printed; 4 the instruction file is missing (the defaults are shown); 64 usage error.\n"
      "To check the instruction file for mistakes, run \"veypatcher-cli validate\".");
  command->callback([options, &exitCode] { exitCode = RunSummary(*options); });
}

}  // namespace vey::cli
