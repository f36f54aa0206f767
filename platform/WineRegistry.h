// WineRegistry: the machine registry of a Wine prefix, read from its
// "system.reg" file, with Windows drive paths mapped to the Linux folders the
// prefix gives them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace vey::platform {

class WineRegistry : public IRegistry {
 public:
  using Path = std::filesystem::path;

  // The prefix named by $WINEPREFIX, else ~/.wine.
  WineRegistry();
  explicit WineRegistry(Path prefix) : prefix_(std::move(prefix)) {}

  // winePrefix when it is set and not empty, else home + "/.wine"; empty when
  // neither is known.
  static Path ChoosePrefix(const char* winePrefix, const char* home);

  // A string value under HKEY_LOCAL_MACHINE. The key is looked up as given and
  // then under "Software\Wow6432Node", where a 64-bit prefix keeps the keys of
  // 32-bit programs. A value that is a drive path ("C:\Games\x") comes back as
  // the Linux path it names; other values come back as stored. Text is UTF-8
  // (a file system path), not Windows-1252. Empty when nothing is found.
  std::string ReadString(std::string_view key, std::string_view name) override;

  // The stored string with Wine's escapes undone; nullopt when the key or the
  // value is missing or the value is not a string.
  std::optional<std::string> ReadRawString(std::string_view key, std::string_view name) const;

  // The same lookup in the text of a registry file.
  static std::optional<std::string> FindString(std::string_view registryText, std::string_view key,
                                               std::string_view name);

  // A Windows path on one of the prefix's drives as a Linux path, each
  // existing component matched without regard to letter case; empty when the
  // drive is unknown or the text is not a drive path.
  std::string MapWindowsPath(std::string_view windowsPath) const;

  const Path& Prefix() const { return prefix_; }

 private:
  Path prefix_;
};

}  // namespace vey::platform
