// ModFolder: settling the data folder and file names of a mod for a subcommand.
#include "cli/ModFolder.h"

#include <iostream>

#include "common/VeyException.h"
#include "common/Win1252.h"
#include "engine/support/UNamespaces.h"

namespace vey::cli {

std::filesystem::path InDataFolder(const std::filesystem::path& dataPath, const std::string& name) {
  platform::GameFileSystem fs;
  try {
    return fs.Resolve(dataPath, name);
  } catch (const EPathError&) {
    // A name that would leave the data folder names nothing inside it.
    return dataPath / "?";
  }
}

std::filesystem::path ModSelection::IniPath() const { return InDataFolder(dataPath, iniName); }
std::filesystem::path ModSelection::InfoPath() const { return InDataFolder(dataPath, infoName); }

namespace {

std::string Listing(const TNamespaces& types) {
  std::string text;
  const auto names = types.DisplayNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    text += "  " + Win1252ToUtf8(types.NamespaceIds()[i]) + "  " + Win1252ToUtf8(names[i]) + "\n";
  return text;
}

// The person picks a type by its number or its identifier; empty when the
// input ends first.
std::string AskForType(const TNamespaces& types, const platform::Console& console) {
  std::ostream& out = *console.out;
  const auto names = types.DisplayNames();
  const auto& ids = types.NamespaceIds();
  out << "This mod offers several installation types:\n";
  for (std::size_t i = 0; i < ids.size(); ++i)
    out << "  [" << i + 1 << "] " << Win1252ToUtf8(names[i]) << "  (" << Win1252ToUtf8(ids[i]) << ")\n";
  std::string line;
  while (true) {
    out << "Which one? [1-" << ids.size() << "] " << std::flush;
    if (!std::getline(*console.in, line)) {
      out << '\n' << std::flush;
      return {};
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    while (!line.empty() && line.front() == ' ') line.erase(line.begin());
    if (line.empty()) continue;
    if (types.IndexOf(Utf8ToWin1252(line)) >= 0) return line;
    if (line.find_first_not_of("0123456789") == std::string::npos && line.size() < 6) {
      const std::size_t n = std::stoul(line);
      if (n >= 1 && n <= ids.size()) return Win1252ToUtf8(ids[n - 1]);
    }
  }
}

}  // namespace

std::filesystem::path InstallerFolder(const std::string& modDir, const platform::GameFileSystem& fs) {
  std::filesystem::path folder = std::filesystem::absolute(modDir.empty() ? "." : modDir).lexically_normal();
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
  // People often point at the data folder itself rather than the folder holding it.
  if (EqualsNoCase(folder.filename().string(), "veypatchdata") &&
      !fs.IsDirectory(fs.Child(folder, "veypatchdata")))
    return folder.parent_path();
  return folder;
}

static ModSelection SelectTypeAndFiles(const ModOptions& options, const platform::GameFileSystem& fs,
                                       const platform::Console* ask) {
  if (!options.iniName.empty() && !EndsWithNoCase(options.iniName, ".ini"))
    throw UsageError("--ini must name an instruction file ending in \".ini\": " + options.iniName);
  if (!options.infoName.empty() && !EndsWithNoCase(options.infoName, ".rtf"))
    throw UsageError("--info must name an information file ending in \".rtf\": " + options.infoName);

  ModSelection s;
  s.modFolder = InstallerFolder(options.modDir, fs);
  s.dataPath = fs.Child(s.modFolder, "veypatchdata") / "";
  s.iniName = options.iniName.empty() ? std::string(kDefaultIniName) : Utf8ToWin1252(options.iniName);
  s.infoName = options.infoName.empty() ? std::string(kDefaultInfoName) : Utf8ToWin1252(options.infoName);

  TNamespaces types(fs, s.dataPath);
  if (!types.Load()) {
    if (!options.namespaceId.empty())
      throw UsageError("--type given, but the mod offers no installation types (no \"namespaces.ini\")");
    return s;
  }
  if (types.NamespaceIds().empty()) return s;
  std::string wanted = options.namespaceId;
  if (wanted.empty() && ask && ask->interactive) wanted = AskForType(types, *ask);
  if (wanted.empty())
    throw UsageError("this mod offers several installation types; choose one with --type ID", Listing(types));
  const int index = types.IndexOf(Utf8ToWin1252(wanted));
  if (index < 0)
    throw UsageError("no installation type \"" + wanted + "\" in \"namespaces.ini\"", Listing(types));
  types.Select(index);
  if (auto why = types.LinkRefusal()) throw UsageError(Win1252ToUtf8(*why));
  // As at start-up of the desktop program, the chosen type's files replace the names given.
  s.namespaceId = types.NamespaceIds()[index];
  s.iniName = types.GetNamespaceIni();
  s.infoName = types.GetNamespaceInfo();
  s.dataPath = types.GetNamespacePath();
  // The defaults stand in for what is missing, as in the window, but a
  // person on the command line is told.
  for (const std::string& note : types.Fallbacks()) std::cerr << "Warning: " << Win1252ToUtf8(note) << '\n';
  return s;
}

ModSelection SelectMod(const ModOptions& options, const platform::GameFileSystem& fs, const platform::Console* ask) {
  ModSelection s = SelectTypeAndFiles(options, fs, ask);
  // The mod's instruction and information files are read only from inside
  // its data folder, not through a link to some other place.
  platform::GameFileSystem confined;
  confined.AddConfinedRoot(s.dataPath);
  for (const auto& file : {s.IniPath(), s.InfoPath()})
    if (auto why = confined.LinkEscape(file)) throw UsageError("refusing the mod's file: " + *why);
  return s;
}

}  // namespace vey::cli
