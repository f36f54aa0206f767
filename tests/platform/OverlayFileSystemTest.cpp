// The dry run's overlay: reads see the folders plus the run's own changes,
// and nothing reaches the folders themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/VeyException.h"
#include "platform/OverlayFileSystem.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

using Path = std::filesystem::path;

std::map<std::string, std::string> Tree(const Path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    std::string content;
    if (e.is_regular_file()) {
      auto bytes = ReadWholeFile(e.path());
      content.assign(bytes.begin(), bytes.end());
    }
    tree[e.path().lexically_relative(root).string()] = content;
  }
  return tree;
}

std::string Text(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(OverlayFileSystem, ServesItsOwnChangesAndLeavesTheFoldersAlone) {
  test::TempDir dir;
  dir.Write("game/override/Old.2DA", "old");
  dir.Write("game/override/gone.txt", "gone");
  dir.Write("game/dialog.tlk", "tlk");
  const auto before = Tree(dir.Path());
  const Path game = dir / "game";
  Path scratch;
  {
    OverlayFileSystem fs;
    scratch = fs.Scratch();
    fs.AddWritableRoot(game);
    const Path over = fs.Child(game, "override");

    // A write, then a copy of it and a copy of an untouched original.
    fs.WriteFile(over / "new.uti", test::ToBytes("v1"));
    fs.CopyFile(over / "new.uti", over / "copy.uti");
    fs.WriteFile(over / "new.uti", test::ToBytes("v2"));
    fs.CopyFile(fs.Child(over, "old.2da"), over / "backup.2da");
    fs.WriteFile(fs.Child(over, "old.2da"), test::ToBytes("changed"));
    EXPECT_EQ(Text(fs.ReadFile(over / "new.uti")), "v2");
    EXPECT_EQ(Text(fs.ReadFile(over / "copy.uti")), "v1");
    EXPECT_EQ(Text(fs.ReadFile(over / "backup.2da")), "old");
    EXPECT_EQ(Text(fs.ReadFile(over / "Old.2DA")), "changed");
    // Names the run made are found in any letter case.
    EXPECT_EQ(fs.Child(over, "NEW.UTI"), over / "new.uti");
    EXPECT_EQ(fs.Resolve(game, "Override\\Copy.uti"), over / "copy.uti");

    // Removed and renamed files are gone from every read.
    fs.RemoveFile(over / "gone.txt");
    fs.Rename(over / "backup.2da", over / "old_backup.2da");
    EXPECT_FALSE(fs.Exists(over / "gone.txt"));
    EXPECT_EQ(fs.Child(over, "GONE.txt"), over / "GONE.txt");
    EXPECT_THROW(fs.ReadFile(over / "backup.2da"), EFOpenError);
    EXPECT_THROW(fs.Rename(over / "copy.uti", over / "new.uti"), EFCreateError);
    EXPECT_EQ(Sorted(fs.List(over)),
              (std::vector<std::string>{"Old.2DA", "copy.uti", "new.uti", "old_backup.2da"}));

    // Folders: made, listed, removed when empty; a file needs its folder.
    fs.CreateDirectories(game / "movies/intro");
    EXPECT_EQ(fs.Resolve(game, "Movies\\Intro\\"), game / "movies/intro/");
    EXPECT_THROW(fs.WriteFile(game / "nowhere/x", test::ToBytes("x")), EFCreateError);
    EXPECT_FALSE(fs.RemoveEmptyDirectory(game / "movies"));
    EXPECT_TRUE(fs.RemoveEmptyDirectory(game / "movies/intro"));
    EXPECT_EQ(fs.List(game / "movies"), std::vector<std::string>{});

    // A writer outside the file system writes where it is told and the
    // result is served afterwards.
    const Path target = fs.BeforeWrite(game / "dialog.tlk");
    EXPECT_NE(target, game / "dialog.tlk");
    WriteFileAtomic(target, test::ToBytes("grown"));
    fs.WriteDone(game / "dialog.tlk");
    EXPECT_EQ(Text(fs.ReadFile(game / "dialog.tlk")), "grown");
    EXPECT_EQ(fs.HostPath(game / "dialog.tlk"), target);

    // The write fence still holds.
    EXPECT_THROW(fs.WriteFile(dir / "outside.txt", test::ToBytes("x")), EPathError);
    EXPECT_EQ(Tree(dir.Path()), before);
  }
  EXPECT_FALSE(std::filesystem::exists(scratch));
  EXPECT_EQ(Tree(dir.Path()), before);
}

TEST(OverlayFileSystem, ObserversHearOfEveryChange) {
  struct Heard : FileChangeObserver {
    std::vector<FileChange::Kind> kinds;
    void BeforeChange(const FileChange& c) override { kinds.push_back(c.kind); }
  } heard;
  test::TempDir dir;
  dir.Write("game/a.txt", "a");
  OverlayFileSystem fs;
  fs.AddWritableRoot(dir / "game");
  fs.AddObserver(&heard);
  fs.WriteFile(dir / "game/b.txt", test::ToBytes("b"));
  fs.CopyFile(dir / "game/a.txt", dir / "game/c.txt");
  fs.Rename(dir / "game/c.txt", dir / "game/d.txt");
  fs.RemoveFile(dir / "game/a.txt");
  fs.RemoveFile(dir / "game/missing.txt");
  fs.CreateDirectories(dir / "game/sub");
  fs.RemoveEmptyDirectory(dir / "game/sub");
  EXPECT_EQ(heard.kinds, (std::vector<FileChange::Kind>{FileChange::kWrite, FileChange::kWrite,
                                                        FileChange::kRename, FileChange::kRemove,
                                                        FileChange::kMakeFolder, FileChange::kRemoveFolder}));
  fs.RemoveObserver(&heard);
}

}  // namespace
}  // namespace vey::platform
