// LogViews: RTF and UTF-8 writers for the log, and the line-reporting views.
#include "platform/LogViews.h"

#include <algorithm>
#include <cstdio>

#include "common/FileIO.h"
#include "common/Win1252.h"

namespace vey::platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char b) {
  out += "\\'";
  out.push_back(kHex[b >> 4]);
  out.push_back(kHex[b & 0x0F]);
}

// Text of one paragraph: RTF's own characters escaped, bytes outside ASCII as
// \'hh in code page 1252 (so the bullet 0x95 stays one byte).
void AppendRtfText(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    switch (b) {
      case '\\': out += "\\\\"; break;
      case '{': out += "\\{"; break;
      case '}': out += "\\}"; break;
      case '\t': out += "\\tab "; break;
      case '\r':
        // CR LF inside a line is one break; a lone CR is one too.
        if (i + 1 < text.size() && text[i + 1] == '\n') break;
        out += "\\line ";
        break;
      case '\n': out += "\\line "; break;
      default:
        if (b < 0x20 || b >= 0x7F)
          AppendHexByte(out, b);
        else
          out.push_back(static_cast<char>(b));
    }
  }
}

// A font name ends at ';' in the font table, so it may not hold one.
void AppendFontName(std::string& out, std::string_view name) {
  std::string cleaned;
  for (char c : name)
    if (c != ';') cleaned.push_back(c);
  AppendRtfText(out, cleaned);
}

template <typename T>
std::size_t IndexOrAdd(std::vector<T>& table, const T& value) {
  auto it = std::find(table.begin(), table.end(), value);
  if (it != table.end()) return static_cast<std::size_t>(it - table.begin());
  table.push_back(value);
  return table.size() - 1;
}

std::vector<std::uint8_t> AsBytes(const std::string& s) {
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace

void RichTextLog::AppendLine(std::string_view text) {
  lines_.push_back(Line{std::string(text), attributes_});
}

std::string RichTextLog::ToRtf() const {
  // The default font comes first so that \deff0 names it even for an empty log.
  std::vector<std::string> fonts{TextAttributes{}.fontName};
  std::vector<Rgb> colours;
  std::vector<std::pair<std::size_t, std::size_t>> refs;  // font, colour of each line
  refs.reserve(lines_.size());
  for (const Line& line : lines_)
    refs.emplace_back(IndexOrAdd(fonts, line.attributes.fontName),
                      IndexOrAdd(colours, line.attributes.color));

  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033\r\n{\\fonttbl";
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    out += "{\\f" + std::to_string(i) + "\\fmodern\\fcharset0 ";
    AppendFontName(out, fonts[i]);
    out += ";}";
  }
  // Entry 0 of the colour table is the reader's automatic colour, so the
  // line colours are numbered from 1.
  out += "}\r\n{\\colortbl ;";
  for (const Rgb& c : colours)
    out += "\\red" + std::to_string(c.r) + "\\green" + std::to_string(c.g) + "\\blue" +
           std::to_string(c.b) + ";";
  out += "}\r\n\\viewkind4\\uc1\r\n";
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const TextAttributes& a = lines_[i].attributes;
    int halfPoints = std::max(1, a.sizePoints) * 2;
    out += "\\pard\\ql\\li0\\fi0\\plain\\f" + std::to_string(refs[i].first) + "\\fs" +
           std::to_string(halfPoints) + "\\cf" + std::to_string(refs[i].second + 1);
    // The delimiting space after the control words is eaten by the reader, so
    // a line that starts with a space keeps it.
    out += a.bold ? "\\b " : " ";
    AppendRtfText(out, lines_[i].text);
    out += a.bold ? "\\b0\\par\r\n" : "\\par\r\n";
  }
  out += "}\r\n";
  return out;
}

void RichTextLog::SaveToFile(const std::filesystem::path& path) const {
  WriteFileAtomic(path, AsBytes(ToRtf()));
}

std::string PlainTextLog::ToText() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += Win1252ToUtf8(line);
    out.push_back('\n');
  }
  return out;
}

void PlainTextLog::SaveToFile(const std::filesystem::path& path) const {
  WriteFileAtomic(path, AsBytes(ToText()));
}

void TeeRichLog::Clear() {
  if (inner_) inner_->Clear();
}

void TeeRichLog::SetWordWrap(bool on) {
  if (inner_) inner_->SetWordWrap(on);
}

void TeeRichLog::SetAttributes(const TextAttributes& attributes) {
  attributes_ = attributes;
  if (inner_) inner_->SetAttributes(attributes);
}

void TeeRichLog::AppendLine(std::string_view text) {
  if (inner_) inner_->AppendLine(text);
  if (onLine_) onLine_(text, attributes_);
}

void TeePlainLog::Clear() {
  if (inner_) inner_->Clear();
}

void TeePlainLog::AppendLine(std::string_view text) {
  if (inner_) inner_->AppendLine(text);
  if (onLine_) onLine_(text);
}

std::string TerminalText(std::string_view text) {
  std::string safe(text);
  for (char& c : safe) {
    auto b = static_cast<unsigned char>(c);
    // The five unassigned bytes of the code page decode to C1 controls.
    bool control = (b < 0x20 && b != '\t' && b != '\n') || b == 0x7F ||
                   (b >= 0x80 && Win1252ToCodePoint(b) < 0xA0);
    if (control) c = '?';
  }
  return Win1252ToUtf8(safe);
}

std::string TerminalLine(std::string_view text, const TextAttributes& attributes, bool colour) {
  std::string body = TerminalText(text);
  if (!colour) return body;
  char start[48];
  std::snprintf(start, sizeof start, "\x1b[%s38;2;%u;%u;%um", attributes.bold ? "1;" : "",
                attributes.color.r, attributes.color.g, attributes.color.b);
  return start + body + "\x1b[0m";
}

}  // namespace vey::platform
