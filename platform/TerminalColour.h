// TerminalColour: log colours as the terminal's own palette. The rich log's
// exact colours are chosen for a white page; a terminal may be dark or
// light, so each colour is shown as the nearest of the palette's basic hues
// (which the person's theme keeps readable), and greys as the default text
// colour.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace vey::platform {

// The SGR parameters ("1;33") for a line with these attributes; empty when
// the line keeps the terminal's default look.
std::string TerminalColour(const TextAttributes& attributes);

// Whether colour escapes may be written to this descriptor: it is a terminal,
// NO_COLOR is unset or empty, and TERM names a terminal other than "dumb".
bool ColourWanted(int fd);
// The same decision from its parts, for tests.
bool ColourWanted(bool isTerminal, const char* noColor, const char* term);

}  // namespace vey::platform
