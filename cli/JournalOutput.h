// JournalOutput: what the commands over a game folder's recorded runs share:
// the game folder given, a mod's short name, and the writing of a result file.
#pragma once

#include <cstddef>
#include <string>

namespace vey {
class TRunHistory;
}

namespace vey::cli {

// The absolute, normal form of --game; UsageError when it is not a folder.
std::string GameFolder(const std::string& given);
// Text padded with blanks to a column's width.
std::string Pad(std::string text, std::size_t width);
// The last component of a mod folder.
std::string ModName(const std::string& folder);
// Writes text to the file ("-": standard output); false, with a line on
// standard error, when it cannot.
bool WriteResultFile(const std::string& destination, const std::string& text);
// Settles what a kill cut short (an uninstallation, a reset, unfinished runs,
// a replay) before a command acts, saying so on standard output. Needs the
// lock; raises what TRunHistory raises.
void RecoverFirst(TRunHistory& history);

}  // namespace vey::cli
