// UInstructionText: warnings about characters lost converting a UTF-8
// instruction file to the game's code page.
#include "engine/run/UInstructionText.h"

#include "common/StrFormat.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {

void LogLostCharacters(TVEYPatcher& patcher) {
  for (const TQK_IniLostChar& lost : patcher.IniFile().LostCharacters()) {
    const std::string line = IntToStr(lost.line);
    if (!lost.key.empty())
      patcher.LogMessage(FormatMsg("Key \"%s\" in section \"%s\" (line %s) holds a character that Windows-1252 "
                                   "cannot hold; it is written as \"?\".",
                                   {lost.key, lost.section, line}),
                         LogKind::Warning);
    else
      patcher.LogMessage(FormatMsg("Line %s of the instruction file holds a character that Windows-1252 cannot "
                                   "hold; it is read as \"?\".",
                                   {line}),
                         LogKind::Warning);
  }
}

}  // namespace vey
