// BuildSession: opening, dry-running and installing a whole build.
#include "modlist/BuildSession.h"

#include <algorithm>

#include "engine/support/URunReport.h"
#include "platform/ModArchive.h"
#include "platform/OverlayFileSystem.h"

namespace vey::modlist {
namespace fs = std::filesystem;

std::size_t BuildSession::Chosen() const {
  return std::count_if(plan.mods.begin(), plan.mods.end(), [](const ModPlan& m) { return m.state != ModState::NotChosen; });
}

std::size_t BuildSession::Ready() const {
  return std::count_if(plan.mods.begin(), plan.mods.end(), [](const ModPlan& m) { return m.state == ModState::Ready; });
}

PlanSetting DownloadsSetting(const fs::path& downloads) {
  PlanSetting setting;
  setting.downloads = downloads;
  setting.isArchive = [](const fs::path& p) { return platform::LooksLikeArchive(p); };
  setting.unpack = [](const fs::path& p) { return platform::ExtractModArchive(p, platform::ModCacheHome()).folder; };
  return setting;
}

BuildSession OpenBuild(const fs::path& buildFile, const fs::path& downloads, const fs::path& choicesFile) {
  BuildSession s;
  s.build = LoadBuildFile(buildFile);
  s.downloads = downloads.empty() ? s.build.file.parent_path() : downloads;
  std::error_code ec;
  if (!fs::is_directory(s.downloads, ec))
    throw EBuildFileError("The downloads folder \"" + s.downloads.string() + "\" is not a folder.");
  const fs::path file = choicesFile.empty() ? DefaultChoicesFile(s.build.file) : choicesFile;
  if (!choicesFile.empty() || fs::exists(fs::symlink_status(file, ec))) s.choices = LoadChoices(file);
  s.selection.emplace(s.build, s.choices);
  s.plan = PlanBuild(s.build, *s.selection, DownloadsSetting(s.downloads));
  return s;
}

InstalledRun FindInstalled(const std::vector<platform::RunRecord>& runs, const ModPlan& mod, const std::string& digest) {
  InstalledRun found;
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (!run->Finished() || run->undone || run->instructionFile != BuildRunInstructionText(*mod.mod)) continue;
    if (run->instructionSha256 == digest) found.run = run->id;
    else found.otherRun = run->id;
    break;
  }
  return found;
}

std::string InstalledState(const std::vector<platform::RunRecord>& runs, const ModPlan& mod) {
  if (mod.state == ModState::NotChosen) return "not chosen";
  if (mod.state == ModState::ByHand) return "by hand";
  const InstalledRun found = FindInstalled(runs, mod, PlanDigest(mod));
  return !found.run.empty() ? "installed" : !found.otherRun.empty() ? "changed since" : "not installed";
}

int DryRunResult::ExitStatus() const {
  int status = 0;
  for (const DryRunMod& m : mods)
    status = std::max(status, m.run.Failed() || m.run.errors > 0 ? 2 : m.run.warnings > 0 ? 1 : 0);
  return status;
}

DryRunResult DryRunBuild(const BuildSession& session, const std::string& gameFolder) {
  DryRunResult result;
  platform::OverlayFileSystem overlay;
  for (const ModPlan& m : session.plan.mods) {
    if (m.state != ModState::Ready) continue;
    DryRunMod& dry = result.mods.emplace_back();
    dry.mod = &m;
    TRunReport changes(overlay, false);
    changes.SetGameFolder(gameFolder);
    BuildRunSetting setting{overlay, gameFolder, false, nullptr, {}, {}, &changes};
    setting.say = [&](const std::string& line) {
      if (line.rfind("Warning: ", 0) == 0) dry.warnings.push_back(line);
    };
    dry.run = RunBuildMod(m, PlanDigest(m), setting);
    changes.Detach();
    result.places.push_back({m.mod->name, m.mod->name, changes.Places()});
  }
  return result;
}

BuildInstallResult InstallBuild(const BuildSession& session, const std::string& gameFolder, bool keepGoing,
                                const std::atomic<bool>* cancel, const BuildInstallEvents& events) {
  BuildInstallResult result;
  std::vector<const ModPlan*> chosen;
  for (const ModPlan& m : session.plan.mods)
    if (m.state == ModState::Ready) chosen.push_back(&m);
  const auto runs = platform::ListRuns(gameFolder, platform::RunDetail::Header);
  std::vector<std::string> digests;
  for (const ModPlan* m : chosen) {
    digests.push_back(PlanDigest(*m));
    const InstalledRun found = FindInstalled(runs, *m, digests.back());
    if (found.run.empty() && !found.otherRun.empty()) {
      result.stop = BuildInstallResult::Stop::ChangedSince;
      result.stoppedAt = m->mod->name;
      result.message = found.otherRun;
      return result;
    }
  }
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const ModPlan& m = *chosen[i];
    const InstalledRun found = FindInstalled(runs, m, digests[i]);
    if (events.modStarts) events.modStarts(i, chosen.size(), m, found.run);
    if (!found.run.empty()) {
      ++result.skipped;
      continue;
    }
    platform::GameFileSystem files;
    BuildRunSetting setting{files, gameFolder, true, cancel, events.say, events.onLogLine, nullptr};
    const BuildModRun run = RunBuildMod(m, digests[i], setting);
    if (events.modEnded) events.modEnded(m, run);
    auto stop = [&](BuildInstallResult::Stop why) {
      result.stop = why;
      result.stoppedAt = m.mod->name;
      result.message = run.message;
    };
    if (run.verdict == "locked") {
      stop(BuildInstallResult::Stop::Locked);
      break;
    }
    if (run.verdict == "cancelled") {
      stop(BuildInstallResult::Stop::Cancelled);
      break;
    }
    if (run.Failed()) {
      ++result.failed;
      if (!keepGoing) {
        stop(BuildInstallResult::Stop::Failed);
        break;
      }
      continue;
    }
    ++result.installed;
    if (run.errors > 0 || run.warnings > 0) ++result.withWarnings;
  }
  return result;
}

}  // namespace vey::modlist
