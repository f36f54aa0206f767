// UNamespaces: reading the installation types of "namespaces.ini".
#include "engine/UNamespaces.h"

#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey {

namespace {

constexpr std::string_view kSection = "Namespaces";

}  // namespace

TNamespaces::TNamespaces(const platform::GameFileSystem& fileSystem, std::filesystem::path dataPath)
    : fs_(fileSystem), dataPath_(std::move(dataPath)) {
  if (dataPath_.has_filename()) dataPath_ /= "";
}

bool TNamespaces::Load() {
  ids_.clear();
  selected_ = -1;
  const auto file = fs_.Child(dataPath_, kNamespacesFile);
  if (!fs_.IsFile(file)) return false;
  if (!ini_) ini_ = std::make_unique<TQK_Inifile>(file.string());
  ids_ = ini_->ReadSection(kSection);
  if (!ids_.empty()) selected_ = 0;
  return true;
}

std::vector<std::string> TNamespaces::DisplayNames() const {
  std::vector<std::string> names;
  for (const auto& id : ids_) {
    const std::string section = ini_->ReadString(kSection, id, "default");
    names.push_back(ini_->ReadString(section, "Name", section == "default" ? "Standard install" : "*no name set*"));
  }
  return names;
}

int TNamespaces::IndexOf(std::string_view id) const {
  for (std::size_t i = 0; i < ids_.size(); ++i)
    if (EqualsNoCase(ids_[i], id)) return static_cast<int>(i);
  return -1;
}

void TNamespaces::Select(int index) {
  if (index >= 0 && index < static_cast<int>(ids_.size())) selected_ = index;
}

// The file may vanish while the choice is shown; the getters then fall back
// to their plain defaults instead of reading an empty file.
bool TNamespaces::Usable() const {
  return selected_ >= 0 && ini_ && fs_.IsFile(fs_.Child(dataPath_, kNamespacesFile));
}

std::string TNamespaces::SelectedSection() const {
  if (selected_ < 0 || !ini_) return "default";
  return ini_->ReadString(kSection, ids_[selected_], "default");
}

std::string TNamespaces::ReadKey(std::string_view key, std::string_view defaultValue) const {
  return ini_->ReadString(SelectedSection(), key, defaultValue);
}

std::string TNamespaces::GetDescription() const {
  if (ids_.empty() || !ini_) return "Standard installation of this Mod.";
  return ReadKey("Description", "*no description set*");
}

bool TNamespaces::ClimbsOut(std::string_view subFolder) {
  return subFolder.find("..\\") != std::string_view::npos || subFolder.find("../") != std::string_view::npos ||
         !platform::GameFileSystem::IsContained(subFolder);
}

// The name is taken only when that file exists in the entry's sub-folder as
// written. The test never looks outside the data folder: a sub-folder or a
// name that would leave it counts as missing.
std::string TNamespaces::NameInFolder(std::string_view key, std::string_view defaultName) const {
  if (!Usable()) return std::string(defaultName);
  const std::string name = ReadKey(key, defaultName);
  std::string relative = ReadKey("DataPath", "");
  if (!relative.empty()) relative += '\\';
  relative += name;
  if (name.empty() || ClimbsOut(relative)) return std::string(defaultName);
  try {
    if (fs_.IsFile(fs_.Resolve(dataPath_, relative))) return name;
  } catch (const EPathError&) {
  }
  return std::string(defaultName);
}

std::string TNamespaces::GetNamespaceIni() const { return NameInFolder("IniName", kDefaultIniName); }

std::string TNamespaces::GetNamespaceInfo() const { return NameInFolder("InfoName", kDefaultInfoName); }

std::filesystem::path TNamespaces::GetNamespacePath() const {
  if (!Usable()) return dataPath_;
  const std::string sub = ReadKey("DataPath", "");
  if (ClimbsOut(sub)) return dataPath_;
  try {
    auto candidate = fs_.Resolve(dataPath_, sub);
    if (candidate.has_filename()) candidate /= "";
    if (fs_.IsDirectory(candidate)) return candidate;
  } catch (const EPathError&) {
  }
  return dataPath_;
}

}  // namespace vey
