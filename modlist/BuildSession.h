// BuildSession: a build with the player's choices and downloads, checked,
// and what the front ends do with it: the dry run on an overlay, the install
// mod by mod with resume, and each mod's state according to the journal.
// The command line and the window both drive it; they only print and show.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/support/UConflicts.h"
#include "modlist/BuildChoices.h"
#include "modlist/BuildPlan.h"
#include "modlist/BuildRun.h"
#include "platform/RunJournal.h"

namespace vey::modlist {

struct BuildSession {
  BuildFile build;
  BuildChoices choices;
  std::optional<Selection> selection;
  BuildPlan plan;
  std::filesystem::path downloads;

  std::size_t Chosen() const;
  std::size_t Ready() const;
};

// Reads the build and the choices (choicesFile, else BUILD.choices.toml when
// it is there) and checks the build over the downloads (default: the build
// file's folder). Raises EBuildFileError for a build or choices file that
// cannot be used and a downloads folder that is no folder.
BuildSession OpenBuild(const std::filesystem::path& buildFile, const std::filesystem::path& downloads = {},
                       const std::filesystem::path& choicesFile = {});
// The unpacking and archive recognition the check uses for real downloads.
PlanSetting DownloadsSetting(const std::filesystem::path& downloads);

// What the journal says of a mod: the run that installed it as planned now,
// or one that installed it from other downloads or choices.
struct InstalledRun {
  std::string run;
  std::string otherRun;
};
InstalledRun FindInstalled(const std::vector<platform::RunRecord>& runs, const ModPlan& mod, const std::string& digest);

// A mod's state beside the check's: "installed", "changed since", "not
// installed", "by hand" or "not chosen".
std::string InstalledState(const std::vector<platform::RunRecord>& runs, const ModPlan& mod);

struct DryRunMod {
  const ModPlan* mod = nullptr;
  BuildModRun run;
  std::vector<std::string> warnings;  // game paths that found nothing
};
struct DryRunResult {
  std::vector<DryRunMod> mods;
  std::vector<TRunPlaces> places;  // for the conflicts
  int ExitStatus() const;
};
// Every ready mod in order on one overlay of the game, so that each sees
// what the ones before it would have changed.
DryRunResult DryRunBuild(const BuildSession& session, const std::string& gameFolder);

struct BuildInstallEvents {
  // Before each chosen, ready mod: its place among them and whether the
  // journal holds it already (then it is skipped).
  std::function<void(std::size_t index, std::size_t count, const ModPlan& mod, const std::string& installedRun)> modStarts;
  std::function<void(const ModPlan& mod, const BuildModRun& run)> modEnded;
  std::function<void(const std::string&)> say;
  std::function<void(std::string_view, const platform::TextAttributes&)> onLogLine;
};

struct BuildInstallResult {
  enum class Stop { None, ChangedSince, Failed, Cancelled, Locked };
  Stop stop = Stop::None;
  std::string stoppedAt;  // the mod's name
  std::string message;    // the stopping run's message, or the run installed from others
  int installed = 0, skipped = 0, failed = 0, withWarnings = 0;
};

// Installs every chosen, ready mod in order, each as one run; mods the
// journal holds as planned now are skipped, so a second install resumes. A
// mod installed from other downloads or choices stops everything before any
// change (never installed on top of itself). A failure stops the build
// unless keepGoing; the mods before it stay installed.
BuildInstallResult InstallBuild(const BuildSession& session, const std::string& gameFolder, bool keepGoing,
                                const std::atomic<bool>* cancel, const BuildInstallEvents& events);

}  // namespace vey::modlist
