// BuildFileCommand: printing a build's check, dry run, install and status.
#include "cli/BuildFileCommand.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/CliCommon.h"
#include "common/Counted.h"
#include "cli/GameChoice.h"
#include "cli/InstallCommand.h"
#include "cli/ModListReport.h"
#include "cli/RunSignals.h"
#include "modlist/BuildSession.h"
#include "platform/Headless.h"
#include "platform/LogViews.h"
#include "platform/TerminalColour.h"

namespace vey::cli {
namespace fs = std::filesystem;

namespace {

constexpr int kBuildStopped = 3;

nlohmann::ordered_json BuildJson(const modlist::BuildSession& s, int exitCode) {
  nlohmann::ordered_json doc;
  doc["version"] = 1;
  doc["command"] = "check";
  doc["buildFile"] = s.build.file.string();
  doc["downloads"] = s.downloads.string();
  doc["exitCode"] = exitCode;
  doc["choiceProblems"] = s.plan.choiceProblems;
  nlohmann::ordered_json mods = nlohmann::ordered_json::array();
  for (const modlist::ModPlan& m : s.plan.mods) {
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

// The build opened and checked, its findings printed; nothing when the
// build, the choices or the downloads folder cannot be used (said on out).
std::optional<modlist::BuildSession> Open(const BuildFileOptions& o, std::ostream& out) {
  std::optional<modlist::BuildSession> s;
  try {
    s = modlist::OpenBuild(o.file, o.downloads, o.choices);
  } catch (const modlist::EBuildFileError& e) {
    out << e.what() << '\n';
    return std::nullopt;
  }
  out << "Checking the build \"" << s->build.file.filename().string() << "\" ("
      << Counted(static_cast<std::int64_t>(s->build.mods.size()), "mod") << ") over the downloads in \"" << s->downloads.string()
      << "\"...\n";
  for (const std::string& problem : s->plan.choiceProblems) out << "Choices: " << problem << '\n';
  for (const modlist::ModPlan& m : s->plan.mods) {
    if (m.state == modlist::ModState::NotChosen) continue;
    out << "  " << m.mod->name << ": " << modlist::StateWord(m.state) << '\n';
    for (const std::string& e : m.errors) out << "    error: " << e << '\n';
    for (const std::string& w : m.warnings) out << "    warning: " << w << '\n';
  }
  return s;
}

void PrintVerdict(std::ostream& out, const modlist::BuildSession& s, int exitCode) {
  out << Counted(static_cast<std::int64_t>(s.Ready()), "mod") << " of the " << s.Chosen() << " chosen ready; "
      << (exitCode == 2 ? "the build cannot be installed as it is."
                        : exitCode == 1 ? "the build passes with warnings." : "the build passes.")
      << '\n';
}

int DryRun(const modlist::BuildSession& s, const std::string& game, std::ostream& out) {
  out << "Dry run of the whole build in order on \"" << game << "\"...\n";
  const modlist::DryRunResult dry = modlist::DryRunBuild(s, game);
  std::size_t n = 0;
  for (const modlist::DryRunMod& m : dry.mods) {
    out << "  " << ++n << " " << m.mod->mod->name << ": " << m.run.verdict;
    if (!m.run.message.empty()) out << " (" << m.run.message << ")";
    out << '\n';
    for (const std::string& line : m.warnings) out << "    " << line << '\n';
  }
  PrintConflicts(out, dry.places);
  return dry.ExitStatus();
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
  const auto s = Open(o, out);
  if (!s) return kExitFailed;
  int exitCode = s->plan.ExitStatus();
  if (!o.game.empty()) exitCode = std::max(exitCode, DryRun(*s, CheckedGameOption(o.game), out));
  PrintVerdict(out, *s, exitCode);
  if (o.json.empty()) return exitCode;
  const std::string text = BuildJson(*s, exitCode).dump(2) + "\n";
  if (o.json == "-") {
    std::cout << text;
    return exitCode;
  }
  std::ofstream file(o.json, std::ios::binary | std::ios::trunc);
  file << text;
  if (!file) {
    out << "Cannot write \"" << o.json << "\".\n";
    return std::max(exitCode, kExitFailed);
  }
  return exitCode;
}

int RunBuildStatus(const BuildFileOptions& o) {
  std::ostringstream quiet;
  const auto s = Open(o, quiet);
  if (!s) {
    std::cerr << quiet.str();
    return kExitUsage;
  }
  const std::string game = CheckedGameOption(o.game);
  const auto runs = platform::ListRuns(game, platform::RunDetail::Header);
  bool all = true;
  for (const modlist::ModPlan& m : s->plan.mods) {
    const std::string state = modlist::InstalledState(runs, m);
    if (state != "installed" && state != "not chosen" && state != "by hand") all = false;
    std::cout << m.mod->name << ": " << state << '\n';
  }
  return all ? 0 : 1;
}

int RunBuildInstall(const BuildFileOptions& o) {
  std::ostream& out = std::cout;
  const auto s = Open(o, out);
  if (!s) return kExitUsage;
  PrintVerdict(out, *s, s->plan.ExitStatus());
  if (s->plan.ExitStatus() == 2) {
    out << "The build does not pass its check; nothing was installed.\n";
    return kExitUsage;
  }
  const std::string game = CheckedGameOption(o.game);
  platform::HeadlessMessageBoxes messages(platform::Console::Standard(), o.yes ? std::optional<bool>(true) : std::nullopt);
  if (!messages.AskYesNo("Install the " + Counted(static_cast<std::int64_t>(s->Ready()), "chosen mod") + " of the build into " +
                         game + "?")) {
    out << "Nothing was changed.\n";
    return kExitNotRun;
  }
  const bool colour = platform::ColourWanted(STDOUT_FILENO);
  RunSignals signals;
  modlist::BuildInstallEvents events;
  events.modStarts = [&](std::size_t i, std::size_t n, const modlist::ModPlan& m, const std::string& installed) {
    out << "Mod " << i + 1 << " of " << n << ": " << m.mod->name;
    if (!installed.empty()) out << ": already installed (run " << installed << "), skipped.";
    out << '\n' << std::flush;
  };
  events.say = [&](const std::string& line) { out << line << '\n' << std::flush; };
  events.onLogLine = [&](std::string_view line, const platform::TextAttributes& attributes) {
    out << platform::TerminalLine(line, attributes, colour) << '\n' << std::flush;
  };
  events.modEnded = [&](const modlist::ModPlan& m, const modlist::BuildModRun& run) {
    if (run.Failed() && run.verdict != "locked" && run.verdict != "cancelled")
      out << "\"" << m.mod->name << "\" failed and was rolled back: " << run.message << '\n';
  };
  const modlist::BuildInstallResult r = modlist::InstallBuild(*s, game, o.keepGoing, &signals.Flag(), events);
  using Stop = modlist::BuildInstallResult::Stop;
  switch (r.stop) {
    case Stop::ChangedSince:
      out << "\"" << r.stoppedAt << "\" was installed (run " << r.message
          << ") from other downloads or choices. Uninstall that run first (uninstall --run " << r.message
          << " --replay); nothing was changed.\n";
      return kExitFailed;
    case Stop::Locked:
      out << r.message << '\n';
      return kExitLocked;
    case Stop::Cancelled:
      out << "Interrupted: \"" << r.stoppedAt << "\" was rolled back; the mods before it stay installed.\n";
      break;
    case Stop::Failed:
      out << "The build stops here; the mods before it stay installed. Run it again to resume.\n";
      break;
    case Stop::None:
      break;
  }
  for (const modlist::ModPlan& m : s->plan.mods)
    if (m.state == modlist::ModState::ByHand) out << "By hand: \"" << m.mod->name << "\": " << m.mod->directions << '\n';
  out << "Installed " << r.installed << ", already installed " << r.skipped << ", failed " << r.failed << ".\n";
  if (r.stop == Stop::Cancelled || r.stop == Stop::Failed) return kBuildStopped;
  return r.failed > 0 ? kExitFailed : r.withWarnings > 0 || s->plan.ExitStatus() == 1 ? 1 : kExitOk;
}

}  // namespace vey::cli
