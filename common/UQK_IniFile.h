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

namespace vey {

// Reads follow the Windows profile rules: section and key names compare
// without regard to ASCII letter case; the first of several sections (or keys
// in a section) of one name is the one read, and later sections of that name
// are ignored entirely; a value is the text after the first '=', blanks
// trimmed, one matching pair of surrounding double or single quotes removed,
// cut to 2,047 characters. Lines starting with ';' are comments; CR LF, LF and
// CR all end lines; a UTF-8 byte-order mark at the start is skipped; bytes are
// kept as they are. A missing or unreadable file reads as an empty one.
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
