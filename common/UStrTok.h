// UStrTok: TStringTokenizer, which splits field paths and value lists at one
// delimiter character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/VeyException.h"

namespace vey {

// A negative token index.
VEY_DECLARE_FAILURE(EStringListError);

// Splits once, at construction. Texts shorter than three characters stay whole
// (so "." or "a." is one token); longer texts lose every empty token (leading,
// trailing or doubled delimiters). No quoting or escapes.
class TStringTokenizer {
 public:
  TStringTokenizer(std::string_view text, char delimiter);

  // Empty when index >= Count(); a negative index raises EStringListError.
  std::string GetToken(std::int32_t index) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(tokens_.size()); }
  // Rewinds to the first token; empty when there is none.
  std::string First();
  // The token after the current one; empty (and the position unchanged) at the end.
  std::string Next();
  const std::vector<std::string>& Tokens() const { return tokens_; }

 private:
  std::vector<std::string> tokens_;
  std::int32_t position_ = 0;
};

}  // namespace vey
