// Win1252: Windows-1252 text at the edges (to UTF-8 for people) and ASCII-only
// case folding for the names the game and instruction files compare.
#pragma once

#include <string>
#include <string_view>

namespace vey {

// The Unicode code point of one Windows-1252 byte. The five bytes the code page
// leaves unassigned map to the C1 control of the same value.
char32_t Win1252ToCodePoint(unsigned char byte);

std::string Win1252ToUtf8(std::string_view text);

// The byte that stands for cp in Windows-1252 (the five unassigned bytes for
// their C1 controls), or -1 when the code page has none.
int Win1252FromCodePoint(char32_t cp);

// One code point (up to U+10FFFF) appended to out as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 (a terminal argument, a file name on disk) to Windows-1252; characters
// the code page cannot hold become '?'. Invalid UTF-8 bytes are taken as
// Windows-1252 already.
std::string Utf8ToWin1252(std::string_view text);

// Folds A-Z only, never through a locale.
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string AsciiLowerCopy(std::string_view s);
std::string AsciiUpperCopy(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

}  // namespace vey
