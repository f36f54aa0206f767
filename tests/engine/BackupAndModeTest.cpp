// Backups of same-named files from different places, and replaced game files
// that keep their mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "EngineFixture.h"

namespace vey::test {
namespace {


mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Two game files named alike, replaced by one run: the first keeps the flat
// backup, the second one's original goes below its place in the game folder,
// and a third replacement of either makes no second copy.
TEST(Backups, SameNamedFilesFromTwoPlacesAreBothKept) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nroot=.\\\nover=override\nagain=override\n"
        "[root]\nReplace0=notes.txt\n[over]\nReplace0=notes.txt\n[again]\nReplace0=notes.txt\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "notes.txt", {'r', 'o', 'o', 't'});
  f.WriteFile(f.Game() + "override/notes.txt", {'o', 'v', 'e', 'r'});
  f.WriteFile(f.Data() + "notes.txt", {'m', 'o', 'd'});
  f.Engine().ProcessInstallList();

  EXPECT_EQ(f.ReadFile(f.Game() + "notes.txt"), "mod");
  EXPECT_EQ(f.ReadFile(f.Game() + "override/notes.txt"), "mod");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/notes.txt"), "root");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/override/notes.txt"), "over");
  EXPECT_EQ(f.CountContaining("The backup folder already holds another file named notes.txt; the "
                              "unaltered override/notes.txt is kept as " +
                              f.App() + "backup/override/notes.txt."),
            1u);
}

// A flat backup that an earlier run left is kept and taken to be of the file
// now replaced; the 2DA list's own backup follows the same rule.
TEST(Backups, EarlierBackupsStayAndOtherListsShareTheRule) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nroot=.\\\n[root]\nReplace0=t.2da\n"
        "[2DAList]\nTable0=t.2da\n[t.2da]\n");
  f.MakeGame();
  f.WriteFile(f.App() + "backup/old.txt", {'1'});
  f.WriteFile(f.Game() + "t.2da", {'g'});
  f.WriteFile(f.Data() + "t.2da", {'m'});
  f.Engine().ProcessInstallList();
  EXPECT_EQ(f.ReadFile(f.App() + "backup/t.2da"), "g");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/old.txt"), "1");

  // The override copy of the table is another file of that name.
  TPatchFileHandler& h = f.Handler();
  f.WriteFile(f.Game() + "override/t.2da", {'o'});
  ASSERT_TRUE(h.LocateFile("t.2da", fk2DA));
  EXPECT_TRUE(h.BackupFile());
  EXPECT_FALSE(h.BackupFile());
  EXPECT_EQ(f.ReadFile(f.App() + "backup/override/t.2da"), "o");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/t.2da"), "g");
}

// Each way a run replaces a file in the game keeps the mode of the replaced
// file: the install list's replace keys, a fresh copy for a patch list, and
// an edit in place.
TEST(ReplacedFiles, KeepTheirMode) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nover=override\n[over]\nReplace0=ro.txt\n");
  f.MakeGame();
  for (const char* name : {"ro.txt", "fresh.2da", "inplace.ncs"}) {
    f.WriteFile(f.Game() + "override/" + name, {'g'});
    ::chmod((f.Game() + "override/" + name).c_str(), 0444);
    f.WriteFile(f.Data() + name, {'m'});
  }
  ::chmod((f.Game() + "override/inplace.ncs").c_str(), 0640);
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();
  ASSERT_TRUE(e.FileHandler.LocateFile("fresh.2da", fk2DA, {}, true));
  e.Files().WriteFile(f.Game() + "override/inplace.ncs", std::vector<std::uint8_t>{'x'});

  EXPECT_EQ(f.ReadFile(f.Game() + "override/ro.txt"), "m");
  EXPECT_EQ(f.ReadFile(f.Game() + "override/fresh.2da"), "m");
  EXPECT_EQ(f.ReadFile(f.Game() + "override/inplace.ncs"), "x");
  EXPECT_EQ(ModeOf(f.Game() + "override/ro.txt"), 0444u);
  EXPECT_EQ(ModeOf(f.Game() + "override/fresh.2da"), 0444u);
  EXPECT_EQ(ModeOf(f.Game() + "override/inplace.ncs"), 0640u);
}

}  // namespace
}  // namespace vey::test
