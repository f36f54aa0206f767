// UFormatDiff: structural comparison of two files of one game format. Each
// difference names where it is in terms an author uses (a table cell, a GFF
// path as instruction files write it, a StrRef, a resource name) and gives
// both values as display text.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vey {

class T2DAHandler;
class TGFFField;
class TGFFFile;
class TTLKFileHandler;
class TSSFFile;
class TERFHandler;

struct TDifference {
  enum class Kind { Changed, OnlyInFirst, OnlyInSecond };
  Kind kind = Kind::Changed;
  // Windows-1252 text (labels come from the files). Texts among the values
  // are in double quotes, with quotes and backslashes escaped.
  std::string where;
  std::string first;   // empty for OnlyInSecond
  std::string second;  // empty for OnlyInFirst
};
using TDifferences = std::vector<TDifference>;

// Rows by index, columns by label (ASCII case ignored, first of equal
// labels), cells of the rows and columns both tables have. A change of
// letter case in a column label and a different order of the shared columns
// count as differences.
TDifferences DiffTables(const T2DAHandler& first, const T2DAHandler& second);

// Fields by label within each struct, list elements by index; a localized
// string compares its StrRef and each language's text on their own.
TDifferences DiffDocuments(const TGFFFile& first, const TGFFFile& second);
// One field against another as DiffDocuments compares them, leaving out the
// fields a struct or list holds: for structs only their types.
TDifferences DiffFieldValues(const TGFFField& first, const TGFFField& second, const std::string& path);

// Entries by StrRef, each stored field on its own; the language id.
TDifferences DiffTalkTables(const TTLKFileHandler& first, const TTLKFileHandler& second);

TDifferences DiffSoundsets(const TSSFFile& first, const TSSFFile& second);

// The archive's content in a short text (for example a hexadecimal digest).
using TContentDigest = std::function<std::string(std::span<const std::uint8_t>)>;

// Resources by name and extension (case ignored), compared by content; a
// changed resource is shown by its size and digest. Also the file type, the
// description StrRef and the localized strings.
TDifferences DiffArchives(const TERFHandler& first, const TERFHandler& second, const TContentDigest& digest);

namespace diff_detail {
// value in double quotes, with quotes and backslashes escaped.
std::string QuotedText(std::string_view value);
}  // namespace diff_detail

}  // namespace vey
