// GameFinder: game folders on this machine, for a run started without one.
//
// Where it looks: the Wine prefix of $WINEPREFIX (else ~/.wine); every Steam
// library listed by the usual Steam folders (the Flatpak and Snap ones
// included); the Proton prefixes of those libraries; the Wine prefixes that
// Lutris and Heroic keep, and the folders Heroic installs into. A folder
// counts by its content alone: a talk table "dialog.tlk" and a key file
// "chitin.key" at its top, in any letter case. Folder names are never taken
// as evidence.
//
// The edition: both editions hold the same kinds of files, and no file is
// known here that only one of them has, so a folder's content does not tell
// the edition. It is known only when a prefix's registry names the folder
// under one edition's key (the keys the game's own setup writes).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vey::platform {

struct FoundGame {
  std::filesystem::path folder;  // as the file system names it, without a trailing separator
  int edition = 0;               // 1 or 2 when a registry says so, else 0
  std::vector<std::string> via;  // where it was seen, for people ("Steam library /x")
};

// The folders the finder starts from; FromEnvironment() reads HOME (or the
// password database), WINEPREFIX, XDG_DATA_HOME and XDG_CONFIG_HOME.
struct FinderPlaces {
  std::filesystem::path home;
  std::filesystem::path winePrefix;  // empty: home/.wine
  std::filesystem::path dataHome;    // empty: home/.local/share
  std::filesystem::path configHome;  // empty: home/.config
  static FinderPlaces FromEnvironment();
};

class GameFinder {
 public:
  explicit GameFinder(FinderPlaces places);

  // Every game folder found, each once (folders reached through links are
  // one), in the order of the places above.
  std::vector<FoundGame> FindAll() const;

  // A talk table and a key file at the top of folder.
  static bool IsGameFolder(const std::filesystem::path& folder);

 private:
  FinderPlaces places_;
};

// The registry keys of the two editions, under HKEY_LOCAL_MACHINE.
std::string_view EditionRegistryKey(int edition);

// The games to offer a mod that asks for edition (1 or 2; 0 when it does not
// say): folders known to be the other edition are left out.
std::vector<FoundGame> ForEdition(const std::vector<FoundGame>& games, int edition);

}  // namespace vey::platform
