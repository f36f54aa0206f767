// LogViews: RTF and UTF-8 writers for the log, and the line-reporting views.
#include "platform/LogViews.h"

#include <algorithm>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/Win1252.h"
#include "platform/TerminalColour.h"

namespace vey::platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char b) {
  out += "\\'";
  out.push_back(kHex[b >> 4]);
  out.push_back(kHex[b & 0x0F]);
}

void AppendUnicode(std::string& out, char32_t cp) {
  // \uN takes a signed 16-bit number; characters beyond it go as two halves.
  auto one = [&out](char32_t unit) {
    out += "\\u" + std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(unit))) + "?";
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    one(0xD800 + (cp >> 10));
    one(0xDC00 + (cp & 0x3FF));
  } else {
    one(cp);
  }
}

// Text of one paragraph: RTF's own characters escaped, characters of code
// page 1252 as \'hh (so the bullet 0x95 stays one byte), any other character
// (from a marked path) as \uN.
void AppendRtfText(std::string& out, std::string_view text) {
  const std::u32string chars = MessageCodePoints(text);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '{': out += "\\{"; continue;
      case '}': out += "\\}"; continue;
      case '\t': out += "\\tab "; continue;
      case '\r':
        // CR LF inside a line is one break; a lone CR is one too.
        if (i + 1 < chars.size() && chars[i + 1] == '\n') continue;
        out += "\\line ";
        continue;
      case '\n': out += "\\line "; continue;
      default: break;
    }
    const int byte = Win1252FromCodePoint(c);
    if (byte < 0)
      AppendUnicode(out, c);
    else if (byte < 0x20 || byte >= 0x7F)
      AppendHexByte(out, static_cast<unsigned char>(byte));
    else
      out.push_back(static_cast<char>(byte));
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
    out += MessageToUtf8(line);
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
  std::string out;
  out.reserve(text.size());
  for (char32_t c : MessageCodePoints(text)) {
    // C1 controls come from the five unassigned bytes of the code page.
    bool control = (c < 0x20 && c != '\t' && c != '\n') || (c >= 0x7F && c < 0xA0);
    AppendUtf8(out, control ? U'?' : c);
  }
  return out;
}

std::string TerminalLine(std::string_view text, const TextAttributes& attributes, bool colour) {
  std::string body = TerminalText(text);
  if (!colour) return body;
  const std::string sgr = TerminalColour(attributes);
  if (sgr.empty()) return body;
  return "\x1b[" + sgr + "m" + body + "\x1b[0m";
}

}  // namespace vey::platform
