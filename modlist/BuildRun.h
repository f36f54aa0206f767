// BuildRun: installing one mod of a build as one transaction. Its copies,
// deletions and renames in the game and the install of its own
// "veypatchdata" folders are recorded in one journal run, named after the
// mod, and undone together: by the rollback when a step fails or the person
// interrupts, and later by uninstall.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "modlist/BuildPlan.h"
#include "platform/GameFileSystem.h"
#include "platform/LogViews.h"

namespace vey {
class TRunReport;
}

namespace vey::modlist {

struct BuildRunSetting {
  platform::GameFileSystem& files;
  std::string gameFolder;
  // False for a dry run on an overlay: no journal and no lock.
  bool journal = true;
  const std::atomic<bool>* cancel = nullptr;
  // Lines for a person: the mod's own steps, and its installer's log.
  std::function<void(const std::string&)> say;
  std::function<void(std::string_view, const platform::TextAttributes&)> onLogLine;
  TRunReport* report = nullptr;
};

struct BuildModRun {
  std::string verdict;  // "ok", "warnings", "errors", "failed", "cancelled", "locked"
  std::string message;
  int warnings = 0, errors = 0;
  std::string runId;
  bool Failed() const { return verdict == "failed" || verdict == "cancelled" || verdict == "locked"; }
};

// What makes this install of the mod this version: its resolved operations
// and the digests of the downloads they come from. Recorded with the run, so
// that the next install of the same build knows it is done.
std::string PlanDigest(const ModPlan& plan);

// The record's text for a build mod's run: "build: NAME".
std::string BuildRunInstructionText(const BuildMod& mod);

BuildModRun RunBuildMod(const ModPlan& plan, const std::string& digest, const BuildRunSetting& setting);

}  // namespace vey::modlist
