// GameChoice: the game folder of a command-line install, settled before the
// confirmation question so that the person confirms knowing where it goes.
#pragma once

#include <string>

#include "common/UQK_IniFile.h"
#include "platform/GameFinder.h"
#include "platform/Headless.h"
#include "platform/Platform.h"

namespace vey::cli {

// The edition a mod names with "LookupGameNumber" (1 or 2), or 0 when the
// key is absent and the mod does not say.
int EditionWanted(const TQK_Inifile& ini);

// --game checked: the folder as a full path. UsageError (exit 64) naming the
// path when it is not a folder or holds no "dialog.tlk".
std::string CheckedGameOption(const std::string& gameOption);

// Without --game, in installer mode: the registry folder when the mod looks
// it up and the registry names an existing folder (as the desktop program
// does); else the one game folder the finder sees for the mod's edition. With
// several, the person picks one on the terminal, or without a terminal a
// UsageError lists them. Empty when nothing was found: the installer then
// asks for the folder as before; without a terminal that is a UsageError.
std::string FindGameFolder(const TQK_Inifile& ini, platform::IRegistry& registry,
                           const platform::FinderPlaces& places, platform::Console console);

// The lines that list found games for a person: "[n] folder", then the
// edition when known and where it was seen.
std::string GameListing(const std::vector<platform::FoundGame>& games, bool numbered);

}  // namespace vey::cli
