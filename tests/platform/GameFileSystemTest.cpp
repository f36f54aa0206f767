// Path resolution against a real folder, and the write fence.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/VeyException.h"
#include "platform/GameFileSystem.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

using Path = std::filesystem::path;

// Makes a folder look untouched for a minute, so that its listing is cached.
void Age(const Path& folder) {
  timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 60;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

TEST(GameFileSystemResolve, MatchesExistingComponentsWithoutCase) {
  test::TempDir game;
  game.Write("Override/Appearance.2DA", "x");
  game.Write("Modules/danm13.rim", "x");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\appearance.2da"),
            game / "Override/Appearance.2DA");
  EXPECT_EQ(fs.Resolve(game.Path(), "MODULES/DANM13.RIM"), game / "Modules/danm13.rim");
  // Mixed separators and doubled ones still name the same file.
  EXPECT_EQ(fs.Resolve(game.Path(), "override//.\\APPEARANCE.2da"),
            game / "Override/Appearance.2DA");
}

TEST(GameFileSystemResolve, PrefersTheExactSpellingAmongCaseTwins) {
  test::TempDir game;
  game.Write("override/a.txt", "lower");
  game.Write("Override/a.txt", "upper");
  game.Write("OVERRIDE/a.txt", "caps");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "Override\\a.txt"), game / "Override/a.txt");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\a.txt"), game / "override/a.txt");
  // No exact twin: the choice must not depend on directory order.
  EXPECT_EQ(fs.Resolve(game.Path(), "oVerride\\a.txt"), game / "OVERRIDE/a.txt");
}

TEST(GameFileSystemResolve, KeepsWrittenCaseBelowTheLastExistingFolder) {
  test::TempDir game;
  game.Write("Override/keep.txt", "x");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\New\\Sub\\File.UTI"),
            game / "Override/New/Sub/File.UTI");
  EXPECT_EQ(fs.Resolve(game.Path(), "Backup\\x.2da"), game / "Backup/x.2da");
}

TEST(GameFileSystemResolve, TrailingSeparatorAndCurrentFolder) {
  test::TempDir game;
  game.Write("Override/x", "x");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\"), game.Path() / "Override" / "");
  EXPECT_EQ(fs.Resolve(game.Path(), "Override/"), game.Path() / "Override" / "");
  EXPECT_EQ(fs.Resolve(game.Path(), ".\\"), game.Path() / "");
  EXPECT_EQ(fs.Resolve(game.Path(), "."), game.Path());
  EXPECT_EQ(fs.Resolve(game.Path(), ""), game.Path());
  // A base given with its trailing separator gains no second one.
  EXPECT_EQ(fs.Resolve(game.Path() / "", "override").string(),
            (game.Path() / "Override").string());
}

TEST(GameFileSystemResolve, RefusesEveryKindOfEscape) {
  test::TempDir game;
  GameFileSystem fs;
  const char* escapes[] = {"..",          "..\\dialog.tlk", "override\\..\\..\\x",
                           "a/../b",      "override/..",    "/etc/passwd",
                           "\\windows",   "\\\\server\\share\\x",
                           "\\\\?\\C:\\x", "C:",            "c:\\games\\x",
                           "C:x",         "z:/x"};
  for (std::string_view bad : escapes) {
    SCOPED_TRACE(std::string(bad));
    EXPECT_FALSE(GameFileSystem::IsContained(bad));
    EXPECT_THROW(fs.Resolve(game.Path(), bad), EPathError);
  }
  EXPECT_FALSE(GameFileSystem::IsContained(std::string_view("a\0b", 3)));
  EXPECT_THROW(fs.Resolve(game.Path(), std::string_view("ok\0/../..", 9)), EPathError);

  test::ExpectFailure<EPathError>(
      [&] { fs.Resolve("/game", "override\\..\\..\\etc"); }, 0,
      "The path \"override\\..\\..\\etc\" is refused: it climbs out of its folder with \"..\". "
      "Paths must stay inside \"/game\".");
  test::ExpectFailure<EPathError>([&] { fs.Resolve("/game", "C:\\x"); }, 0,
                                  "The path \"C:\\x\" is refused: it names a drive. Paths must "
                                  "stay inside \"/game\".");
}

TEST(GameFileSystemResolve, NamesThatOnlyLookLikeEscapesAreFollowed) {
  test::TempDir game;
  GameFileSystem fs;
  // On Linux these are ordinary names and cannot leave the folder.
  EXPECT_EQ(fs.Resolve(game.Path(), "..."), game / "...");
  EXPECT_EQ(fs.Resolve(game.Path(), "..x\\x.."), game / "..x/x..");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\a:b"), game / "override/a:b");
  EXPECT_EQ(fs.Resolve(game.Path(), "1:"), game / "1:");
}

TEST(GameFileSystemResolve, FindsUtf8NamesForWindows1252Text) {
  test::TempDir game;
  game.Write("Override/caf\xC3\xA9.2da", "x");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\CAF\xE9.2DA"),
            game / "Override/caf\xC3\xA9.2da");
}

TEST(GameFileSystemChild, RefusesAnythingButOneName) {
  test::TempDir game;
  game.Write("Dialog.TLK", "x");
  GameFileSystem fs;
  EXPECT_EQ(fs.Child(game.Path(), "dialog.tlk"), game / "Dialog.TLK");
  for (std::string_view bad : {"", ".", "..", "a/b", "a\\b"}) {
    SCOPED_TRACE(std::string(bad));
    EXPECT_THROW(fs.Child(game.Path(), bad), EPathError);
  }
}

TEST(GameFileSystemQuery, ListsAndTellsFilesFromFolders) {
  test::TempDir game;
  game.Write("Override/a.2da", "x");
  game.Write("b.txt", "y");
  GameFileSystem fs;
  auto names = fs.List(game.Path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Override", "b.txt"}));
  EXPECT_TRUE(fs.IsDirectory(game / "Override"));
  EXPECT_FALSE(fs.IsFile(game / "Override"));
  EXPECT_TRUE(fs.IsFile(game / "b.txt"));
  EXPECT_FALSE(fs.Exists(game / "c.txt"));
  EXPECT_TRUE(fs.List(game / "missing").empty());
}

TEST(GameFileSystemWrite, RefusesTargetsOutsideTheRoots) {
  test::TempDir top;
  std::filesystem::create_directories(top / "game");
  std::filesystem::create_directories(top / "gamex");
  GameFileSystem fs;
  // Nothing registered: nothing may be written.
  EXPECT_THROW(fs.WriteFile(top / "game/a", test::ToBytes("x")), EPathError);

  fs.AddWritableRoot(top / "game/");
  // Every mod of a list's dry run registers the game folder again: kept once.
  fs.AddWritableRoot(top / "game/./");
  EXPECT_EQ(fs.WritableRoots().size(), 1u);
  EXPECT_NO_THROW(fs.WriteFile(top / "game/a", test::ToBytes("x")));
  EXPECT_TRUE(fs.IsWritable(top / "game"));
  EXPECT_TRUE(fs.IsWritable(top / "game/"));
  EXPECT_TRUE(fs.IsWritable(top / "game/sub/../b"));
  EXPECT_FALSE(fs.IsWritable(top / "gamex/a"));  // a sibling sharing the prefix
  EXPECT_FALSE(fs.IsWritable(top / "game/../gamex/a"));
  // Spellings that are not normal are judged by what they name.
  EXPECT_TRUE(fs.IsWritable(top / "game//b"));
  EXPECT_TRUE(fs.IsWritable(top / "game/./b/."));
  EXPECT_FALSE(fs.IsWritable(top / "game/.."));
  EXPECT_FALSE(fs.IsWritable(top / "game/sub/../.."));
  EXPECT_FALSE(fs.IsWritable(top / "gam"));
  EXPECT_FALSE(fs.IsWritable(top.Path()));

  const Path outside = top / "gamex/a";
  test::ExpectFailure<EPathError>(
      [&] { fs.WriteFile(outside, test::ToBytes("x")); }, 0,
      "Refusing to write \"" + outside.string() +
          "\": it lies outside the folders this installation may change.");
  EXPECT_THROW(fs.CreateFile(outside), EPathError);
  EXPECT_THROW(fs.CopyFile(top / "game/a", outside), EPathError);
  EXPECT_THROW(fs.CreateDirectories(top / "gamex/d"), EPathError);
  EXPECT_THROW(fs.Rename(top / "game/a", outside), EPathError);
  top.Write("gamex/keep", "k");
  EXPECT_THROW(fs.Rename(top / "gamex/keep", top / "game/stolen"), EPathError);
  EXPECT_THROW(fs.RemoveFile(top / "gamex/keep"), EPathError);
  EXPECT_THROW(fs.RemoveEmptyDirectory(top / "gamex"), EPathError);
  EXPECT_FALSE(std::filesystem::exists(outside));
  EXPECT_EQ(top.Read("gamex/keep"), "k");
}

TEST(GameFileSystemWrite, WritesCopiesAndRemovesInsideARoot) {
  test::TempDir dir;
  GameFileSystem fs;
  fs.AddWritableRoot(dir.Path());
  fs.CreateDirectories(dir / "a/b/");
  EXPECT_TRUE(fs.IsDirectory(dir / "a/b"));
  fs.WriteFile(dir / "a/b/f", test::ToBytes("one"));
  fs.CopyFile(dir / "a/b/f", dir / "a/g");
  EXPECT_EQ(dir.Read("a/g"), "one");
  {
    auto out = fs.CreateFile(dir / "a/h");
    out->Write(test::ToBytes("two"));
    out->Commit();
  }
  EXPECT_EQ(dir.Read("a/h"), "two");
  EXPECT_FALSE(fs.RemoveEmptyDirectory(dir / "a/b"));  // still holds f
  fs.RemoveFile(dir / "a/b/f");
  EXPECT_NO_THROW(fs.RemoveFile(dir / "a/b/f"));  // already gone
  EXPECT_TRUE(fs.RemoveEmptyDirectory(dir / "a/b"));
  EXPECT_FALSE(fs.Exists(dir / "a/b"));
  EXPECT_THROW(fs.CopyFile(dir / "missing", dir / "a/x"), EFOpenError);
}

TEST(GameFileSystemWrite, RenameNeverReplacesAnExistingFile) {
  test::TempDir dir;
  GameFileSystem fs;
  fs.AddWritableRoot(dir.Path());
  dir.Write("Override/a.uti", "new");
  dir.Write("Override/old_a.uti", "older");
  EXPECT_THROW(fs.Rename(dir / "Override/a.uti", dir / "Override/old_a.uti"), EFCreateError);
  EXPECT_EQ(dir.Read("Override/old_a.uti"), "older");
  EXPECT_EQ(dir.Read("Override/a.uti"), "new");
  fs.RemoveFile(dir / "Override/old_a.uti");
  fs.Rename(dir / "Override/a.uti", dir / "Override/old_a.uti");
  EXPECT_EQ(dir.Read("Override/old_a.uti"), "new");
  EXPECT_FALSE(fs.Exists(dir / "Override/a.uti"));
}

TEST(GameFileSystemCache, SeesFilesTheRunCreatedItself) {
  test::TempDir game;
  game.Write("Override/x", "x");
  game.Write("data/src.2da", "s");
  Age(game / "Override");
  GameFileSystem fs;
  fs.AddWritableRoot(game.Path());
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\NEW.2da"), game / "Override/NEW.2da");
  fs.WriteFile(game / "Override/new.2da", test::ToBytes("y"));
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\NEW.2da"), game / "Override/new.2da");
  fs.CopyFile(game / "data/src.2da", game / "Override/Copied.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\copied.2DA"), game / "Override/Copied.2da");

  auto out = fs.CreateFile(game / "Override/later.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\LATER.2da"), game / "Override/LATER.2da");
  out->Commit();
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\LATER.2da"), game / "Override/later.2da");

  fs.Rename(game / "Override/later.2da", game / "Override/Moved.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\moved.2DA"), game / "Override/Moved.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\later.2DA"), game / "Override/later.2DA");
  fs.Rename(game / "Override/Moved.2da", game / "data/moved.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\moved.2DA"), game / "Override/moved.2DA");
  EXPECT_EQ(fs.Resolve(game.Path(), "DATA\\MOVED.2da"), game / "data/moved.2da");

  fs.RemoveFile(game / "Override/new.2da");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\NEW.2da"), game / "Override/NEW.2da");
  fs.CreateDirectories(game / "Override/sub/deeper");
  EXPECT_EQ(fs.Resolve(game.Path(), "OVERRIDE\\SUB\\Deeper\\"),
            game.Path() / "Override/sub/deeper/");
  EXPECT_TRUE(fs.RemoveEmptyDirectory(game / "Override/sub/deeper"));
  EXPECT_EQ(fs.Resolve(game.Path(), "OVERRIDE\\SUB\\Deeper"), game / "Override/sub/Deeper");
}

TEST(GameFileSystemCache, SeesChangesMadeByOthers) {
  test::TempDir game;
  game.Write("Override/x", "x");
  Age(game / "Override");
  GameFileSystem fs;
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\Compiled.NCS"), game / "Override/Compiled.NCS");
  game.Write("Override/compiled.ncs", "by another program");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\Compiled.NCS"), game / "Override/compiled.ncs");
  std::filesystem::remove(game / "Override/compiled.ncs");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\Compiled.NCS"), game / "Override/Compiled.NCS");
  // A folder replaced by another of the same name is read again.
  std::filesystem::rename(game / "Override", game / "Old");
  game.Write("Override/Compiled.ncs", "y");
  Age(game / "Override");
  EXPECT_EQ(fs.Resolve(game.Path(), "override\\compiled.NCS"), game / "Override/Compiled.ncs");
}

}  // namespace
}  // namespace vey::platform
