// ModListRun: one entry of a mod list run against the game folder: an
// installer mod as `install` runs it (unattended, with its installation
// type), or a copy mod whose files are copied into a game folder, matching
// existing names without regard to letter case. With a journal each entry is
// its own undoable run; without one it is part of a dry run.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>

#include "cli/ModListPrepare.h"
#include "engine/support/UCompilerLauncher.h"
#include "platform/GameFileSystem.h"

namespace vey {
class TRunReport;
}

namespace vey::cli {

class ProgressBar;

struct EntryRun {
  // "ok", "warnings", "errors", "failed" (rolled back), "cancelled" (rolled
  // back), "locked" (another installation holds the game folder).
  std::string verdict;
  int warnings = 0, errors = 0;
  std::string runId;    // the journal's run, when one was kept
  std::string message;  // why it failed, else its first error; UTF-8
  bool Failed() const { return verdict == "failed" || verdict == "cancelled" || verdict == "locked"; }
};

struct RunSetting {
  platform::GameFileSystem& files;
  std::string gameFolder;
  bool journal = true;
  const std::atomic<bool>* cancel = nullptr;
  // The log lines, as `install` prints them; null prints none.
  std::ostream* out = nullptr;
  bool colour = false;
  ProgressBar* bar = nullptr;
  // Notes what an installer mod changes inside files, when set (it observes
  // the file system itself, so copies are seen too).
  TRunReport* report = nullptr;
  // Seconds a script compile may take (--compile-timeout).
  int compileTimeout = TCompilerSettings::kDefaultCompileTimeout;
  // The person's options for the whole list (the compiler); null: none.
  const ListSettings* list = nullptr;
  // The caller holds the game folder's lock (an update in place).
  bool lockHeld = false;
};

EntryRun RunListEntry(const PreparedMod& mod, const RunSetting& setting);

}  // namespace vey::cli
