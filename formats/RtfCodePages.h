// RtfCodePages: bytes of an information text in the code page its fonts name.
#pragma once

namespace vey::rtf {

// A symbol font's bytes are glyph numbers, not letters of any code page.
inline constexpr int kSymbolCodePage = -2;

// The code page a font's \fcharset stands for; 0 when the charset names none
// this reader holds (the document's \ansicpg then applies).
int CodePageOfCharset(int charset);

bool IsKnownCodePage(int codePage);

// One byte as a code point; unknown code pages read as Windows-1252.
char32_t DecodeByte(int codePage, unsigned char byte);

}  // namespace vey::rtf
