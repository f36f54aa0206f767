// UNameLookup: the data-folder source and the saved name of a listed file,
// from the reserved keys of the section named like it.
#include "common/StrFormat.h"
#include "engine/UVEYPatcher.h"

namespace vey {

std::string TVEYPatcher::GetSourceFileName(std::string_view name) {
  if (!IniFile().SectionExists(name)) return std::string(name);
  std::string source = IniFile().ReadString(name, "!SourceFile", "");
  if (source.empty()) return std::string(name);
  // A name that would leave the data folder names no file of the mod.
  bool present = platform::GameFileSystem::IsContained(source) &&
                 Files().IsFile(Files().Resolve(DataPath(), source));
  if (!present)
    throw EAbort(FormatMsg("Unable to locate source file \"%s\" to rename to \"%s\" and install, "
                           "skipping...",
                           {source, name}));
  return source;
}

std::string TVEYPatcher::GetSaveAsName(std::string_view name) const {
  if (!IniFile().SectionExists(name)) return std::string(name);
  std::string saveAs = IniFile().ReadString(name, "!SaveAs", "");
  return saveAs.empty() ? std::string(name) : saveAs;
}

}  // namespace vey
