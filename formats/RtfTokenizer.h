// RtfTokenizer: splits RTF bytes into groups, control words, control symbols
// and text, never reading past the end and never failing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vey::rtf {

enum class TokenKind {
  End,          // no bytes left
  GroupOpen,    // {
  GroupClose,   // }
  ControlWord,  // \name or \nameN
  ControlSymbol,  // \ followed by one non-letter; \'hh is HexByte instead
  HexByte,      // \'hh: one byte of text in the current code page
  Text,         // a run of plain text bytes (line breaks of the file dropped)
  Binary,       // the payload of \binN, never text
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view word;  // ControlWord: the letters; Text, Binary: the bytes
  bool hasParam = false;
  std::int32_t param = 0;  // clamped into range; the file may hold any number of digits
  char symbol = 0;         // ControlSymbol
  std::uint8_t byte = 0;   // HexByte
};

class Tokenizer {
 public:
  explicit Tokenizer(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  Token Next();
  std::size_t Position() const { return pos_; }

 private:
  Token ReadControl();
  Token ReadText();

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace vey::rtf
