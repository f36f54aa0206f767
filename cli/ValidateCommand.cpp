// ValidateCommand: chooses the instruction files to check (one installation
// type or all of them), runs the validator on each and prints the findings
// as lines or as JSON.
#include "cli/ValidateCommand.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/ModFolder.h"
#include "cli/TextOutput.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"
#include "engine/validate/UValidator.h"

namespace vey::cli {
namespace {

struct ValidateOptions {
  ModOptions mod;
  bool all = false;
  std::string jsonFile;
};

struct Target {
  std::string namespaceId;  // empty without installation types
  TValidateInput input;
};

// Findings carry names as the mod writes them; a type's own folder is put in
// front so that two types' "changes.ini" stay apart.
std::string Shown(const std::filesystem::path& base, const Target& t, const std::string& file) {
  std::string folder = std::filesystem::path(t.input.dataPath).lexically_normal().lexically_relative(
                                                                                      base.lexically_normal())
                           .generic_string();
  if (folder.empty() || folder == "." || folder == "./") return file;
  if (folder.back() == '/') folder.pop_back();
  return Utf8ToWin1252(folder) + "/" + file;
}

std::vector<Target> Targets(const ValidateOptions& options, const platform::GameFileSystem& fs,
                            const std::filesystem::path& base) {
  TNamespaces types(fs, base);
  const bool typed = types.Load() && !types.NamespaceIds().empty();
  if (typed && (options.all || options.mod.namespaceId.empty())) {
    if (!options.mod.iniName.empty() || !options.mod.infoName.empty())
      throw UsageError("--ini and --info name one file; they cannot be used for every installation type");
    std::vector<Target> targets;
    for (std::size_t i = 0; i < types.NamespaceIds().size(); ++i) {
      types.Select(static_cast<int>(i));
      targets.push_back({types.NamespaceIds()[i], {types.GetNamespacePath(), base, types.GetNamespaceIni()}});
    }
    return targets;
  }
  const ModSelection mod = SelectMod(options.mod, fs);
  return {{mod.namespaceId, {mod.dataPath, base, mod.iniName}}};
}

std::string_view SeverityWord(TSeverity s) { return s == TSeverity::Error ? "error" : "warning"; }

void WriteJson(std::ostream& out, const std::vector<std::pair<std::string, TFinding>>& findings, int errors,
               int warnings) {
  out << "{\"findings\":[";
  bool first = true;
  for (const auto& [ns, f] : findings) {
    out << (first ? "\n" : ",\n") << "{\"severity\":\"" << SeverityWord(f.severity)
        << "\",\"file\":" << JsonString(f.file) << ",\"namespace\":" << JsonString(ns)
        << ",\"section\":" << JsonString(f.section) << ",\"key\":" << JsonString(f.key) << ",\"line\":" << f.line
        << ",\"message\":" << JsonString(f.message) << "}";
    first = false;
  }
  out << "\n],\"errors\":" << errors << ",\"warnings\":" << warnings << "}\n";
}

void PrintFindings(const std::vector<std::pair<std::string, TFinding>>& findings, int errors, int warnings) {
  for (const auto& [ns, f] : findings) {
    std::string line = f.file;
    if (f.line > 0) line += ":" + IntToStr(f.line);
    line += ": ";
    line += SeverityWord(f.severity);
    line += ": ";
    if (!f.section.empty()) line += "[" + f.section + "] ";
    if (!f.key.empty()) line += f.key + ": ";
    line += f.message;
    PrintLine(std::cout, line);
  }
  if (findings.empty())
    std::cout << "No findings.\n";
  else
    std::cout << errors << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning.\n" : " warnings.\n");
}

int RunValidate(ValidateOptions options) {
  platform::GameFileSystem fs;
  std::error_code ec;
  auto modFolder = std::filesystem::absolute(options.mod.modDir.empty() ? "." : options.mod.modDir, ec);
  if (!fs.IsDirectory(modFolder)) throw UsageError("--mod: \"" + options.mod.modDir + "\" is not a folder");
  std::filesystem::path base = fs.Child(modFolder, "veypatchdata") / "";
  // The data folder itself stands for the installer's folder that holds it.
  const auto parts = modFolder.lexically_normal();
  const auto last = (parts.has_filename() ? parts : parts.parent_path()).filename().string();
  if (!fs.IsDirectory(base) && EqualsNoCase(last, "veypatchdata")) {
    base = modFolder.lexically_normal() / "";
    options.mod.modDir = (parts.has_filename() ? parts : parts.parent_path()).parent_path().string();
  }
  if (!fs.IsDirectory(base))
    throw UsageError("--mod: \"" + options.mod.modDir + "\" holds no \"veypatchdata\" folder");

  std::vector<std::pair<std::string, TFinding>> findings;
  for (TFinding& f : ValidateNamespaces(fs, base)) findings.emplace_back("", std::move(f));
  for (const Target& t : Targets(options, fs, base)) {
    for (TFinding& f : ValidateInstructions(fs, t.input)) {
      f.file = Shown(base, t, f.file);
      findings.emplace_back(t.namespaceId, std::move(f));
    }
  }

  int errors = 0, warnings = 0;
  for (const auto& [ns, f] : findings) (f.severity == TSeverity::Error ? errors : warnings) += 1;
  // JSON on standard output stands alone, so that it can be read as a whole.
  if (options.jsonFile != "-") PrintFindings(findings, errors, warnings);
  std::cout.flush();

  if (!options.jsonFile.empty()) {
    if (options.jsonFile == "-") {
      WriteJson(std::cout, findings, errors, warnings);
    } else {
      std::ofstream out(options.jsonFile, std::ios::binary | std::ios::trunc);
      if (out) WriteJson(out, findings, errors, warnings);
      if (!out) {
        std::cerr << "Cannot write the JSON file \"" << options.jsonFile << "\".\n";
        return kExitFailed;
      }
    }
  }
  return errors > 0 ? 1 : kExitOk;
}

}  // namespace

void RegisterValidateCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand(
      "validate", "Check a mod's instruction file for mistakes, without a game folder");
  auto options = std::make_shared<ValidateOptions>();
  AddModOptions(*command, options->mod);
  auto* all = command->add_flag("--all", options->all,
                                "Check every installation type of \"namespaces.ini\" (the default when the mod has "
                                "several and no --type is given)");
  all->excludes(command->get_option("--type"));
  command->add_option("--json", options->jsonFile, "Also write the findings as JSON to this file (\"-\": standard output)");
  command->footer(
      "Each finding is printed as FILE:LINE: SEVERITY: [SECTION] KEY: MESSAGE.\n"
      "Exit status: 0 no errors (warnings allowed); 1 at least one error; 2 the JSON file cannot be written; "
      "64 usage error.");
  command->callback([options, &exitCode] { exitCode = RunValidate(*options); });
}

}  // namespace vey::cli
