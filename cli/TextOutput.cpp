// TextOutput: aligned tables, escapes and number texts for dump.
#include "cli/TextOutput.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "common/Win1252.h"

namespace vey::cli {

namespace {

std::size_t Width(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string Escaped(std::string_view win1252, bool quoteMarks, bool json) {
  std::string out;
  for (char ch : win1252) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '"':
        out += quoteMarks ? "\\\"" : "\"";
        continue;
      case '\\':
        out += quoteMarks ? "\\\\" : "\\";
        continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, json ? "\\u%04x" : "\\x%02x", c);
      out += buf;
    } else {
      out += Win1252ToUtf8(std::string_view(&ch, 1));
    }
  }
  return out;
}

}  // namespace

void AlignedTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths;
  for (const auto& row : rows_) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  for (const auto& row : rows_) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - Width(row[i]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  }
}

std::string Printable(std::string_view win1252) { return Escaped(win1252, false, false); }

namespace {

// Built in place: GCC 12 at -O3 takes a quote joined to a temporary for an
// overlapping copy.
std::string InQuotes(std::string_view win1252, bool json) {
  std::string quoted(1, '"');
  quoted += Escaped(win1252, true, json);
  quoted += '"';
  return quoted;
}

}  // namespace

std::string Quoted(std::string_view win1252) { return InQuotes(win1252, false); }

std::string JsonString(std::string_view win1252) { return InQuotes(win1252, true); }

std::string JsonFloat(double value, std::string text) {
  // JSON has no numbers for these; a damaged value still prints.
  return std::isfinite(value) ? text : "\"" + text + "\"";
}

std::string Hex32(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", value);
  return buf;
}

}  // namespace vey::cli
