// UInstructionText: what the run says about the text of its instruction file.
#pragma once

namespace vey {

class TVEYPatcher;

// One Warning per line of a UTF-8 instruction file that held a character
// Windows-1252 cannot hold (written to the game files as '?'), naming the key.
void LogLostCharacters(TVEYPatcher& patcher);

}  // namespace vey
