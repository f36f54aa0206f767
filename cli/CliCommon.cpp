// CliCommon: shared options and output of the command-line subcommands.
#include "cli/CliCommon.h"

#include <ostream>

#include "common/PathText.h"

namespace vey::cli {

void AddModOptions(CLI::App& command, ModOptions& options) {
  command.add_option("--mod", options.modDir, "Installer folder that contains \"veypatchdata\" (default: current folder)");
  command.add_option("--ini", options.iniName, "Instruction file in the data folder (default: changes.ini)");
  command.add_option("--info", options.infoName, "Information file in the data folder (default: info.rtf)");
  command.add_option("--namespace", options.namespaceId, "Installation type from \"namespaces.ini\", by identifier");
}

void PrintLine(std::ostream& out, std::string_view win1252Text) {
  out << MessageToUtf8(win1252Text) << '\n';
}

}  // namespace vey::cli
