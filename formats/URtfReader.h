// URtfReader: the mod's information text read from RTF into paragraphs of
// styled text runs, free of any toolkit, so that the window and the terminal
// show the same text. Text comes out as UTF-8: it is only ever read by people.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vey::rtf {

struct Color {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Color&) const = default;
};

struct RunStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  bool caps = false;
  bool smallCaps = false;
  std::string fontName;            // empty: the reader's default font
  bool monospace = false;          // the font table marks the font as fixed-pitch (\fmodern)
  int halfPoints = 24;             // \fs
  std::optional<Color> color;      // \cf; none: the view's text colour
  std::optional<Color> highlight;  // \highlight or \cb
  std::string link;                // target of a HYPERLINK field, UTF-8
  bool operator==(const RunStyle&) const = default;
};

enum class Align { Left, Center, Right, Justify };

struct ParagraphStyle {
  Align align = Align::Left;
  // Twips (1/20 point), as the file gives them.
  int leftIndent = 0;
  int rightIndent = 0;
  int firstIndent = 0;
  int spaceBefore = 0;
  int spaceAfter = 0;
  int lineSpacing = 0;     // \sl; 0 is single spacing
  std::string listMarker;  // the bullet or number of a list paragraph (\listtext, \pntext), UTF-8
  bool operator==(const ParagraphStyle&) const = default;
};

struct Run {
  std::string text;  // UTF-8; '\t' for tabs, U+2028 for \line
  RunStyle style;
};

struct Paragraph {
  ParagraphStyle style;
  std::vector<Run> runs;
};

struct Document {
  bool isRtf = false;  // false: the bytes were not RTF and are shown as plain text
  std::vector<Paragraph> paragraphs;
};

// Never throws on malformed input: unbalanced braces, a file cut short or
// binary bytes give whatever text could be read. Bytes that do not start with
// "{\rtf" are plain text (Windows-1252, or UTF-8 when they are valid UTF-8),
// one paragraph per line.
Document ReadRtf(std::span<const std::uint8_t> bytes);

// The document as plain UTF-8 text, one line per paragraph, list markers and
// link targets included; what a terminal without styles shows.
std::string PlainText(const Document& document);

}  // namespace vey::rtf
