// UStrTok: the tokenizer's one split rule.
#include "common/UStrTok.h"

#include "common/StrFormat.h"

namespace vey {

TStringTokenizer::TStringTokenizer(std::string_view text, char delimiter) {
  if (text.size() < 3) {
    tokens_.emplace_back(text);
    return;
  }
  std::size_t start = 0;  // first character after the previous delimiter
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == delimiter) {
      if (i > start) tokens_.emplace_back(text.substr(start, i - start));
      start = i + 1;
    } else if (i + 1 == text.size()) {
      tokens_.emplace_back(text.substr(start));
    }
  }
}

std::string TStringTokenizer::GetToken(std::int32_t index) const {
  if (index < 0) throw EStringListError(FormatMsg("List index out of bounds (%s)", {IntToStr(index)}));
  if (index >= Count()) return {};
  return tokens_[static_cast<std::size_t>(index)];
}

std::string TStringTokenizer::First() {
  position_ = 0;
  return GetToken(0);
}

std::string TStringTokenizer::Next() {
  if (position_ + 1 >= Count()) return {};
  ++position_;
  return GetToken(position_);
}

}  // namespace vey
