// RtfText: UTF-8 output, field links, the plain-text fallback and the plain
// rendering of a read document.
#include "formats/RtfText.h"

#include <vector>

#include "common/Win1252.h"

namespace vey::rtf {
namespace {

constexpr std::size_t kMaxPlainLines = 100'000;
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";  // U+2028

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Reads one UTF-8 sequence at text[i]; false for anything malformed
// (overlong forms, surrogates, beyond U+10FFFF, cut short).
bool NextUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  auto b = static_cast<unsigned char>(text[i]);
  int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || i + extra >= text.size()) return false;
  cp = extra == 0 ? b : b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += extra + 1;
  return true;
}

bool IsValidUtf8(std::string_view text) {
  char32_t cp = 0;
  for (std::size_t i = 0; i < text.size();)
    if (!NextUtf8(text, i, cp)) return false;
  return true;
}

// Splits on spaces, keeping "quoted text" whole; a doubled backslash in
// quotes is one, as field codes write folder names.
std::vector<std::string> FieldWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsSpace(text[i])) {
      ++i;
      continue;
    }
    std::string word;
    if (text[i] == '"') {
      ++i;
      while (i < text.size() && text[i] != '"') {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
        word.push_back(text[i++]);
      }
      ++i;
    } else {
      while (i < text.size() && !IsSpace(text[i])) word.push_back(text[i++]);
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace

void AppendShown(std::string& out, char32_t cp) {
  if (cp < 0x20 && cp != '\t') return;
  if ((cp >= 0x7F && cp <= 0x9F) || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF)
    return;
  AppendUtf8(out, cp);
}

std::string TrimmedSpaces(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string HyperlinkTarget(std::string_view instruction) {
  std::vector<std::string> words = FieldWords(instruction);
  if (words.empty() || !EqualsNoCase(words[0], "HYPERLINK")) return {};
  std::string url;
  std::string anchor;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() == 2 && word[0] == '\\') {
      char sw = AsciiLower(word[1]);
      if (sw == 'l' && i + 1 < words.size()) anchor = words[++i];
      if (sw == 'o' || sw == 't') ++i;  // a tooltip or a target frame, not the link
      continue;
    }
    if (url.empty()) url = word;
  }
  if (!anchor.empty()) url += "#" + anchor;
  return url;
}

Document ReadPlainText(std::span<const std::uint8_t> bytes) {
  std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
  std::string text;
  if (IsValidUtf8(raw)) {
    text.reserve(raw.size());
    char32_t cp = 0;
    for (std::size_t i = 0; i < raw.size() && NextUtf8(raw, i, cp);) {
      if (cp == '\n' || cp == '\r')
        text.push_back(static_cast<char>(cp));
      else
        AppendShown(text, cp);
    }
  } else {
    text.reserve(raw.size() + raw.size() / 4);
    for (char c : raw) {
      if (c == '\n' || c == '\r')
        text.push_back(c);
      else
        AppendShown(text, Win1252ToCodePoint(static_cast<unsigned char>(c)));
    }
  }
  Document doc;
  std::size_t start = 0;
  while (start < text.size() && doc.paragraphs.size() < kMaxPlainLines) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    Paragraph paragraph;
    if (end > start) paragraph.runs.push_back({text.substr(start, end - start), {}});
    doc.paragraphs.push_back(std::move(paragraph));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return doc;
}

std::string PlainText(const Document& document) {
  std::string out;
  for (const Paragraph& paragraph : document.paragraphs) {
    if (!paragraph.style.listMarker.empty()) out += paragraph.style.listMarker + " ";
    std::string linkText;
    for (std::size_t i = 0; i < paragraph.runs.size(); ++i) {
      const Run& run = paragraph.runs[i];
      for (std::size_t at = 0; at < run.text.size();) {
        std::size_t next = run.text.find(kLineSeparator, at);
        out.append(run.text, at, next == std::string::npos ? std::string::npos : next - at);
        if (next == std::string::npos) break;
        out += '\n';
        at = next + kLineSeparator.size();
      }
      const std::string& link = run.style.link;
      if (link.empty()) continue;
      linkText += run.text;
      bool lastOfLink = i + 1 == paragraph.runs.size() || paragraph.runs[i + 1].style.link != link;
      if (!lastOfLink) continue;
      // A link within the document, or one whose text is its address, says nothing more.
      if (link[0] != '#' && TrimmedSpaces(linkText) != link) out += " <" + link + ">";
      linkText.clear();
    }
    out += '\n';
  }
  return out;
}

}  // namespace vey::rtf
