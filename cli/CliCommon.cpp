// CliCommon: shared options and output of the command-line subcommands.
#include "cli/CliCommon.h"

#include <ostream>

#include "cli/ModSource.h"
#include "common/PathText.h"

namespace vey::cli {

void AddModOptions(CLI::App& command, ModOptions& options, int archiveFailureExit) {
  command.add_option("--mod", options.modDir,
                     "Installer folder that contains \"veypatchdata\", or a mod archive (zip, 7z, rar, tar) "
                     "(default: current folder)");
  command.add_option("--in", options.in,
                     "The mod's folder inside an archive that holds several (\".\" for its root)");
  command.parse_complete_callback([&options, archiveFailureExit] { OpenModArchive(options, archiveFailureExit); });
  command.add_option("--ini", options.iniName, "Instruction file in the data folder (default: changes.ini)");
  command.add_option("--info", options.infoName, "Information file in the data folder (default: info.rtf)");
  // --namespace is the name it had first; scripts may still use it.
  command.add_option("--type,--namespace", options.namespaceId,
                     "Installation type from \"namespaces.ini\", by identifier");
}

void PrintLine(std::ostream& out, std::string_view win1252Text) {
  out << MessageToUtf8(win1252Text) << '\n';
}

}  // namespace vey::cli
