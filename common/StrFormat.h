// StrFormat: fills the "%s" places of the system's message texts in order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vey {

// Each "%s" takes the next argument; surplus places stay empty and surplus
// arguments are ignored. No other directive is interpreted, so a value that
// itself contains "%s" is inserted verbatim.
std::string FormatMsg(std::string_view pattern, std::initializer_list<std::string_view> args);

// Decimal text of a number, independent of the process locale.
std::string IntToStr(std::int64_t value);

// True when text holds a control character (below 0x20, or 0x7F).
bool HasControlCharacter(std::string_view text);
// text with every control character shown as "<XX>" (two hex digits) and,
// when tabsToo is false, tabs kept: such text stays on one line.
std::string ShowControlCharacters(std::string_view text, bool tabsToo = true);

}  // namespace vey
