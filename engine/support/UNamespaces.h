// UNamespaces: TNamespaces, the installation types a mod offers in
// "namespaces.ini" (identifiers, names, descriptions, the instruction and
// information file and the data sub-folder of each), without any window.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/UQK_IniFile.h"
#include "platform/GameFileSystem.h"

namespace vey {

inline constexpr std::string_view kNamespacesFile = "namespaces.ini";
inline constexpr std::string_view kDefaultIniName = "changes.ini";
inline constexpr std::string_view kDefaultInfoName = "info.rtf";

class TNamespaces {
 public:
  // dataPath: the data folder ("veypatchdata") in which "namespaces.ini" lies.
  TNamespaces(const platform::GameFileSystem& fileSystem, std::filesystem::path dataPath);

  // Reads the identifiers of section "Namespaces" in file order and selects
  // the first. False (and no identifiers) when "namespaces.ini" is missing.
  bool Load();

  const std::vector<std::string>& NamespaceIds() const { return ids_; }
  // The drop-down texts, one per identifier.
  std::vector<std::string> DisplayNames() const;

  // Index of an identifier, compared as INI key names are (ASCII letter case
  // ignored); -1 when there is none.
  int IndexOf(std::string_view id) const;
  int Selected() const { return selected_; }
  void Select(int index);

  // The section describing the selected entry ("default" when its value cannot be read).
  std::string SelectedSection() const;
  std::string GetDescription() const;
  std::string GetNamespaceIni() const;
  std::string GetNamespaceInfo() const;
  // The data folder of the selected entry, with a trailing separator; the
  // base data folder when the entry's "DataPath" climbs out of it, is
  // absolute, or names no existing folder.
  std::filesystem::path GetNamespacePath() const;

  // For the selected entry: why it is refused when its folder, instruction
  // file or information file is a symbolic link that leads outside the data
  // folder (the getters then fall back as for a missing one).
  std::optional<std::string> LinkRefusal() const;

  // For the selected entry, one sentence for each of its "DataPath",
  // "IniName" and "InfoName" that is missing and replaced by its default.
  std::vector<std::string> Fallbacks() const;

  // True when a "DataPath" value would leave the data folder: "..\" or "../"
  // anywhere, a ".." component, an absolute path or a drive letter.
  static bool ClimbsOut(std::string_view subFolder);

 private:
  bool Usable() const;
  std::string ReadKey(std::string_view key, std::string_view defaultValue) const;
  std::string NameInFolder(std::string_view key, std::string_view defaultName) const;

  const platform::GameFileSystem& fs_;
  std::filesystem::path dataPath_;
  std::vector<std::string> ids_;
  std::unique_ptr<TQK_Inifile> ini_;
  int selected_ = -1;
};

}  // namespace vey
