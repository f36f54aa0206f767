// BuildFileCommand: printing a build's check for a person and for programs.
#include "cli/BuildFileCommand.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/CliCommon.h"
#include "cli/GameChoice.h"
#include "cli/InstallCommand.h"
#include "cli/ModListReport.h"
#include "engine/support/URunReport.h"
#include "platform/OverlayFileSystem.h"
#include "cli/RunSignals.h"
#include "modlist/BuildRun.h"
#include "platform/Headless.h"
#include "platform/LogViews.h"
#include "platform/RunJournal.h"
#include "platform/TerminalColour.h"
#include "modlist/BuildPlan.h"
#include "platform/ModArchive.h"

namespace vey::cli {
namespace fs = std::filesystem;

namespace {

constexpr int kBuildStopped = 3;

// A build's check works over what the player downloaded; the archives are
// unpacked into the cache, as a list's are.
modlist::PlanSetting PlanSettingFor(const fs::path& downloads) {
  modlist::PlanSetting setting;
  setting.downloads = downloads;
  setting.isArchive = [](const fs::path& p) { return platform::LooksLikeArchive(p); };
  setting.unpack = [](const fs::path& p) { return platform::ExtractModArchive(p, platform::ModCacheHome()).folder; };
  return setting;
}

std::string CountOf(std::size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

nlohmann::ordered_json BuildJson(const modlist::BuildFile& build, const modlist::BuildPlan& plan, const fs::path& downloads,
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

std::optional<modlist::BuildFile> LoadBuild(const BuildFileOptions& o, std::ostream& err) {
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

namespace {

// The build, the player's choices and the check, printed; nothing when the
// build, the choices or the downloads folder cannot be used (said on out).
struct Prepared {
  modlist::BuildFile build;
  std::optional<modlist::Selection> selection;
  modlist::BuildPlan plan;
  fs::path downloads;
  std::size_t ready = 0, chosen = 0;
};

std::unique_ptr<Prepared> Prepare(const BuildFileOptions& o, std::ostream& out) {
  auto build = LoadBuild(o, out);
  if (!build) return nullptr;
  auto p = std::make_unique<Prepared>();
  p->build = std::move(*build);
  p->downloads = o.downloads.empty() ? p->build.file.parent_path() : fs::path(o.downloads);
  std::error_code ec;
  if (!fs::is_directory(p->downloads, ec)) {
    out << "The downloads folder \"" << p->downloads.string() << "\" is not a folder.\n";
    return nullptr;
  }
  modlist::BuildChoices choices;
  try {
    const fs::path file = o.choices.empty() ? modlist::DefaultChoicesFile(p->build.file) : fs::path(o.choices);
    if (!o.choices.empty() || fs::exists(fs::symlink_status(file, ec))) choices = modlist::LoadChoices(file);
  } catch (const modlist::EBuildFileError& e) {
    out << e.what() << '\n';
    return nullptr;
  }
  p->selection.emplace(p->build, choices);
  out << "Checking the build \"" << p->build.file.filename().string() << "\" ("
      << CountOf(p->build.mods.size(), "mod", "mods") << ") over the downloads in \"" << p->downloads.string()
      << "\"...\n";
  p->plan = modlist::PlanBuild(p->build, *p->selection, PlanSettingFor(p->downloads));
  for (const std::string& problem : p->plan.choiceProblems) out << "Choices: " << problem << '\n';
  std::size_t chosen = 0, ready = 0;
  for (const modlist::ModPlan& m : p->plan.mods) {
    if (m.state == modlist::ModState::NotChosen) continue;
    ++chosen;
    if (m.state == modlist::ModState::Ready) ++ready;
    out << "  " << m.mod->name << ": " << modlist::StateWord(m.state) << '\n';
    for (const std::string& e : m.errors) out << "    error: " << e << '\n';
    for (const std::string& w : m.warnings) out << "    warning: " << w << '\n';
  }
  p->ready = ready;
  p->chosen = chosen;
  return p;
}

void PrintVerdict(std::ostream& out, const Prepared& p, int exitCode) {
  out << CountOf(p.ready, "mod", "mods") << " of the " << p.chosen << " chosen ready; "
      << (exitCode == 2 ? "the build cannot be installed as it is."
                        : exitCode == 1 ? "the build passes with warnings." : "the build passes.")
      << '\n';
}

// What the journal says of a mod of the build: the run that installed this
// version, or one that installed another.
struct Installed {
  std::string run;         // installed as planned now
  std::string otherRun;    // installed from other downloads or choices
};

Installed FindInstalled(const std::vector<platform::RunRecord>& runs, const modlist::ModPlan& m,
                        const std::string& digest) {
  Installed found;
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (!run->Finished() || run->undone || run->instructionFile != modlist::BuildRunInstructionText(*m.mod)) continue;
    if (run->instructionSha256 == digest) found.run = run->id;
    else found.otherRun = run->id;
    break;
  }
  return found;
}

// Every ready mod in order on one overlay of the game, so that each sees
// what the ones before it would have changed; then who wins each place two
// mods write.
int DryRun(const Prepared& p, const std::string& game, std::ostream& out) {
  out << "Dry run of the whole build in order on \"" << game << "\"...\n";
  platform::OverlayFileSystem overlay;
  std::vector<TRunPlaces> places;
  int exitCode = 0;
  std::size_t n = 0;
  for (const modlist::ModPlan& m : p.plan.mods) {
    if (m.state != modlist::ModState::Ready) continue;
    TRunReport changes(overlay, false);
    changes.SetGameFolder(game);
    std::vector<std::string> said;
    modlist::BuildRunSetting setting{overlay, game, false, nullptr, {}, {}, &changes};
    setting.say = [&](const std::string& line) {
      if (line.rfind("Warning: ", 0) == 0) said.push_back(line);
    };
    const modlist::BuildModRun run = modlist::RunBuildMod(m, modlist::PlanDigest(m), setting);
    changes.Detach();
    places.push_back({m.mod->name, m.mod->name, changes.Places()});
    out << "  " << ++n << " " << m.mod->name << ": " << run.verdict;
    if (!run.message.empty()) out << " (" << run.message << ")";
    out << '\n';
    for (const std::string& line : said) out << "    " << line << '\n';
    exitCode = std::max(exitCode, run.Failed() || run.errors > 0 ? 2 : run.warnings > 0 ? 1 : 0);
  }
  PrintConflicts(out, places);
  return exitCode;
}

}  // namespace

int RunBuildCheck(const BuildFileOptions& o) {
  std::ostream& out = o.json == "-" ? std::cerr : std::cout;
  const auto p = Prepare(o, out);
  if (!p) return kExitFailed;
  int exitCode = p->plan.ExitStatus();
  if (!o.game.empty()) exitCode = std::max(exitCode, DryRun(*p, CheckedGameOption(o.game), out));
  PrintVerdict(out, *p, exitCode);
  if (!o.json.empty()) {
    const std::string text = BuildJson(p->build, p->plan, p->downloads, exitCode).dump(2) + "\n";
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

int RunBuildStatus(const BuildFileOptions& o) {
  std::ostringstream quiet;
  const auto p = Prepare(o, quiet);
  if (!p) {
    std::cerr << quiet.str();
    return kExitUsage;
  }
  const std::string game = CheckedGameOption(o.game);
  const auto runs = platform::ListRuns(game, platform::RunDetail::Header);
  bool all = true;
  for (const modlist::ModPlan& m : p->plan.mods) {
    std::string state;
    if (m.state == modlist::ModState::NotChosen) state = "not chosen";
    else if (m.state == modlist::ModState::ByHand) state = "by hand";
    else {
      const Installed found = FindInstalled(runs, m, modlist::PlanDigest(m));
      state = !found.run.empty() ? "installed" : !found.otherRun.empty() ? "changed since" : "not installed";
      all = all && !found.run.empty();
    }
    std::cout << m.mod->name << ": " << state << '\n';
  }
  return all ? 0 : 1;
}

int RunBuildInstall(const BuildFileOptions& o) {
  std::ostream& out = std::cout;
  const auto p = Prepare(o, out);
  if (!p) return kExitUsage;
  PrintVerdict(out, *p, p->plan.ExitStatus());
  if (p->plan.ExitStatus() == 2) {
    out << "The build does not pass its check; nothing was installed.\n";
    return kExitUsage;
  }
  const std::string game = CheckedGameOption(o.game);
  std::vector<const modlist::ModPlan*> chosen;
  for (const modlist::ModPlan& m : p->plan.mods)
    if (m.state == modlist::ModState::Ready) chosen.push_back(&m);
  platform::HeadlessMessageBoxes messages(platform::Console::Standard(), o.yes ? std::optional<bool>(true) : std::nullopt);
  if (!messages.AskYesNo("Install the " + CountOf(chosen.size(), "chosen mod", "chosen mods") + " of the build into " +
                         game + "?")) {
    out << "Nothing was changed.\n";
    return kExitNotRun;
  }
  const auto runs = platform::ListRuns(game, platform::RunDetail::Header);
  // An installed mod whose downloads or choices changed is never installed
  // on top of itself: say so before anything changes.
  std::vector<std::string> digests;
  for (const modlist::ModPlan* m : chosen) {
    digests.push_back(modlist::PlanDigest(*m));
    const Installed found = FindInstalled(runs, *m, digests.back());
    if (found.run.empty() && !found.otherRun.empty()) {
      out << "\"" << m->mod->name << "\" was installed (run " << found.otherRun
          << ") from other downloads or choices. Uninstall that run first (uninstall --run " << found.otherRun
          << " --replay); nothing was changed.\n";
      return kExitFailed;
    }
  }
  const bool colour = platform::ColourWanted(STDOUT_FILENO);
  RunSignals signals;
  int installed = 0, skipped = 0, failed = 0, warnings = 0;
  int exitCode = kExitOk;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const modlist::ModPlan& m = *chosen[i];
    const std::string heading = "Mod " + std::to_string(i + 1) + " of " + std::to_string(chosen.size()) + ": " + m.mod->name;
    if (const Installed found = FindInstalled(runs, m, digests[i]); !found.run.empty()) {
      out << heading << ": already installed (run " << found.run << "), skipped.\n";
      ++skipped;
      continue;
    }
    out << heading << '\n';
    platform::GameFileSystem files;
    modlist::BuildRunSetting setting{files, game, true, &signals.Flag(), {}, {}, nullptr};
    setting.say = [&](const std::string& line) { out << line << '\n' << std::flush; };
    setting.onLogLine = [&](std::string_view line, const platform::TextAttributes& attributes) {
      out << platform::TerminalLine(line, attributes, colour) << '\n' << std::flush;
    };
    const modlist::BuildModRun run = modlist::RunBuildMod(m, digests[i], setting);
    if (run.verdict == "locked") {
      out << run.message << '\n';
      return kExitLocked;
    }
    if (run.verdict == "cancelled") {
      out << "Interrupted: \"" << m.mod->name << "\" was rolled back; the mods before it stay installed.\n";
      exitCode = kBuildStopped;
      break;
    }
    if (run.Failed()) {
      ++failed;
      out << "\"" << m.mod->name << "\" failed and was rolled back: " << run.message << '\n';
      if (!o.keepGoing) {
        out << "The build stops here; the mods before it stay installed. Run it again to resume.\n";
        exitCode = kBuildStopped;
        break;
      }
      continue;
    }
    ++installed;
    if (run.errors > 0 || run.warnings > 0) ++warnings;
  }
  for (const modlist::ModPlan& m : p->plan.mods)
    if (m.state == modlist::ModState::ByHand) out << "By hand: \"" << m.mod->name << "\": " << m.mod->directions << '\n';
  out << "Installed " << installed << ", already installed " << skipped << ", failed " << failed << ".\n";
  if (exitCode == kExitOk) exitCode = failed > 0 ? kExitFailed : warnings > 0 || p->plan.ExitStatus() == 1 ? 1 : kExitOk;
  return exitCode;
}

}  // namespace vey::cli
