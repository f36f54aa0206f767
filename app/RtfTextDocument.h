// RtfTextDocument: the information text read by the RTF reader, laid out in a
// QTextDocument: paragraphs with their alignment, indents and spacing, runs
// with their font, size, weight, colours and decorations, list markers, and
// links as anchors.
#pragma once

#include <QFont>
#include <QTextDocument>

#include "formats/URtfReader.h"

namespace vey::app {

// Replaces the content of out. base supplies the family and size of runs
// that name none; fonts the file marks as fixed-pitch become the desktop's
// fixed font.
void BuildRtfDocument(const rtf::Document& document, QTextDocument& out, const QFont& base);

// True when bytes are neither RTF nor text: NUL bytes, or many control
// characters, in what the reader took for plain text.
bool LooksBinary(const rtf::Document& document, std::span<const std::uint8_t> bytes);

// The link schemes a click opens; anything else (a local program, a script
// URL) is refused, since the text comes from a downloaded mod.
bool IsOpenableLink(const QUrl& url);

}  // namespace vey::app
