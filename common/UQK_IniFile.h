// UQK_IniFile: TQK_Inifile, the reader of instruction files (INI files with the
// Windows profile rules plus the "<#LF#>"/"<#CR#>" escapes), and MakeFolderPath.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextEncoding.h"

namespace vey {

// One entry as the reader lists it, with its line in the file (from 1); the
// value as ReadString returns it.
struct TQK_IniEntry {
  std::string key;
  std::string value;
  bool hasValue = false;
  std::int32_t line = 0;
};
struct TQK_IniSection {
  std::string name;
  std::int32_t line = 0;
  std::vector<TQK_IniEntry> entries;
};
// A character of a UTF-8 file that Windows-1252 cannot hold, read as '?': its
// line and, when that line is an entry or a section header, where it stood.
struct TQK_IniLostChar {
  std::int32_t line = 0;
  std::string section;
  std::string key;
};
// The whole file as the reader sees it, for checks that point at lines.
struct TQK_IniLayout {
  TTextEncoding encoding = TTextEncoding::Windows1252;
  std::vector<TQK_IniSection> sections;  // the first of each name, in file order
  std::vector<TQK_IniSection> repeated;  // later sections of a used name: never read
  std::vector<TQK_IniLostChar> lostChars;
};

// Reads follow the Windows profile rules: section and key names compare
// without regard to ASCII letter case; the first of several sections (or keys
// in a section) of one name is the one read, and later sections of that name
// are ignored entirely; a value is the text after the first '=', blanks
// trimmed, one matching pair of surrounding double or single quotes removed,
// cut to 2,047 characters. Lines starting with ';' are comments; CR LF, LF and
// CR all end lines. Without a byte-order mark the bytes are kept as they are
// (Windows-1252); a file with a UTF-8 mark is read as UTF-8 and converted to
// Windows-1252, characters the code page cannot hold becoming '?'. A missing
// or unreadable file reads as an empty one.
//
// The file is parsed once into an index and parsed again only when its size,
// modification time or identity on disk changed, so every read sees the
// current content at the cost of one stat.
class TQK_Inifile {
 public:
  explicit TQK_Inifile(std::string fileName);
  ~TQK_Inifile();
  TQK_Inifile(const TQK_Inifile&) = delete;
  TQK_Inifile& operator=(const TQK_Inifile&) = delete;
  TQK_Inifile(TQK_Inifile&&) noexcept;
  TQK_Inifile& operator=(TQK_Inifile&&) noexcept;

  const std::string& FileName() const { return fileName_; }

  // The value (or defaultValue when the key is absent, or present without a
  // '='), then "<#LF#>" decoded to a line feed, then "<#CR#>" to a carriage return.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal, "0x"/"0X" or "$" hexadecimal; anything else yields defaultValue.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  // An integer read; non-zero is true. Words such as "true" yield the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // Key names of the first section of that name, in file order (repeated
  // names included), all of them.
  void ReadSection(std::string_view section, std::vector<std::string>& strings) const;
  std::vector<std::string> ReadSection(std::string_view section) const;
  // True when the section lists at least one key.
  bool SectionExists(std::string_view section) const;
  // One "key=value" line per listed key, values read with ReadString.
  void ReadSectionValues(std::string_view section, std::vector<std::string>& strings) const;
  // The file's sections, entries and line numbers, its encoding and the
  // characters lost converting it.
  TQK_IniLayout Layout() const;
  TTextEncoding Encoding() const;
  std::vector<TQK_IniLostChar> LostCharacters() const;

  // Line feeds in value become "<#LF#>", then carriage returns "<#CR#>"; the
  // first entry of that key is replaced (or one is added), every other line
  // kept byte for byte, and the file replaced in one rename. Fails with
  // EIniFileException "Unable to write to %s".
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Called with the section's name whenever a listing passes 16,384 bytes of
  // zero-terminated key names, the size at which other readers of these files
  // stop listing keys.
  std::function<void(std::string_view section)> OnLongSection;

  struct Index;

 private:
  const Index& Current() const;

  std::string fileName_;
  mutable std::unique_ptr<Index> index_;
};

// Creates the folder and every missing parent. True when it exists afterwards.
bool MakeFolderPath(const std::string& path);

}  // namespace vey
