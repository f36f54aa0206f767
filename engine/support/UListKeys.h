// UListKeys: what a key of an instruction list says by its name alone, for
// the parts that read an instruction file without running it.
#pragma once

#include <string_view>

namespace vey {

// A TLKList key "Replace" in any case followed by decimal digits.
bool IsReplaceKey(std::string_view key);

}  // namespace vey
