// URecordText: the text of the small records the engine keeps in a run's
// journal folder: values escaped to one line, and files read as untrusted.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RunRecords.h"

namespace vey {

// '%', control characters and DEL as %XX; every other byte as it is.
std::string RecordEscape(std::string_view text);
// False for a '%' not followed by two hexadecimal digits.
bool RecordUnescape(std::string_view text, std::string& out);
using platform::journal::SplitTabs;

// A record is a few lines per change; anything near this size is not one of
// ours, and reading it whole would only cost memory.
inline constexpr std::size_t kMaxRecordSize = 64u << 20;

enum class RecordRead { Read, Missing, Refused };
// The whole file, when it is a regular file (a link is not followed) of at
// most kMaxRecordSize bytes; problem says why not.
RecordRead ReadRecordFile(const std::filesystem::path& path, std::string& text, std::string& problem);

}  // namespace vey
