// TextOutput: the two shapes dump prints in: space-aligned tables and JSON.
// Input text is Windows-1252; everything written is UTF-8.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace vey::cli {

// Rows of UTF-8 cells, printed with each column as wide as its widest cell
// (in characters), two blanks between columns, no trailing blanks.
class AlignedTable {
 public:
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void Print(std::ostream& out) const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Windows-1252 text as UTF-8 with line breaks, tabs and other control bytes
// written as escapes, so that one value stays on one line.
std::string Printable(std::string_view win1252);
// Printable() in double quotes, with quotes and backslashes escaped.
std::string Quoted(std::string_view win1252);
// Windows-1252 text as a JSON string literal.
std::string JsonString(std::string_view win1252);
// text (the ShortestText of value) as a JSON value: quoted when value is not finite.
std::string JsonFloat(double value, std::string text);
// "0x" and eight hexadecimal digits.
std::string Hex32(std::uint32_t value);

}  // namespace vey::cli
