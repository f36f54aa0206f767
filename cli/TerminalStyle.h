// TerminalStyle: the few escape sequences `info` writes, in the terminal's own
// 16 colours so that they read on dark and light themes alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vey::cli {

// Styles only for a terminal: not when NO_COLOR is set (to anything but
// empty), TERM is "dumb", or the descriptor is no terminal.
bool TerminalWantsStyles(int fd);

// The nearest of the 16 terminal colours (0-7 normal, 8-15 bright) by hue and
// lightness; none for black, white and light grey, which stand for the
// document's ink and paper and so become the terminal's own.
std::optional<int> NearestTerminalColour(std::uint8_t r, std::uint8_t g, std::uint8_t b);

struct TerminalStyle {
  bool bold = false, italic = false, underline = false, strike = false;
  std::optional<int> foreground;  // 0-15
  std::optional<int> background;  // 0-15
  bool Plain() const { return !bold && !italic && !underline && !strike && !foreground && !background; }
};

// text wrapped in the style's escape sequence and a reset; text alone for a plain style.
std::string Styled(const std::string& text, const TerminalStyle& style);

}  // namespace vey::cli
