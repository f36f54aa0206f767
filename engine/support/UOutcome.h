// UOutcome: the closing messages of a run, shared by the window and the
// command line: the verdict box for the error and warning counts, and the box
// for a failure that ended the run, with its class tag.
#pragma once

#include <cstdint>
#include <string>

#include "common/VeyException.h"

namespace vey {

// installer: the instruction file's "InstallerMode". Windows-1252 text.
std::string OutcomeMessage(bool installer, std::int32_t warnings, std::int32_t errors);
// True when the counts call for the information box rather than the warning box.
inline bool OutcomeIsAllClear(std::int32_t warnings, std::int32_t errors) { return warnings == 0 && errors == 0; }

// "An error occured! %s (%s)" with the failure's class tag, or the
// unhandled-error text for a failure class that has no tag.
std::string FailureMessage(const Exception& e);

}  // namespace vey
