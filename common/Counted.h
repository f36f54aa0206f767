// Counted: a number with its noun for a person to read ("1 mod", "2 mods").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vey {

// count and noun, the noun in the singular when count is one and else in the
// plural, which is noun + "s" unless given ("entry", "entries").
std::string Counted(std::int64_t count, std::string_view noun, std::string_view plural = {});

}  // namespace vey
