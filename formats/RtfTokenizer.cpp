// RtfTokenizer: the lexical layer of the information-text reader.
#include "formats/RtfTokenizer.h"

#include <algorithm>
#include <limits>

namespace vey::rtf {
namespace {

constexpr std::size_t kMaxWordLength = 32;  // longer names are cut; the rest is consumed

bool IsLetter(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

Token Of(TokenKind kind) {
  Token token;
  token.kind = kind;
  return token;
}

Token Symbol(char symbol) {
  Token token = Of(TokenKind::ControlSymbol);
  token.symbol = symbol;
  return token;
}

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Token Tokenizer::Next() {
  while (pos_ < bytes_.size()) {
    std::uint8_t c = bytes_[pos_];
    if (c == '\r' || c == '\n') {  // line breaks of the file are not text
      ++pos_;
      continue;
    }
    if (c == '{') {
      ++pos_;
      return Of(TokenKind::GroupOpen);
    }
    if (c == '}') {
      ++pos_;
      return Of(TokenKind::GroupClose);
    }
    if (c == '\\') return ReadControl();
    return ReadText();
  }
  return {};
}

Token Tokenizer::ReadText() {
  std::size_t start = pos_;
  while (pos_ < bytes_.size()) {
    std::uint8_t c = bytes_[pos_];
    if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n') break;
    ++pos_;
  }
  Token token = Of(TokenKind::Text);
  token.word = {reinterpret_cast<const char*>(bytes_.data()) + start, pos_ - start};
  return token;
}

Token Tokenizer::ReadControl() {
  ++pos_;  // the backslash
  if (pos_ >= bytes_.size()) return {};
  std::uint8_t c = bytes_[pos_];
  if (!IsLetter(c)) {
    ++pos_;
    if (c == '\'') {
      int high = pos_ < bytes_.size() ? HexValue(bytes_[pos_]) : -1;
      int low = pos_ + 1 < bytes_.size() ? HexValue(bytes_[pos_ + 1]) : -1;
      if (high < 0 || low < 0) {
        // A broken escape shows nothing rather than its raw letters.
        pos_ += (high >= 0) ? 1 : 0;
        return Symbol('?');
      }
      pos_ += 2;
      Token token = Of(TokenKind::HexByte);
      token.byte = static_cast<std::uint8_t>(high * 16 + low);
      return token;
    }
    // A backslash before a line break is a paragraph mark.
    return Symbol(static_cast<char>(c == '\r' || c == '\n' ? '\n' : c));
  }
  std::size_t start = pos_;
  while (pos_ < bytes_.size() && IsLetter(bytes_[pos_])) ++pos_;
  Token token = Of(TokenKind::ControlWord);
  token.word = {reinterpret_cast<const char*>(bytes_.data()) + start, std::min(pos_ - start, kMaxWordLength)};
  bool negative = false;
  if (pos_ + 1 < bytes_.size() && bytes_[pos_] == '-' && IsDigit(bytes_[pos_ + 1])) {
    negative = true;
    ++pos_;
  }
  if (pos_ < bytes_.size() && IsDigit(bytes_[pos_])) {
    token.hasParam = true;
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    while (pos_ < bytes_.size() && IsDigit(bytes_[pos_])) {
      value = std::min<std::int64_t>(value * 10 + (bytes_[pos_] - '0'), kLimit);
      ++pos_;
    }
    token.param = static_cast<std::int32_t>(negative ? -value : value);
  }
  if (pos_ < bytes_.size() && bytes_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
  if (token.word == "bin" && token.hasParam && token.param > 0) {
    // Raw bytes follow; they may hold braces and backslashes of no meaning.
    std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(token.param), bytes_.size() - pos_);
    Token payload = Of(TokenKind::Binary);
    payload.word = {reinterpret_cast<const char*>(bytes_.data()) + pos_, length};
    pos_ += length;
    return payload;
  }
  return token;
}

}  // namespace vey::rtf
