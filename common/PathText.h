// PathText: file system paths inside message text.
//
// Message and log text is Windows-1252, while a path is the file system's
// bytes (UTF-8 on Linux). A path is converted when it is inserted into a
// message: every character Windows-1252 holds becomes its byte, so the text
// stays plain Windows-1252 for every reader; any other character is written
// as a mark, byte 0x81 (unassigned in the code page), its code point in
// upper-case hexadecimal, and 0x81 again. The edges that show text to a
// person (terminal, log files, message boxes) decode the marks; a reader
// that does not know them shows "?" for each mark byte.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vey {

constexpr char kPathMark = '\x81';

// A path as message text. Bytes that are not valid UTF-8 (a folder named in
// a legacy encoding, an instruction-file name joined to a folder) are taken
// as Windows-1252, as they are most likely meant.
std::string PathText(std::string_view fsPath);
std::string PathText(const std::filesystem::path& path);
inline std::string PathText(const std::string& fsPath) { return PathText(std::string_view(fsPath)); }
inline std::string PathText(const char* fsPath) { return PathText(std::string_view(fsPath)); }

// Message text to its code points: Windows-1252 bytes and marked characters.
// A mark byte that does not open a well-formed mark is the byte itself.
std::u32string MessageCodePoints(std::string_view text);

// Message text as UTF-8.
std::string MessageToUtf8(std::string_view text);

}  // namespace vey
