// UNamespaces: reading the installation types of "namespaces.ini".
#include "engine/support/UNamespaces.h"

#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey {

namespace {

constexpr std::string_view kSection = "Namespaces";

// Why path, below root, is refused: it reaches outside root through a link.
std::optional<std::string> LinkEscape(const std::filesystem::path& root, const std::filesystem::path& path) {
  platform::GameFileSystem confined;
  confined.AddConfinedRoot(root);
  return confined.LinkEscape(path);
}

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
    const auto file = fs_.Resolve(dataPath_, relative);
    if (fs_.IsFile(file) && !LinkEscape(dataPath_, file)) return name;
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
    if (fs_.IsDirectory(candidate) && !LinkEscape(dataPath_, candidate)) return candidate;
  } catch (const EPathError&) {
  }
  return dataPath_;
}

std::optional<std::string> TNamespaces::LinkRefusal() const {
  if (!Usable()) return std::nullopt;
  const std::string sub = ReadKey("DataPath", "");
  std::string folder = sub;
  if (!folder.empty()) folder += '\\';
  std::vector<std::string> relatives;
  if (!sub.empty()) relatives.push_back(sub);
  relatives.push_back(folder + ReadKey("IniName", kDefaultIniName));
  relatives.push_back(folder + ReadKey("InfoName", kDefaultInfoName));
  for (const std::string& relative : relatives) {
    if (ClimbsOut(relative)) continue;
    try {
      if (auto why = LinkEscape(dataPath_, fs_.Resolve(dataPath_, relative)))
        return FormatMsg("The installation type \"%s\" is refused: %s.", {ids_[selected_], *why});
    } catch (const EPathError&) {
    }
  }
  return std::nullopt;
}

std::vector<std::string> TNamespaces::Fallbacks() const {
  std::vector<std::string> notes;
  if (!Usable()) return notes;
  const std::string& id = ids_[selected_];
  const std::string sub = ReadKey("DataPath", "");
  if (!sub.empty()) {
    bool found = false;
    if (!ClimbsOut(sub)) {
      try {
        found = fs_.IsDirectory(fs_.Resolve(dataPath_, sub));
      } catch (const EPathError&) {
      }
    }
    if (!found)
      notes.push_back(FormatMsg("The installation type \"%s\" names the folder \"%s\", which %s; the data "
                                "folder itself is used.",
                                {id, sub, ClimbsOut(sub) ? "leads outside the data folder" : "does not exist"}));
  }
  const std::pair<std::string_view, std::string_view> files[] = {{"IniName", kDefaultIniName},
                                                                 {"InfoName", kDefaultInfoName}};
  for (const auto& [key, fallback] : files) {
    const std::string named = ReadKey(key, fallback);
    if (named != NameInFolder(key, fallback))
      notes.push_back(FormatMsg("The installation type \"%s\" names the file \"%s\" (%s), which is not in its "
                                "folder; \"%s\" is used.",
                                {id, named, key, fallback}));
  }
  return notes;
}

}  // namespace vey
