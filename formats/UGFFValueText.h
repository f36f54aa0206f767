// UGFFValueText: GFF field values as text. The dump and the comparison print
// the same numbers, names and bytes; only the notation around them differs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/UGFFFile.h"

namespace vey {

// "Byte" ... "Position"; "None" for a number outside the known types.
const char* GFFTypeName(TGFFFieldType type);
// A StrRef as documents write it: "-1" for no string.
std::string StrRefText(std::uint32_t ref);
// Raw bytes as lower-case hexadecimal.
std::string HexText(std::string_view bytes);
// The shortest decimal text that reads back as the same value.
std::string ShortestText(double value);
std::string ShortestText(float value);

// What one reader of the values expects around them.
struct TGFFValueNotation {
  // A Char, ExoString or ResRef value (Windows-1252 bytes) as printed.
  std::string (*text)(std::string_view win1252) = nullptr;
  // A Float or Double given with its shortest text; null prints that text.
  std::string (*real)(double value, std::string shortest) = nullptr;
  // Between the components of an orientation or position.
  const char* separator = ", ";
  bool bracketVectors = false;  // "[...]" around those components
  bool quoteBytes = false;      // a Void's hexadecimal in double quotes
  // What a struct, list or localized string yields here.
  const char* nonScalar = "";
};

// The value of a field that holds no other fields.
std::string GFFValueText(const TGFFField& field, const TGFFValueNotation& notation);

}  // namespace vey
