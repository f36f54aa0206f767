// Counted: a number with its noun for a person to read.
#include "common/Counted.h"

#include "common/StrFormat.h"

namespace vey {

std::string Counted(std::int64_t count, std::string_view noun, std::string_view plural) {
  std::string text = IntToStr(count) + ' ';
  if (count == 1) return text.append(noun);
  if (!plural.empty()) return text.append(plural);
  return text.append(noun).append("s");
}

}  // namespace vey
