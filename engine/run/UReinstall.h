// UReinstall: a recorded run's mod installed again, as it was installed the
// first time and without a question, for hosts that take a run out of the
// middle of a game's history and have no terminal to ask on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "engine/support/URunSource.h"

namespace vey {

struct TReinstallOutcome {
  bool completed = false;  // the run ended with a verdict
  std::int32_t warnings = 0;
  std::int32_t errors = 0;
  std::string failure;  // what ended or refused the run (Windows-1252)
};

// Installs source's mod into gameFolder with its recorded installation type,
// file answers, compiler, sandbox and backup folder. The caller holds the
// game folder's lock. onLine receives each log line (Windows-1252).
TReinstallOutcome ReinstallRun(const TRunSource& source, const std::filesystem::path& gameFolder,
                               const std::function<void(std::string_view)>& onLine = {});

// A mod that installs again with more errors or warnings than its first run
// had does not give the game the person had without the run taken out.
bool ReinstalledAsBefore(const TReinstallOutcome& outcome, const std::string& verdict);

}  // namespace vey
