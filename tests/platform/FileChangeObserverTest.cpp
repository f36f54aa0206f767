// The change hook of the game file system: every change is announced before it
// is made, with what it is, and an observer that refuses stops it untouched.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/VeyException.h"
#include "platform/GameFileSystem.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

using Path = std::filesystem::path;

struct Recorder : FileChangeObserver {
  explicit Recorder(const Path& base) : base(base) {}
  void BeforeChange(const FileChange& c) override {
    std::string line = Name(c.kind) + " " + c.path.lexically_relative(base).string();
    if (c.kind == FileChange::kRename) line += " " + c.to.lexically_relative(base).string();
    // What an observer sees before: the old state is still on disk.
    line += std::filesystem::exists(c.kind == FileChange::kRename ? c.to : c.path) ? " (exists)" : "";
    before.push_back(line);
    if (failAt && before.size() == failAt) throw EFCreateError("No space left on device");
  }
  void AfterChange(const FileChange& c) override {
    after.push_back(Name(c.kind) + " " + c.path.lexically_relative(base).string());
  }
  static std::string Name(FileChange::Kind k) {
    switch (k) {
      case FileChange::kWrite: return "write";
      case FileChange::kRemove: return "remove";
      case FileChange::kRename: return "rename";
      case FileChange::kMakeFolder: return "mkdir";
      case FileChange::kRemoveFolder: return "rmdir";
    }
    return "?";
  }
  Path base;
  std::vector<std::string> before, after;
  std::size_t failAt = 0;
};

TEST(GameFileSystemObserver, AnnouncesEveryChangeBeforeItHappens) {
  test::TempDir dir;
  dir.Write("game/old.2da", "old");
  GameFileSystem fs;
  fs.AddWritableRoot(dir / "game");
  Recorder rec(dir.Path());
  fs.AddObserver(&rec);

  fs.CreateDirectories(dir / "game/override/sub");
  fs.CreateDirectories(dir / "game/override/sub");  // already there: no change
  fs.WriteFile(dir / "game/override/a.uti", test::ToBytes("a"));
  fs.CopyFile(dir / "game/old.2da", dir / "game/override/b.2da");
  fs.WriteFile(dir / "game/old.2da", test::ToBytes("new"));
  fs.Rename(dir / "game/override/b.2da", dir / "game/override/c.2da");
  fs.RemoveFile(dir / "game/override/a.uti");
  fs.RemoveFile(dir / "game/override/a.uti");  // gone already: no change
  EXPECT_TRUE(fs.RemoveEmptyDirectory(dir / "game/override/sub"));
  fs.BeforeWrite(dir / "game/x.rim");
  fs.WriteDone(dir / "game/x.rim");

  const std::vector<std::string> expected = {
      "mkdir game/override/sub",          "write game/override/a.uti",
      "write game/override/b.2da",        "write game/old.2da (exists)",
      "rename game/override/b.2da game/override/c.2da", "remove game/override/a.uti (exists)",
      "rmdir game/override/sub (exists)", "write game/x.rim"};
  EXPECT_EQ(rec.before, expected);
  EXPECT_EQ(rec.after.size(), expected.size());

  fs.RemoveObserver(&rec);
  fs.WriteFile(dir / "game/override/d.uti", test::ToBytes("d"));
  EXPECT_EQ(rec.before.size(), expected.size());
}

TEST(GameFileSystemObserver, RefusalLeavesTheFileUntouchedAndFenceComesFirst) {
  test::TempDir dir;
  dir.Write("game/dialog.tlk", "old");
  dir.Write("outside.txt", "x");
  GameFileSystem fs;
  fs.AddWritableRoot(dir / "game");
  Recorder rec(dir.Path());
  fs.AddObserver(&rec);

  // Outside the fence: refused by the fence, never announced.
  EXPECT_THROW(fs.WriteFile(dir / "outside.txt", test::ToBytes("y")), EPathError);
  EXPECT_TRUE(rec.before.empty());

  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"write", [&] { fs.WriteFile(dir / "game/dialog.tlk", test::ToBytes("new")); }},
      {"copy", [&] { fs.CopyFile(dir / "outside.txt", dir / "game/dialog.tlk"); }},
      {"remove", [&] { fs.RemoveFile(dir / "game/dialog.tlk"); }},
      {"rename", [&] { fs.Rename(dir / "game/dialog.tlk", dir / "game/d2.tlk"); }},
      {"mkdir", [&] { fs.CreateDirectories(dir / "game/new"); }},
      {"outside writer", [&] { fs.BeforeWrite(dir / "game/dialog.tlk"); }},
  };
  for (const Case& c : cases) {
    rec.before.clear();
    rec.after.clear();
    rec.failAt = 1;
    EXPECT_THROW(c.change(), EFCreateError) << c.what;
    EXPECT_TRUE(rec.after.empty()) << c.what;
    EXPECT_EQ(dir.Read("game/dialog.tlk"), "old") << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir / "game/d2.tlk")) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir / "game/new")) << c.what;
  }
}

}  // namespace
}  // namespace vey::platform
