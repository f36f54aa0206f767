// The game finder on fake Steam, Proton, Wine, Lutris and Heroic folders
// made by the test, with HOME pointed at a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/GameFinder.h"
#include "platform/LauncherConfig.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Reg(std::string_view key, std::string_view windowsPath) {
  std::string escapedKey, escapedPath;
  for (char c : key) escapedKey += c == '\\' ? "\\\\" : std::string(1, c);
  for (char c : windowsPath) escapedPath += c == '\\' ? "\\\\" : std::string(1, c);
  return "WINE REGISTRY Version 2\n\n[" + escapedKey + "] 1700000000\n\"Path\"=\"" + escapedPath + "\"\n";
}

class Finder : public ::testing::Test {
 protected:
  Finder() {
    places.home = dir / "home";
    fs::create_directories(places.home);
  }
  // A folder that qualifies, with the names written in the given case.
  void Game(const fs::path& folder, const char* tlk = "dialog.tlk", const char* key = "chitin.key") {
    dir.Write((folder / tlk).lexically_relative(dir.Path()).string(), "TLK ");
    dir.Write((folder / key).lexically_relative(dir.Path()).string(), "KEY ");
  }
  fs::path Home() const { return places.home; }
  std::vector<FoundGame> Found() const { return GameFinder(places).FindAll(); }
  static const FoundGame* At(const std::vector<FoundGame>& games, const fs::path& folder) {
    for (const FoundGame& g : games)
      if (fs::equivalent(g.folder, folder)) return &g;
    return nullptr;
  }

  TempDir dir;
  FinderPlaces places;
};

TEST_F(Finder, QualifiesFoldersByTheirContentInAnyLetterCase) {
  Game(dir / "a");
  Game(dir / "b", "DIALOG.TLK", "Chitin.Key");
  dir.Write("c/dialog.tlk", "TLK ");  // a talk table alone is not a game
  dir.Write("d/chitin.key/x", "");    // nor is a folder named like the key file
  dir.Write("d/dialog.tlk", "TLK ");
  EXPECT_TRUE(GameFinder::IsGameFolder(dir / "a"));
  EXPECT_TRUE(GameFinder::IsGameFolder(dir / "b"));
  EXPECT_FALSE(GameFinder::IsGameFolder(dir / "c"));
  EXPECT_FALSE(GameFinder::IsGameFolder(dir / "d"));
  EXPECT_FALSE(GameFinder::IsGameFolder(dir / "missing"));
}

TEST_F(Finder, SearchesSteamLibrariesProtonWineLutrisAndHeroic) {
  const fs::path steam = Home() / ".local/share/Steam";
  const fs::path library2 = dir / "disk2/SteamLibrary";
  dir.Write((steam / "steamapps/libraryfolders.vdf").lexically_relative(dir.Path()).string(),
            "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() +
                "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library2.string() + "\"\n\t\t\"apps\" { \"7\" \"1\" }\n\t}\n}\n");
  Game(steam / "steamapps/common/Any Name");
  dir.Write((steam / "steamapps/common/Decoy/dialog.tlk").lexically_relative(dir.Path()).string(), "TLK ");
  Game(library2 / "steamapps/common/Bundle/Data");
  // The usual link to the same Steam folder shows nothing twice.
  fs::create_directories(Home() / ".steam");
  fs::create_directory_symlink(steam, Home() / ".steam/steam");
  Game(Home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/common/Flat");
  Game(library2 / "steamapps/compatdata/4711/pfx/drive_c/Program Files/Maker/Game");

  // The default Wine prefix: its registry names the first edition's folder.
  Game(Home() / ".wine/drive_c/Games/First");
  dir.Write("home/.wine/system.reg", Reg("Software\\Fenwyck\\XT\\ARKAN", "C:\\Games\\First"));
  // A Lutris prefix whose registry names the second edition.
  const fs::path lutrisPrefix = dir / "lutris prefix";
  Game(lutrisPrefix / "drive_c/G2");
  dir.Write("lutris prefix/system.reg", Reg("Software\\Wow6432Node\\Quenbrook\\Arkan2", "C:\\G2"));
  dir.Write("home/.config/lutris/games/some-game-1.yml",
            "game:\n  exe: /nowhere/game.exe\n  prefix: '" + lutrisPrefix.string() + "'\nsystem:\n  prefix: /wrong\n");
  // A Heroic prefix named in its settings, slashes escaped as JSON allows.
  std::string heroicPrefix = (dir / "heroic").string();
  std::string escaped;
  for (char c : heroicPrefix) escaped += c == '/' ? "\\/" : std::string(1, c);
  Game(dir / "heroic/drive_c/GOG Games/Thing");
  dir.Write("home/.config/heroic/GamesConfig/abc.json", "{\"abc\": {\"winePrefix\": \"" + escaped + "\"}}");
  fs::create_directories(dir / "heroic/drive_c/windows");

  const std::vector<FoundGame> games = Found();
  std::vector<fs::path> expected = {steam / "steamapps/common/Any Name",
                                    library2 / "steamapps/common/Bundle/Data",
                                    Home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/common/Flat",
                                    library2 / "steamapps/compatdata/4711/pfx/drive_c/Program Files/Maker/Game",
                                    Home() / ".wine/drive_c/Games/First",
                                    lutrisPrefix / "drive_c/G2",
                                    dir / "heroic/drive_c/GOG Games/Thing"};
  EXPECT_EQ(games.size(), expected.size());
  for (const fs::path& folder : expected) EXPECT_NE(At(games, folder), nullptr) << folder;

  const FoundGame* first = At(games, Home() / ".wine/drive_c/Games/First");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->edition, 1);
  const FoundGame* second = At(games, lutrisPrefix / "drive_c/G2");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->edition, 2);
  EXPECT_EQ(At(games, steam / "steamapps/common/Any Name")->edition, 0);

  // A mod for the first edition is offered every folder but the second's.
  const auto forFirst = ForEdition(games, 1);
  EXPECT_EQ(forFirst.size(), games.size() - 1);
  EXPECT_EQ(At(forFirst, lutrisPrefix / "drive_c/G2"), nullptr);
  EXPECT_EQ(ForEdition(games, 2).size(), games.size() - 1);
  EXPECT_EQ(ForEdition(games, 0).size(), games.size());
}

TEST_F(Finder, AnEmptyHomeFindsNothing) { EXPECT_TRUE(Found().empty()); }

// Two prefixes whose registries name one shared folder (through their D:
// drives) as different editions: the folder is found once, edition open.
TEST_F(Finder, PrefixesDisagreeingOnAnEditionLeaveItOpen) {
  const fs::path shared = dir / "shared games";
  Game(shared / "Arkan");
  const fs::path lutrisPrefix = dir / "lutris prefix";
  for (const fs::path& prefix : {Home() / ".wine", lutrisPrefix}) {
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink(shared, prefix / "dosdevices/d:");
  }
  dir.Write("home/.wine/system.reg", Reg("Software\\Fenwyck\\XT\\ARKAN", "D:\\Arkan"));
  dir.Write("lutris prefix/system.reg", Reg("Software\\Quenbrook\\Arkan2", "D:\\Arkan"));
  dir.Write("home/.config/lutris/games/arkan.yml", "game:\n  prefix: '" + lutrisPrefix.string() + "'\n");

  const std::vector<FoundGame> games = Found();
  ASSERT_EQ(games.size(), 1u);
  EXPECT_TRUE(fs::equivalent(games[0].folder, shared / "Arkan"));
  EXPECT_EQ(games[0].edition, 0);
  EXPECT_EQ(games[0].via.size(), 2u);
  EXPECT_EQ(ForEdition(games, 1).size(), 1u);
  EXPECT_EQ(ForEdition(games, 2).size(), 1u);

  // With one registry alone the edition is known.
  fs::remove(dir / "lutris prefix/system.reg");
  const std::vector<FoundGame> one = Found();
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].edition, 1);
}

// A game four folders below drive_c, in a Heroic prefix whose name holds a
// character outside the basic plane, written as a JSON surrogate pair.
TEST_F(Finder, DeepGamesInPrefixesNamedWithEscapes) {
  const fs::path prefix = dir / "pfx \xF0\x9F\x98\x80";
  Game(prefix / "drive_c/GOG Games/Maker/Arkan/Game");
  Game(prefix / "drive_c/Program Files/Games/Maker/Arkan/Too Deep");
  const std::string written = (dir / "pfx ").string() + "\\ud83d\\ude00";
  dir.Write("home/.config/heroic/GamesConfig/arkan.json", "{\"arkan\": {\"winePrefix\": \"" + written + "\"}}");
  const std::vector<FoundGame> games = Found();
  ASSERT_EQ(games.size(), 1u);
  EXPECT_TRUE(fs::equivalent(games[0].folder, prefix / "drive_c/GOG Games/Maker/Arkan/Game"));
}

TEST(LauncherFiles, VdfLibraryListsInBothLayouts) {
  EXPECT_EQ(VdfLibraryFolders("\"libraryfolders\" { \"contentstatsid\" \"1\" \"0\" { \"path\" \"/a\" "
                              "\"apps\" { \"10\" \"5\" } } // note\n \"1\" { \"path\" \"/b \\\"q\\\"\" } }"),
            (std::vector<std::string>{"/a", "/b \"q\""}));
  EXPECT_EQ(VdfLibraryFolders("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1\"\n\t\"1\"\t\"/mnt/g\"\n}\n"),
            std::vector<std::string>{"/mnt/g"});
  EXPECT_TRUE(VdfLibraryFolders("\"other\" { \"path\" \"/x\" }").empty());
  EXPECT_TRUE(VdfLibraryFolders("\"libraryfolders\" { \"0\" { \"path\"").empty());
}

TEST(LauncherFiles, LutrisAndHeroicValues) {
  LutrisGame g = LutrisGameFile("name: x\ngame:\n  exe: \"/g/a b.exe\"\n  prefix: /p # a comment\nwine:\n  prefix: /no\n");
  EXPECT_EQ(g.exe, "/g/a b.exe");
  EXPECT_EQ(g.prefix, "/p");
  EXPECT_EQ(LutrisGameFile("game:\n  prefix: 'it''s'\n").prefix, "it's");
  EXPECT_EQ(JsonStringValues("{\"a\":{\"install_path\":\"\\/x\\u00e9\"},\"b\":[{\"install_path\" : \"/y\"}],"
                             "\"n\":\"install_path\",\"install_path\":3}",
                             "install_path"),
            (std::vector<std::string>{"/x\xC3\xA9", "/y"}));
  // A surrogate pair is one character; a lone half is left out.
  EXPECT_EQ(JsonStringValues("{\"p\": \"\\ud83d\\ude00 \\ud83d|\"}", "p"),
            (std::vector<std::string>{"\xF0\x9F\x98\x80 |"}));
}

}  // namespace
}  // namespace vey::platform
