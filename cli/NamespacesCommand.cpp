// NamespacesCommand: lists every installation type of "namespaces.ini" with
// the files and the data folder it settles to, and says when a value was
// refused or replaced by its default.
#include "cli/NamespacesCommand.h"

#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/ModFolder.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"

namespace vey::cli {

namespace {

std::string Quoted(std::string_view s) { return "\"" + Win1252ToUtf8(s) + "\""; }

void Field(std::string_view label, const std::string& utf8Value) {
  std::string value = utf8Value;
  // Descriptions may hold line breaks; keep them under the value column.
  for (std::size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at + 1))
    value.insert(at + 1, std::string(22, ' '));
  std::cout << "    " << label << std::string(18 - label.size(), ' ') << value << '\n';
}

// Why a name from the file was not used, or empty when it was.
std::string NameNote(const std::string& written, const std::string& used) {
  if (written == used) return {};
  return "  (" + Quoted(written) + " not found there)";
}

void PrintType(const TNamespaces& types, int index, const std::filesystem::path& dataPath) {
  const std::string section = types.SelectedSection();
  TQK_Inifile ini((dataPath / std::string(kNamespacesFile)).string());
  std::cout << "[" << index + 1 << "] " << Win1252ToUtf8(types.NamespaceIds()[index]) << '\n';
  Field("Name:", Win1252ToUtf8(types.DisplayNames()[index]));
  Field("Description:", Win1252ToUtf8(types.GetDescription()));
  const std::string iniName = types.GetNamespaceIni();
  const std::string infoName = types.GetNamespaceInfo();
  Field("Instruction file:", Win1252ToUtf8(iniName) +
                                 NameNote(ini.ReadString(section, "IniName", kDefaultIniName), iniName));
  Field("Information file:", Win1252ToUtf8(infoName) +
                                 NameNote(ini.ReadString(section, "InfoName", kDefaultInfoName), infoName));
  const std::string sub = ini.ReadString(section, "DataPath", "");
  std::string folder = types.GetNamespacePath().string();
  if (TNamespaces::ClimbsOut(sub))
    folder += "  (DataPath " + Quoted(sub) + " refused: it leads out of the data folder)";
  else if (!sub.empty() && types.GetNamespacePath() == dataPath)
    folder += "  (DataPath " + Quoted(sub) + " does not exist)";
  Field("Data folder:", folder);
}

int RunNamespaces(const ModOptions& options) {
  platform::GameFileSystem fs;
  const auto dataPath = fs.Child(InstallerFolder(options.modDir, fs), "veypatchdata") / "";
  TNamespaces types(fs, dataPath);
  if (!types.Load() || types.NamespaceIds().empty()) {
    const ModSelection plain = SelectMod(options, fs);
    std::cout << "No installation types in " << (dataPath / std::string(kNamespacesFile)).string()
              << ": the mod has one standard installation.\n";
    Field("Instruction file:", Win1252ToUtf8(plain.iniName));
    Field("Information file:", Win1252ToUtf8(plain.infoName));
    Field("Data folder:", plain.dataPath.string());
    return kExitOk;
  }
  const std::string wanted = Utf8ToWin1252(options.namespaceId);
  if (!wanted.empty() && types.IndexOf(wanted) < 0) SelectMod(options, fs);  // reports the unknown identifier
  std::cout << "Installation types in " << (dataPath / std::string(kNamespacesFile)).string() << ":\n";
  for (int i = 0; i < static_cast<int>(types.NamespaceIds().size()); ++i) {
    if (!wanted.empty() && !EqualsNoCase(types.NamespaceIds()[i], wanted)) continue;
    types.Select(i);
    PrintType(types, i, dataPath);
  }
  return kExitOk;
}

}  // namespace

void RegisterNamespacesCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("namespaces", "List the installation types a mod offers in \"namespaces.ini\"");
  auto options = std::make_shared<ModOptions>();
  AddModOptions(*command, *options);
  command->footer("With --type ID only that type is shown.\nExit status: 0 listed; 64 usage error.");
  command->callback([options, &exitCode] { exitCode = RunNamespaces(*options); });
}

}  // namespace vey::cli
