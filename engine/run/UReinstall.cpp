// UReinstall: the engine run of a replayed mod, with every answer recorded.
#include "engine/run/UReinstall.h"

#include <sstream>

#include "common/FileIO.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"
#include "engine/support/UOutcome.h"
#include "engine/run/UTransaction.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/GameFileSystem.h"
#include "platform/Headless.h"
#include "platform/LogViews.h"

namespace vey {
namespace fs = std::filesystem;
TReinstallOutcome ReinstallRun(const TRunSource& source, const fs::path& gameFolder,
                               const std::function<void(std::string_view)>& onLine) {
  TReinstallOutcome outcome;
  platform::GameFileSystem files;
  const std::string appPath = WithTrailingSlash(source.modFolder);
  fs::path dataPath = files.Child(source.modFolder, "veypatchdata") / "";
  std::string iniName = source.iniName.empty() ? std::string(kDefaultIniName) : Utf8ToWin1252(source.iniName);
  if (!source.installationType.empty()) {
    TNamespaces types(files, dataPath);
    const int index = types.Load() ? types.IndexOf(source.installationType) : -1;
    if (index < 0) {
      outcome.failure = "The mod no longer offers the installation type \"" + source.installationType + "\".";
      return outcome;
    }
    types.Select(index);
    if (auto why = types.LinkRefusal()) {
      outcome.failure = *why;
      return outcome;
    }
    iniName = types.GetNamespaceIni();
    dataPath = types.GetNamespacePath();
  }

  // Nobody is asked: the first run's answers stand, every question is Yes.
  std::ostringstream said;
  std::istringstream nothing;
  platform::HeadlessMessageBoxes messages(platform::Console{&said, &nothing, false}, true);
  platform::HeadlessOpenDialog openDialog(&said);
  for (const std::string& pick : source.picks) openDialog.AddAnswer(pick);
  platform::GivenFolder folder(gameFolder.string());
  platform::EmptyRegistry registry;
  platform::HeadlessEventPump events;
  PatcherPlatform bundle{openDialog, folder, registry, events, messages, files};
  platform::RichTextLog richLog;
  platform::PlainTextLog plainLog;
  try {
    TVEYPatcher patcher(iniName, bundle, appPath, WithTrailingSlash(dataPath.string()));
    patcher.RichLog = &richLog;
    patcher.PlainLog = &plainLog;
    patcher.Compiler.Compiler = source.compiler;
    patcher.Compiler.Sandbox = !source.noSandbox;
    patcher.FileHandler.BackupDir = WithTrailingSlash(source.backupDir);
    if (onLine) patcher.OnLogLine = [&](std::string_view line, const platform::TextAttributes&) { onLine(line); };
    patcher.RunOptions.installationType = source.installationType;
    patcher.RunOptions.confirmReinstall = [](const platform::RunRecord&) { return true; };
    patcher.RunOptions.source = source;
    patcher.RunOptions.lockHeld = true;
    TRunResult result;
    try {
      patcher.Run(result);
      outcome.completed = true;
      outcome.warnings = result.Warnings;
      outcome.errors = result.Errors;
    } catch (...) {
      outcome.warnings = patcher.WarningCount();
      outcome.errors = patcher.ErrorCount();
      throw;
    }
  } catch (const Exception& e) {
    outcome.failure = FailureMessage(e);
  } catch (const std::exception& e) {
    outcome.failure = std::string("An unhandled error occured! ") + e.what();
  }
  return outcome;
}

bool ReinstalledAsBefore(const TReinstallOutcome& outcome, const std::string& verdict) {
  if (!outcome.completed) return false;
  if (outcome.errors > 0) return verdict == "errors";
  if (outcome.warnings > 0) return verdict != "ok";
  return true;
}

}  // namespace vey
