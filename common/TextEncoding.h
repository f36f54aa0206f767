// TextEncoding: telling how an instruction file's text is encoded (by its
// byte-order mark, or by its look) and reading UTF-8 text as Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vey {

enum class TTextEncoding {
  Windows1252,  // no byte-order mark: the game's own code page
  Utf8,         // EF BB BF
  Utf16,        // FF FE or FE FF: nothing in it can be read as INI text
};

TTextEncoding DetectTextEncoding(std::string_view bytes);

// True when text holds at least one byte above 0x7F and every such byte
// belongs to a well-formed UTF-8 sequence: Windows-1252 text practically never
// looks like that.
bool LooksLikeUtf8(std::string_view text);

// UTF-8 to Windows-1252. A character the code page cannot hold becomes '?',
// and its offset in the result is added to lostAt when given. Malformed bytes
// are taken as Windows-1252 already, as the rest of the program would read them.
std::string Utf8ToWin1252Lossy(std::string_view text, std::vector<std::size_t>* lostAt);

// What a person is told about an instruction file saved as UTF-16 (fileName
// as it is shown, Windows-1252).
std::string Utf16FileMessage(std::string_view fileName);

}  // namespace vey
