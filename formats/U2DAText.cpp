// U2DAText: reading the text form of a 2DA table into T2DAHandler.
#include <string>
#include <string_view>
#include <vector>

#include "common/Win1252.h"
#include "formats/U2DAEdit.h"

namespace vey {
namespace {

constexpr std::string_view kTextFormSignature = "2DA V2.0";

[[noreturn]] void Malformed(std::size_t line, const std::string& what) {
  throw EDead("Malformatted data encountered while reading 2DA text at line " + std::to_string(line) + ": " + what +
                  ". Unable to load.",
              T2DAHandler::kCodeMalformedText);
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits one line into cells: blanks separate them, and a cell that begins
// with a double quote runs to the next double quote, blanks included.
std::vector<std::string> Cells(std::string_view line, std::size_t lineNumber) {
  std::vector<std::string> cells;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && Blank(line[i])) ++i;
    if (i >= line.size()) break;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) Malformed(lineNumber, "a double quote is not closed");
      cells.emplace_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      const std::size_t start = i;
      while (i < line.size() && !Blank(line[i])) ++i;
      cells.emplace_back(line.substr(start, i - start));
    }
  }
  return cells;
}

bool IsBlankLine(std::string_view line) {
  for (char c : line)
    if (!Blank(c)) return false;
  return true;
}

}  // namespace

bool T2DAHandler::IsTextForm(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  return text.substr(0, kTextFormSignature.size()) == kTextFormSignature;
}

void T2DAHandler::LoadFromTextBytes(std::span<const std::uint8_t> data, const std::string& fileName) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (!IsTextForm(data) || !IsBlankLine(lines[0].substr(kTextFormSignature.size())))
    Malformed(1, "the first line is not \"2DA V2.0\"");

  // Read into locals first, so that a refused file leaves the earlier table.
  std::vector<std::string> columns;
  std::vector<std::string> rowLabels;
  std::vector<std::vector<std::string>> rows;
  bool header = false;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    if (IsBlankLine(lines[n])) continue;
    std::vector<std::string> cells = Cells(lines[n], n + 1);
    if (!header) {
      // The line before the column labels may name a default value.
      if (AsciiLowerCopy(cells[0]).starts_with("default:")) continue;
      columns = std::move(cells);
      header = true;
      continue;
    }
    if (cells.size() > columns.size() + 1)
      Malformed(n + 1, std::to_string(cells.size() - 1) + " cells for " + std::to_string(columns.size()) + " columns");
    rowLabels.push_back(std::move(cells[0]));
    cells.erase(cells.begin());
    rows.push_back(std::move(cells));
  }
  if (!header) Malformed(lines.size(), "the column labels are missing");

  fileName_ = fileName;
  ClearTable();
  columnLabels_ = std::move(columns);
  rowLabels_ = std::move(rowLabels);
  cells_.reserve(rows.size() * columnLabels_.size());
  for (const auto& row : rows)
    for (std::size_t c = 0; c < columnLabels_.size(); ++c)
      cells_.push_back(c < row.size() && !row[c].empty() ? Intern(row[c]) : 0);  // id 0 is "****"
  loaded_ = true;
}

}  // namespace vey
