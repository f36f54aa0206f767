// BuildFileCommand: printing a build's check for a person and for programs.
#include "cli/BuildFileCommand.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>

#include "cli/CliCommon.h"
#include "modlist/BuildPlan.h"
#include "platform/ModArchive.h"

namespace vey::cli {
namespace fs = std::filesystem;

namespace {

// A build's check works over what the player downloaded; the archives are
// unpacked into the cache, as a list's are.
modlist::PlanSetting Setting(const fs::path& downloads) {
  modlist::PlanSetting setting;
  setting.downloads = downloads;
  setting.isArchive = [](const fs::path& p) { return platform::LooksLikeArchive(p); };
  setting.unpack = [](const fs::path& p) { return platform::ExtractModArchive(p, platform::ModCacheHome()).folder; };
  return setting;
}

std::string Plural(std::size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

nlohmann::ordered_json Json(const modlist::BuildFile& build, const modlist::BuildPlan& plan, const fs::path& downloads,
                            int exitCode) {
  nlohmann::ordered_json doc;
  doc["version"] = 1;
  doc["command"] = "check";
  doc["buildFile"] = build.file.string();
  doc["downloads"] = downloads.string();
  doc["exitCode"] = exitCode;
  doc["choiceProblems"] = plan.choiceProblems;
  nlohmann::ordered_json mods = nlohmann::ordered_json::array();
  for (const modlist::ModPlan& m : plan.mods) {
    nlohmann::ordered_json mod;
    mod["guid"] = m.mod->guid;
    mod["name"] = m.mod->name;
    mod["author"] = m.mod->author;
    mod["category"] = m.mod->category;
    mod["state"] = std::string(modlist::StateWord(m.state));
    mod["errors"] = m.errors;
    mod["warnings"] = m.warnings;
    mod["downloadPages"] = m.mod->downloadPages;
    if (!m.mod->directions.empty()) mod["directions"] = m.mod->directions;
    mods.push_back(std::move(mod));
  }
  doc["mods"] = std::move(mods);
  return doc;
}

std::optional<modlist::BuildFile> Load(const BuildFileOptions& o, std::ostream& err) {
  try {
    return modlist::LoadBuildFile(o.file);
  } catch (const modlist::EBuildFileError& e) {
    err << e.what() << '\n';
    return std::nullopt;
  }
}

}  // namespace

bool IsBuildFileArgument(const std::string& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec) || fs::file_size(file, ec) > modlist::kMaxBuildFileBytes) return false;
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return modlist::LooksLikeBuildFile(text);
}

int RunBuildCheck(const BuildFileOptions& o) {
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  const auto build = Load(o, out);
  if (!build) return kExitFailed;
  const fs::path downloads = o.downloads.empty() ? build->file.parent_path() : fs::path(o.downloads);
  std::error_code ec;
  if (!fs::is_directory(downloads, ec)) {
    out << "The downloads folder \"" << downloads.string() << "\" is not a folder.\n";
    return kExitFailed;
  }
  modlist::BuildChoices choices;
  try {
    const fs::path file = o.choices.empty() ? modlist::DefaultChoicesFile(build->file) : fs::path(o.choices);
    if (!o.choices.empty() || fs::exists(fs::symlink_status(file, ec))) choices = modlist::LoadChoices(file);
  } catch (const modlist::EBuildFileError& e) {
    out << e.what() << '\n';
    return kExitFailed;
  }
  const modlist::Selection selection(*build, choices);
  out << "Checking the build \"" << build->file.filename().string() << "\" (" << Plural(build->mods.size(), "mod", "mods")
      << ") over the downloads in \"" << downloads.string() << "\"...\n";
  const modlist::BuildPlan plan = modlist::PlanBuild(*build, selection, Setting(downloads));
  for (const std::string& p : plan.choiceProblems) out << "Choices: " << p << '\n';
  std::size_t chosen = 0, ready = 0;
  for (const modlist::ModPlan& m : plan.mods) {
    if (m.state == modlist::ModState::NotChosen) continue;
    ++chosen;
    if (m.state == modlist::ModState::Ready) ++ready;
    out << "  " << m.mod->name << ": " << modlist::StateWord(m.state) << '\n';
    for (const std::string& e : m.errors) out << "    error: " << e << '\n';
    for (const std::string& w : m.warnings) out << "    warning: " << w << '\n';
  }
  const int exitCode = plan.ExitStatus();
  out << Plural(ready, "mod", "mods") << " of the " << chosen << " chosen ready; "
      << (exitCode == 2 ? "the build cannot be installed as it is." : exitCode == 1 ? "the build passes with warnings."
                                                                                    : "the build passes.")
      << '\n';
  if (!o.json.empty()) {
    const std::string text = Json(*build, plan, downloads, exitCode).dump(2) + "\n";
    if (o.json == "-") {
      std::cout << text;
    } else {
      std::ofstream file(o.json, std::ios::binary | std::ios::trunc);
      file << text;
      if (!file) {
        out << "Cannot write \"" << o.json << "\".\n";
        return std::max(exitCode, kExitFailed);
      }
    }
  }
  return exitCode;
}

int RunBuildInstallNotYet(const BuildFileOptions& o) {
  std::cerr << "\"" << o.file << "\" is a published build file. Installing a build is not available yet; "
            << "`veypatcher-cli modlist check " << o.file << "` checks it against your downloads.\n";
  return kExitUsage;
}

}  // namespace vey::cli
