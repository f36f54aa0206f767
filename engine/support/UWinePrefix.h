// UWinePrefix: the installer's own wine prefix in its cache, and the record
// kept beside it that says which wine made it and what it holds. A prefix
// that does not match its record is thrown away, never repaired.
#pragma once

#include <string>
#include <string_view>

namespace vey {

// Where wine keeps the installer's own prefix: $XDG_CACHE_HOME/veypatcher/wine,
// or ~/.cache/veypatcher/wine when XDG_CACHE_HOME is not an absolute path.
std::string WinePrefixFolder();

// The record of the prefix at prefix: "<prefix>.record".
std::string WinePrefixRecordPath(const std::string& prefix);

// The record's text for the prefix folder as it is now: the wine version,
// whether only sandboxed programs ever ran in it, and every entry below it
// (files with their SHA-256 digests, links with their targets, folders).
std::string DescribeWinePrefix(const std::string& prefix, std::string_view wineVersion, bool sandboxedOnly);

// True when the prefix exists and matches its record for this wine. A prefix
// that ran a program outside the sandbox is trusted again only without one.
bool WinePrefixMatchesRecord(const std::string& prefix, std::string_view wineVersion, bool sandboxed);

// Writes the record (through a new file renamed into place).
void WriteWinePrefixRecord(const std::string& prefix, std::string_view wineVersion, bool sandboxedOnly);

// Removes the prefix and its record; unfinished set-ups of earlier runs
// ("<prefix>.new-*") older than an hour go too.
void RemoveWinePrefix(const std::string& prefix);
void RemoveStaleWinePrefixSetUps(const std::string& prefix);

}  // namespace vey
