// TerminalColour: hue of an RGB colour to one of the eight basic colours.
#include "platform/TerminalColour.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace vey::platform {

std::string TerminalColour(const TextAttributes& attributes) {
  const int r = attributes.color.r, g = attributes.color.g, b = attributes.color.b;
  const int high = std::max({r, g, b}), low = std::min({r, g, b});
  std::string code;
  // Nearly grey: the terminal's own foreground reads on any background.
  if (high - low >= 48) {
    const double span = high - low;
    double hue = 0;
    if (high == r)
      hue = 60.0 * ((g - b) / span);
    else if (high == g)
      hue = 60.0 * (2.0 + (b - r) / span);
    else
      hue = 60.0 * (4.0 + (r - g) / span);
    if (hue < 0) hue += 360.0;
    // Red 31, yellow 33, green 32, cyan 36, blue 34, magenta 35, in 60-degree sectors.
    static constexpr const char* kBySector[] = {"31", "33", "32", "36", "34", "35"};
    int sector = static_cast<int>((hue + 30.0) / 60.0) % 6;
    code = kBySector[sector];
  }
  if (attributes.bold) code = code.empty() ? "1" : "1;" + code;
  return code;
}

bool ColourWanted(bool isTerminal, const char* noColor, const char* term) {
  if (!isTerminal) return false;
  if (noColor && *noColor) return false;
  return term && *term && std::string_view(term) != "dumb";
}

bool ColourWanted(int fd) {
  return ColourWanted(::isatty(fd) == 1, std::getenv("NO_COLOR"), std::getenv("TERM"));
}

}  // namespace vey::platform
