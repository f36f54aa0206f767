#include "engine/support/UListKeys.h"

#include "common/UQK_Common.h"
#include "common/Win1252.h"

namespace vey {

bool IsReplaceKey(std::string_view key) {
  return key.size() > 7 && StartsWithNoCase(key, "replace") && IsDigits(key.substr(7));
}

}  // namespace vey
