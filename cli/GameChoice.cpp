// GameChoice: --game checks, the registry lookup and the finder's candidates.
#include "cli/GameChoice.h"

#include <filesystem>
#include <iostream>

#include "cli/CliCommon.h"
#include "common/PathText.h"
#include "platform/GameFileSystem.h"
#include "platform/LogViews.h"

namespace vey::cli {
namespace {

// A path for a terminal: the file system's bytes as UTF-8, controls defused.
std::string Shown(const std::filesystem::path& path) { return platform::TerminalText(PathText(path)); }

std::filesystem::path Absolute(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(folder, ec).lexically_normal();
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p;
}

}  // namespace

int EditionWanted(const TQK_Inifile& ini) {
  if (ini.ReadString("Settings", "LookupGameNumber", "").empty()) return 0;
  return ini.ReadInteger("Settings", "LookupGameNumber", 2) == 1 ? 1 : 2;
}

std::string CheckedGameOption(const std::string& gameOption) {
  platform::GameFileSystem fs;
  const std::filesystem::path folder = Absolute(gameOption);
  if (!fs.IsDirectory(folder)) throw UsageError("--game: \"" + Shown(folder) + "\" is not a folder");
  if (!fs.IsFile(fs.Child(folder, "dialog.tlk")))
    throw UsageError("--game: \"" + Shown(folder) + "\" is not a game folder (it holds no \"dialog.tlk\")");
  return folder.string();
}

std::string GameListing(const std::vector<platform::FoundGame>& games, bool numbered) {
  std::string text;
  for (std::size_t i = 0; i < games.size(); ++i) {
    const platform::FoundGame& g = games[i];
    text += numbered ? "  [" + std::to_string(i + 1) + "] " : "";
    text += Shown(g.folder) + "\n";
    const std::string indent = numbered ? "        " : "    ";
    if (g.edition != 0) text += indent + "edition " + std::to_string(g.edition) + " (from the registry)\n";
    for (const std::string& via : g.via) text += indent + "seen in " + Shown(via) + "\n";
  }
  return text;
}

std::string FindGameFolder(const TQK_Inifile& ini, platform::IRegistry& registry,
                           const platform::FinderPlaces& places, platform::Console console) {
  platform::GameFileSystem fs;
  std::ostream& out = *console.out;
  const int edition = EditionWanted(ini);
  if (ini.ReadBool("Settings", "LookupGameFolder", false)) {
    std::string folder = registry.ReadString(platform::EditionRegistryKey(edition == 1 ? 1 : 2), "Path");
    if (!folder.empty() && fs.IsDirectory(folder)) return folder;
  }
  const std::vector<platform::FoundGame> games =
      platform::ForEdition(platform::GameFinder(places).FindAll(), edition);
  if (games.empty()) {
    // The installer would ask for the folder, and there is no one to ask.
    if (!console.interactive)
      throw UsageError("no game folder was found and there is no terminal to ask on; give it with --game DIR");
    return {};
  }
  if (games.size() == 1) {
    out << "Game folder found: " << Shown(games[0].folder) << '\n' << std::flush;
    return games[0].folder.string();
  }
  const std::string listing = GameListing(games, true);
  if (!console.interactive)
    throw UsageError("several game folders were found; choose one with --game DIR", listing);
  out << "Several game folders were found:\n" << listing;
  std::string line;
  while (true) {
    out << "Which one? [1-" << games.size() << "] " << std::flush;
    if (!std::getline(*console.in, line)) {
      out << '\n' << std::flush;
      return {};
    }
    try {
      std::size_t used = 0;
      const int n = std::stoi(line, &used);
      if (n >= 1 && static_cast<std::size_t>(n) <= games.size()) return games[n - 1].folder.string();
    } catch (const std::exception&) {
    }
  }
}

}  // namespace vey::cli
