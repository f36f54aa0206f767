// UNameLookup: the data-folder source and the saved name of a listed file,
// from the reserved keys of the section named like it.
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {

std::string TVEYPatcher::SectionFor(std::string_view name) const {
  // Section names match without regard to letter case, and so does the alias.
  if (!aliasFile_.empty() && EqualsNoCase(name, aliasFile_)) return aliasSection_;
  return std::string(name);
}

void TVEYPatcher::SetFileSection(std::string fileName, std::string section) {
  aliasFile_ = std::move(fileName);
  aliasSection_ = std::move(section);
}

void TVEYPatcher::ClearFileSection() {
  aliasFile_.clear();
  aliasSection_.clear();
}

std::string TVEYPatcher::GetSourceFileName(std::string_view name) {
  const std::string section = SectionFor(name);
  if (!IniFile().SectionExists(section)) return std::string(name);
  std::string source = IniFile().ReadString(section, "!SourceFile", "");
  if (source.empty()) return std::string(name);
  // A name that would leave the data folder names no file of the mod.
  bool present = false;
  if (platform::GameFileSystem::IsContained(source)) {
    try {
      present = Files().IsFile(Files().Resolve(DataPath(), source));
    } catch (const EPathError& e) {
      // A link out of the data folder: the entry is refused like a missing file.
      throw EAbort(FormatMsg("%s Skipping \"%s\"...", {e.what(), name}));
    }
  }
  if (!present)
    throw EAbort(FormatMsg("Unable to locate source file \"%s\" to rename to \"%s\" and install, "
                           "skipping...",
                           {source, name}));
  return source;
}

std::string TVEYPatcher::GetSaveAsName(std::string_view name) const {
  const std::string section = SectionFor(name);
  if (!IniFile().SectionExists(section)) return std::string(name);
  std::string saveAs = IniFile().ReadString(section, "!SaveAs", "");
  return saveAs.empty() ? std::string(name) : saveAs;
}

}  // namespace vey
