// GameFinder: the places launchers keep games and prefixes, searched by content.
#include "platform/GameFinder.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <system_error>

#include "common/FileIO.h"
#include "common/VeyException.h"
#include "common/Win1252.h"
#include "platform/LauncherConfig.h"
#include "platform/WineRegistry.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;

// A prefix is searched this deep below drive_c ("Program Files/Maker/Game"
// is three) and through at most this many folders, so that a prefix full of
// other software cannot stall a run.
constexpr int kPrefixDepth = 4;
constexpr int kPrefixFolderBudget = 4000;

std::string ReadText(const fs::path& file) {
  try {
    std::vector<std::uint8_t> bytes = ReadWholeFile(file);
    return std::string(bytes.begin(), bytes.end());
  } catch (const Exception&) {
    return {};
  }
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// The sub-folders of folder, sorted so that the search order does not depend
// on the directory's; links to folders are left out when noLinks is set.
std::vector<fs::path> SubFolders(const fs::path& folder, bool noLinks) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    if (noLinks && it->is_symlink(e2)) continue;
    if (it->is_directory(e2)) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Files of folder whose names end in suffix (letter case aside), sorted.
std::vector<fs::path> FilesEndingIn(const fs::path& folder, std::string_view suffix) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    if (it->is_regular_file(e2) && EndsWithNoCase(it->path().filename().string(), suffix))
      out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class Search {
 public:
  std::vector<FoundGame> games;

  void Candidate(const fs::path& folder, const std::string& via, int edition = 0) {
    if (folder.empty() || !GameFinder::IsGameFolder(folder)) return;
    std::error_code ec;
    fs::path key = fs::canonical(folder, ec);
    if (ec) key = folder.lexically_normal();
    auto [it, fresh] = index_.try_emplace(key.string(), games.size());
    if (fresh) {
      fs::path shown = folder.lexically_normal();
      if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
      games.push_back(FoundGame{shown, edition, {via}});
      return;
    }
    FoundGame& g = games[it->second];
    if (std::find(g.via.begin(), g.via.end(), via) == g.via.end()) g.via.push_back(via);
    // Two registries that disagree leave the edition open (-1 until the end).
    if (edition != 0) g.edition = g.edition == 0 || g.edition == edition ? edition : -1;
  }

  // A Wine or Proton prefix: the editions' registry entries, then its drive.
  void Prefix(const fs::path& prefix, const std::string& what) {
    if (!IsDir(prefix / "drive_c")) return;
    std::error_code ec;
    fs::path key = fs::canonical(prefix, ec);
    if (!prefixesSeen_.insert({(ec ? prefix : key).string(), true}).second) return;
    const std::string via = what + " " + prefix.string();
    WineRegistry registry(prefix);
    for (int edition : {1, 2}) {
      std::string path = registry.ReadString(EditionRegistryKey(edition), "Path");
      if (!path.empty()) Candidate(path, via + " (registry)", edition);
    }
    // Breadth first, not through links: "users" folders link into the home folder.
    std::deque<std::pair<fs::path, int>> queue{{prefix / "drive_c", 0}};
    int budget = kPrefixFolderBudget;
    while (!queue.empty() && budget-- > 0) {
      auto [folder, depth] = queue.front();
      queue.pop_front();
      Candidate(folder, via);
      if (depth >= kPrefixDepth) continue;
      for (const fs::path& sub : SubFolders(folder, true)) {
        if (depth == 0 && EqualsNoCase(sub.filename().string(), "windows")) continue;
        queue.emplace_back(sub, depth + 1);
      }
    }
  }

  // A folder that holds games one or two levels down (a Steam library's
  // "common", Heroic's install folder).
  void GamesBelow(const fs::path& folder, const std::string& via) {
    for (const fs::path& game : SubFolders(folder, false)) {
      Candidate(game, via);
      for (const fs::path& inner : SubFolders(game, false)) Candidate(inner, via);
    }
  }

 private:
  std::map<std::string, std::size_t> index_;
  std::map<std::string, bool> prefixesSeen_;
};

void SteamRoots(const FinderPlaces& p, const fs::path& dataHome, Search& search) {
  const fs::path flatpak = p.home / ".var/app/com.valvesoftware.Steam";
  const std::vector<fs::path> roots = {
      p.home / ".steam/steam",       p.home / ".steam/root",          dataHome / "Steam",
      p.home / ".local/share/Steam", flatpak / ".local/share/Steam",  flatpak / "data/Steam",
      p.home / "snap/steam/common/.local/share/Steam"};
  std::vector<fs::path> libraries;
  for (const fs::path& root : roots) {
    if (!IsDir(root / "steamapps")) continue;
    libraries.push_back(root);
    for (const char* list : {"steamapps/libraryfolders.vdf", "config/libraryfolders.vdf"})
      for (const std::string& folder : VdfLibraryFolders(ReadText(root / list))) libraries.emplace_back(folder);
  }
  std::map<std::string, bool> seen;
  for (const fs::path& library : libraries) {
    std::error_code ec;
    fs::path key = fs::canonical(library, ec);
    if (ec || !seen.insert({key.string(), true}).second) continue;
    const std::string via = "Steam library " + library.string();
    search.GamesBelow(library / "steamapps/common", via);
    for (const fs::path& app : SubFolders(library / "steamapps/compatdata", false))
      search.Prefix(app / "pfx", "Proton prefix");
  }
}

void Lutris(const FinderPlaces& p, const fs::path& dataHome, const fs::path& configHome, Search& search) {
  for (const fs::path& folder : {configHome / "lutris/games", dataHome / "lutris/games"}) {
    for (const fs::path& file : FilesEndingIn(folder, ".yml")) {
      LutrisGame game = LutrisGameFile(ReadText(file));
      if (!game.exe.empty()) {
        // The game's program usually sits in the game folder or one below it.
        fs::path exeFolder = fs::path(game.exe).parent_path();
        search.Candidate(exeFolder, "Lutris game " + file.filename().string());
        search.Candidate(exeFolder.parent_path(), "Lutris game " + file.filename().string());
      }
      if (!game.prefix.empty()) search.Prefix(game.prefix, "Lutris prefix");
    }
  }
  // Lutris installs each game into its own prefix under ~/Games by default.
  for (const fs::path& folder : SubFolders(p.home / "Games", false)) search.Prefix(folder, "Wine prefix");
}

void Heroic(const FinderPlaces& p, const fs::path& configHome, Search& search) {
  const std::vector<fs::path> configs = {configHome / "heroic",
                                         p.home / ".var/app/com.heroicgameslauncher.hgl/config/heroic"};
  for (const fs::path& config : configs) {
    for (const fs::path& file : FilesEndingIn(config / "GamesConfig", ".json"))
      for (const std::string& prefix : JsonStringValues(ReadText(file), "winePrefix"))
        search.Prefix(prefix, "Heroic prefix");
    for (const char* installed : {"gog_store/installed.json", "legendary_store/installed.json",
                                  "sideload_apps/library.json"})
      for (const std::string& folder : JsonStringValues(ReadText(config / installed), "install_path"))
        search.Candidate(folder, "Heroic game list");
  }
  for (const fs::path& config : {configHome / "legendary", p.home / ".var/app/com.heroicgameslauncher.hgl/config/legendary"})
    for (const std::string& folder : JsonStringValues(ReadText(config / "installed.json"), "install_path"))
      search.Candidate(folder, "Heroic game list");
  const fs::path heroicGames = p.home / "Games/Heroic";
  for (const fs::path& prefix : SubFolders(heroicGames / "Prefixes", false)) search.Prefix(prefix, "Heroic prefix");
  search.GamesBelow(heroicGames, "Heroic games folder " + heroicGames.string());
}

}  // namespace

FinderPlaces FinderPlaces::FromEnvironment() {
  FinderPlaces p;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
  }
  if (home) p.home = home;
  if (const char* v = std::getenv("WINEPREFIX"); v && *v) p.winePrefix = v;
  // Relative values are to be ignored, as the base directory rules say.
  if (const char* v = std::getenv("XDG_DATA_HOME"); v && *v == '/') p.dataHome = v;
  if (const char* v = std::getenv("XDG_CONFIG_HOME"); v && *v == '/') p.configHome = v;
  return p;
}

GameFinder::GameFinder(FinderPlaces places) : places_(std::move(places)) {}

bool GameFinder::IsGameFolder(const std::filesystem::path& folder) {
  bool talkTable = false, keyFile = false;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    talkTable = talkTable || EqualsNoCase(name, "dialog.tlk");
    keyFile = keyFile || EqualsNoCase(name, "chitin.key");
    if (talkTable && keyFile) return true;
  }
  return false;
}

std::vector<FoundGame> GameFinder::FindAll() const {
  Search search;
  if (places_.home.empty() && places_.winePrefix.empty()) return {};
  const fs::path dataHome = places_.dataHome.empty() ? places_.home / ".local/share" : places_.dataHome;
  const fs::path configHome = places_.configHome.empty() ? places_.home / ".config" : places_.configHome;
  search.Prefix(places_.winePrefix.empty() ? places_.home / ".wine" : places_.winePrefix, "Wine prefix");
  if (!places_.home.empty()) {
    SteamRoots(places_, dataHome, search);
    Lutris(places_, dataHome, configHome, search);
    Heroic(places_, configHome, search);
  }
  for (FoundGame& g : search.games)
    if (g.edition < 0) g.edition = 0;
  return search.games;
}

std::string_view EditionRegistryKey(int edition) {
  return edition == 1 ? "\\SOFTWARE\\Fenwyck\\XT\\ARKAN" : "\\SOFTWARE\\Quenbrook\\Arkan2";
}

std::vector<FoundGame> ForEdition(const std::vector<FoundGame>& games, int edition) {
  std::vector<FoundGame> out;
  for (const FoundGame& g : games)
    if (edition == 0 || g.edition == 0 || g.edition == edition) out.push_back(g);
  return out;
}

}  // namespace vey::platform
