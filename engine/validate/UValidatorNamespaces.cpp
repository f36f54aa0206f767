// UValidatorNamespaces: the installation types of "namespaces.ini": the
// section, sub-folder and files each one names.
#include <algorithm>

#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"
#include "engine/validate/UValidator.h"

namespace vey {

std::vector<TFinding> ValidateNamespaces(const platform::GameFileSystem& fs,
                                         const std::filesystem::path& baseDataPath) {
  std::vector<TFinding> findings;
  std::filesystem::path iniPath;
  try {
    iniPath = fs.Child(baseDataPath, kNamespacesFile);
  } catch (const Exception&) {
    return findings;
  }
  if (!fs.IsFile(iniPath)) return findings;
  const TQK_Inifile ini(iniPath.string());
  const TQK_IniLayout layout = ini.Layout();
  auto report = [&](TSeverity severity, const TQK_IniSection* s, const TQK_IniEntry* e, std::string message) {
    findings.push_back({severity, std::string(kNamespacesFile), s ? s->name : "", e ? e->key : "",
                        e ? e->line : (s ? s->line : 0), std::move(message)});
  };
  auto find = [&](std::string_view name) -> const TQK_IniSection* {
    for (const auto& s : layout.sections)
      if (EqualsNoCase(s.name, name) && !s.entries.empty()) return &s;
    return nullptr;
  };
  auto entry = [](const TQK_IniSection& s, std::string_view key) -> const TQK_IniEntry* {
    for (const auto& e : s.entries)
      if (EqualsNoCase(e.key, key)) return &e;
    return nullptr;
  };
  if (layout.encoding == TTextEncoding::Utf16) {
    report(TSeverity::Error, nullptr, nullptr, Utf16FileMessage(kNamespacesFile));
    return findings;
  }
  const TQK_IniSection* list = find("Namespaces");
  if (!list) {
    report(TSeverity::Error, nullptr, nullptr,
           "There is no [Namespaces] section listing the installation types; the mod installs as if the file "
           "were absent.");
    return findings;
  }
  for (const TQK_IniEntry& id : list->entries) {
    const std::string name = id.hasValue ? id.value : "default";
    const TQK_IniSection* s = find(name);
    if (!s) {
      report(TSeverity::Warning, list, &id,
             FormatMsg("The section [%s] named here does not exist; this type uses changes.ini and info.rtf of "
                       "the data folder itself.",
                       {name}));
      continue;
    }
    for (const TQK_IniEntry& e : s->entries) {
      bool known = false;
      for (std::string_view k : {"Name", "Description", "IniName", "InfoName", "DataPath"})
        known = known || EqualsNoCase(e.key, k);
      if (!known) report(TSeverity::Warning, s, &e, FormatMsg("An installation type reads no key \"%s\".", {e.key}));
    }
    std::filesystem::path folder = baseDataPath;
    const TQK_IniEntry* dataPath = entry(*s, "DataPath");
    if (dataPath && !dataPath->value.empty()) {
      if (TNamespaces::ClimbsOut(dataPath->value)) {
        report(TSeverity::Error, s, dataPath,
               FormatMsg("\"%s\" would lead outside the data folder; the installer uses the data folder itself.",
                         {dataPath->value}));
        continue;
      }
      try {
        folder = fs.Resolve(baseDataPath, dataPath->value);
      } catch (const Exception&) {
      }
      if (!fs.IsDirectory(folder)) {
        report(TSeverity::Error, s, dataPath,
               FormatMsg("The folder \"%s\" does not exist in the data folder; the installer uses the data folder "
                         "itself.",
                         {dataPath->value}));
        continue;
      }
    }
    for (auto [key, fallback] : {std::pair<std::string_view, std::string_view>{"IniName", kDefaultIniName},
                                 {"InfoName", kDefaultInfoName}}) {
      const TQK_IniEntry* e = entry(*s, key);
      const std::string file = e && !e->value.empty() ? e->value : std::string(fallback);
      bool present = false;
      try {
        present = platform::GameFileSystem::IsContained(file) && fs.IsFile(fs.Resolve(folder, file));
      } catch (const Exception&) {
      }
      if (!present)
        report(TSeverity::Error, s, e ? e : nullptr,
               e && !e->value.empty()
                   ? FormatMsg("The file \"%s\" is not in this type's folder; the installer takes \"%s\" instead.",
                               {file, fallback})
                   : FormatMsg("This type's folder holds no \"%s\".", {file}));
    }
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const TFinding& a, const TFinding& b) { return a.line < b.line; });
  return findings;
}

}  // namespace vey
