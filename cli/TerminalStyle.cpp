// TerminalStyle: choosing and writing terminal colours.
#include "cli/TerminalStyle.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace vey::cli {

bool TerminalWantsStyles(int fd) {
  const char* noColour = std::getenv("NO_COLOR");
  if (noColour != nullptr && *noColour != '\0') return false;
  const char* term = std::getenv("TERM");
  if (term != nullptr && std::string_view(term) == "dumb") return false;
  return ::isatty(fd) == 1;
}

std::optional<int> NearestTerminalColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const int high = std::max({r, g, b});
  const int low = std::min({r, g, b});
  const int chroma = high - low;
  if (high < 48) return std::nullopt;  // black
  if (chroma * 4 < high) {
    // Greys: the middle ones keep a colour of their own, the ends are ink and paper.
    return high < 160 ? std::optional<int>(8) : std::nullopt;
  }
  int hue;  // degrees
  if (high == r)
    hue = 60 * (g - b) / chroma;
  else if (high == g)
    hue = 120 + 60 * (b - r) / chroma;
  else
    hue = 240 + 60 * (r - g) / chroma;
  hue = (hue + 360) % 360;
  // Terminal colour numbers: 1 red, 3 yellow, 2 green, 6 cyan, 4 blue, 5 magenta.
  static constexpr int kBySector[] = {1, 3, 2, 6, 4, 5};
  const int colour = kBySector[((hue + 30) / 60) % 6];
  const bool pastel = low >= 96;
  return pastel ? colour + 8 : colour;
}

std::string Styled(const std::string& text, const TerminalStyle& style) {
  if (style.Plain() || text.empty()) return text;
  std::string codes;
  auto add = [&codes](int code) {
    if (!codes.empty()) codes += ';';
    codes += std::to_string(code);
  };
  if (style.bold) add(1);
  if (style.italic) add(3);
  if (style.underline) add(4);
  if (style.strike) add(9);
  if (style.foreground) add(*style.foreground < 8 ? 30 + *style.foreground : 90 + *style.foreground - 8);
  if (style.background) add(*style.background < 8 ? 40 + *style.background : 100 + *style.background - 8);
  return "\x1b[" + codes + "m" + text + "\x1b[0m";
}

}  // namespace vey::cli
