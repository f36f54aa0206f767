// RtfText: the text helpers the RTF reader shares with its plain-text
// fallback: code points to UTF-8 with control characters dropped, and the
// target of a HYPERLINK field.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/URtfReader.h"

namespace vey::rtf {

// Appends cp as UTF-8 unless it is a control character (tabs and U+2028
// stay): escape sequences in a file must never reach a terminal.
void AppendShown(std::string& out, char32_t cp);

std::string TrimmedSpaces(std::string_view text);

// The link of a field instruction such as: HYPERLINK "https://x" \o "tip";
// empty when the field is not a link.
std::string HyperlinkTarget(std::string_view instruction);

// Bytes that are not RTF: one paragraph per line.
Document ReadPlainText(std::span<const std::uint8_t> bytes);

}  // namespace vey::rtf
