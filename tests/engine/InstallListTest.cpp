// InstallList: files copied into game folders and archives, the replace rules,
// protected game files, refused destinations and names, and the override check.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "EngineFixture.h"
#include "support/SmallArchive.h"

namespace vey::test {
namespace {


ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

TEST(InstallListFolders, CopiesRenamesCreatesFoldersAndLabelsTheGameFolder) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\ninstall_folder0=override\ninstall_folder1=.\\\ninstall_folder2="
        "Movies\\Intro\n"
        "[install_folder0]\nFile0=a.utc\nFile1=shared.tga\n!OverrideType=rename\n"
        "[install_folder1]\nFile0=readme.txt\n"
        "[install_folder2]\nFile0=intro.bik\n"
        "[shared.tga]\n!SourceFile=common.tga\n!SaveAs=red.tga\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "a.utc", {1});
  f.WriteFile(f.Data() + "common.tga", {2});
  f.WriteFile(f.Data() + "readme.txt", {3});
  f.WriteFile(f.Data() + "intro.bik", {4});
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();

  EXPECT_EQ(f.ReadFile(f.Game() + "override/a.utc"), "\1");
  EXPECT_EQ(f.ReadFile(f.Game() + "override/red.tga"), "\2");
  EXPECT_FALSE(f.Exists(f.Game() + "override/shared.tga"));
  EXPECT_EQ(f.ReadFile(f.Game() + "readme.txt"), "\3");
  EXPECT_EQ(f.ReadFile(f.Game() + "Movies/Intro/intro.bik"), "\4");
  EXPECT_TRUE(f.Logged(" [Install] \tInstalling unmodified files..."));
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file a.utc to the override folder..."));
  EXPECT_TRUE(
      f.Logged(" [Install] \tRenaming and copying file \"common.tga\" to \"red.tga\" to the "
               "override folder..."));
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file readme.txt to the Game folder..."));
  EXPECT_TRUE(
      f.Logged(" [Install] \tFolder " + f.Game() + "Movies/Intro/ did not exist, creating it..."));
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file intro.bik to the Movies\\Intro folder..."));
  EXPECT_EQ(e.ProgressCount(), 4);
  EXPECT_EQ(e.WarningCount() + e.ErrorCount(), 0);
}

TEST(InstallListFolders, ReplaceKeysReplaceAndKeepTheFirstBackup) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nfolder=override\n"
        "[folder]\nFile0=kept.2da\nReplace0=swap.2da\nreplace_renamed=alias.2da\n"
        "[alias.2da]\n!SourceFile=alias_src.2da\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/kept.2da", {1});
  f.WriteFile(f.Game() + "override/Swap.2DA", {1});
  f.WriteFile(f.Game() + "override/alias.2da", {1});
  for (const char* name : {"kept.2da", "swap.2da", "alias_src.2da"})
    f.WriteFile(f.Data() + name, {2});
  f.Engine().ProcessInstallList();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/kept.2da"), "\1");
  EXPECT_TRUE(
      f.Logged(" [Warning] \tA file named kept.2da already exists in the override folder. Skipping "
               "file..."));
  // Matched in any letter case and replaced under its own spelling.
  EXPECT_EQ(f.ReadFile(f.Game() + "override/Swap.2DA"), "\2");
  EXPECT_TRUE(f.Logged(" [Install] \tReplacing file swap.2da in the override folder..."));
  EXPECT_TRUE(f.Logged(
      " [Install] \tRenaming and replacing file \"alias_src.2da\" to \"alias.2da\" in the override "
      "folder..."));
  EXPECT_EQ(f.ReadFile(f.App() + "backup/Swap.2DA"), "\1");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/alias.2da"), "\1");

  // A second installation must not replace the unaltered game file in the
  // backup folder with the first installation's copy.
  TVEYPatcher second("changes.ini", f.fake.Bundle(), f.App(), f.Data());
  f.fake.folderChooser.answers.push_back(f.Game());
  second.ProcessInstallList();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/Swap.2DA"), "\2");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/Swap.2DA"), "\1");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/alias.2da"), "\1");
}

TEST(InstallListFolders, ProtectedGameFilesAreNeverReplacedButNewOnesAreCopied) {
  EngineFixture f;
  f.Ini(
      std::string(kInstaller) +
      "[InstallList]\ngame=.\\\n"
      "[game]\nReplace0=arkan.EXE\nReplace1=dialog.tlk\nReplace2=chitin.key\nReplace3=data.bif\n"
      "File0=chitin.key\nReplace4=tool.exe\n");
  f.MakeGame();
  for (const char* name : {"arkan.exe", "chitin.key", "data.bif"})
    f.WriteFile(f.Game() + name, {1});
  for (const char* name : {"arkan.EXE", "dialog.tlk", "chitin.key", "data.bif", "tool.exe"})
    f.WriteFile(f.Data() + name, {9});
  f.Engine().ProcessInstallList();
  for (const char* line :
       {"Skipping file arkan.EXE, this Installer will not overwrite EXE files!",
        "Skipping file dialog.tlk, this Installer will not overwrite dialog.tlk directly.",
        "Skipping file chitin.key, this Installer will not overwrite the chitin.key file.",
        "Skipping file data.bif, this Installer will not overwrite BIF data files.",
        "A file named chitin.key already exists in the Game folder. Skipping file..."})
    EXPECT_TRUE(f.Logged(std::string(" [Warning] \t") + line)) << line;
  EXPECT_EQ(f.ReadFile(f.Game() + "arkan.exe"), "\1");
  EXPECT_EQ(f.ReadFile(f.Game() + "dialog.tlk"), "TLK ");
  EXPECT_EQ(f.ReadFile(f.Game() + "chitin.key"), "\1");
  EXPECT_EQ(f.ReadFile(f.Game() + "data.bif"), "\1");
  EXPECT_EQ(f.ReadFile(f.Game() + "tool.exe"), "\x09");
  EXPECT_FALSE(f.Exists(f.App() + "backup"));
}

TEST(InstallListRefusals, DestinationsOutsideTheGameAndBadDestinationsAreSkipped) {
  EngineFixture f;
  f.dir.Write("outside/keep.txt", "x");
  f.Ini(
      std::string(kInstaller) +
      "[InstallList]\nd0=..\\outside\nd1=../outside\nd2=" + f.dir.Path().string() +
      "/outside\nd3=C:\\outside\nd4=\nd5=modules\\missing.mod\nd6=notes.txt\nd7=override\nd8=fine\n"
      "[d0]\nF=a.txt\n[d1]\nF=a.txt\n[d2]\nF=a.txt\n[d3]\nF=a.txt\n[d4]\nF=a.txt\n[d5]\nF=a.txt\n["
      "d6]\nF=a.txt\n");
  f.MakeGame();
  f.dir.Write("game/notes.txt", "plain text");
  f.WriteFile(f.Data() + "a.txt", {1});
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();
  for (std::string label :
       {std::string("..\\outside"), std::string("../outside"), f.dir.Path().string() + "/outside",
        std::string("C:\\outside"), std::string()})
    EXPECT_TRUE(
        f.Logged(" [Error] \tInvalid install location \"" + label + "\" encountered! Skipping..."))
        << label;
  EXPECT_TRUE(
      f.Logged(" [Error] \tDestination file \"modules\\missing.mod\" does not exist at the "
               "specified location! "
               "Skipping section..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tDestination file \"notes.txt\" does not appear to be a valid ERF or RIM archive! "
      "Skipping section..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo install instructions (d7) found for folder override."));
  // A folder is created before its section is looked for.
  EXPECT_TRUE(f.Logged(" [Warning] \tNo install instructions (d8) found for folder fine."));
  EXPECT_TRUE(f.Exists(f.Game() + "fine"));
  EXPECT_FALSE(f.Exists(f.dir.Path().string() + "/outside/a.txt"));
  EXPECT_EQ(e.ProgressCount(), 0);
}

TEST(InstallListRefusals, NamesLeadingOutOfTheirFoldersAreRefusedByEntry) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nfolder=override\n"
        "[folder]\nF0=up.txt\nF1=abs.txt\nF2=src.txt\nF3=..\\..\\mod\\veypatchdata\\changes."
        "ini\nF4=ok.txt\n"
        "F5=missing.txt\nF6=\n"
        "[up.txt]\n!SaveAs=..\\up.txt\n[abs.txt]\n!SaveAs=/tmp/abs.txt\n[src.txt]\n!SourceFile=../"
        "../secret.txt\n");
  f.MakeGame();
  f.dir.Write("secret.txt", "secret");
  for (const char* name : {"up.txt", "abs.txt", "src.txt", "ok.txt"})
    f.WriteFile(f.Data() + name, {1});
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();
  EXPECT_TRUE(
      f.Logged(" [Error] \tRefusing to install \"up.txt\": the name \"..\\up.txt\" leads outside "
               "its folder. "
               "Skipping..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tRefusing to install \"abs.txt\": the name \"/tmp/abs.txt\" leads outside its "
      "folder. Skipping..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tUnable to locate source file \"../../secret.txt\" to rename to \"src.txt\" and "
      "install, skipping..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tRefusing to install \"..\\..\\mod\\veypatchdata\\changes.ini\": the name "
      "\"..\\..\\mod\\veypatchdata\\changes.ini\" leads outside its folder. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to copy file \"missing.txt\", file does not exist!"));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to copy file \"\", file does not exist!"));
  EXPECT_FALSE(f.Exists(f.Game() + "up.txt"));
  EXPECT_FALSE(f.Exists(f.Game() + "override/src.txt"));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/ok.txt"), "\1");
  EXPECT_EQ(e.ProgressCount(), 1);
  EXPECT_EQ(e.ErrorCount(), 4);
}

TEST(InstallListMode, PatcherModeIgnoresTheListWithoutAWord) {
  EngineFixture f;
  f.Ini(
      "[Settings]\nInstallerMode=0\nLogLevel=4\n[InstallList]\nfolder=override\n[folder]\nF=a."
      "txt\n");
  f.WriteFile(f.Data() + "a.txt", {1});
  f.Engine().ProcessInstallList();
  EXPECT_TRUE(f.lines.empty());
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
}

class InstallListArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    f.MakeGame();
    f.WriteFile(f.Game() + "modules/area.mod",
                MakeArchive({{"old", "utc", "old creature"}, {"door", "utd", "old door"}}));
    f.WriteFile(f.Game() + "modules/empty.rim", MakeArchive({{"keep", "are", "area"}}, "RIM "));
    for (const char* name :
         {"old.utc", "door.utd", "new.uti", "keep.are", "thing.xyz", "spare.uti"})
      f.WriteFile(f.Data() + name, ToBytes(std::string("mod ") + name));
  }
  EngineFixture f;
};

TEST_F(InstallListArchives, AddsReplacesAndSkipsThenSavesOnce) {
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nerf=modules\\area.mod\nrim=Modules\\EMPTY.rim\n"
        "[erf]\nFile0=old.utc\nReplace0=door.utd\nFile1=new.uti\nFile2=thing.xyz\nFile3=new_copy\n"
        "[new_copy]\n!SourceFile=spare.uti\n!SaveAs=copy.uti\n"
        "[rim]\nFile0=keep.are\n");
  const std::string rim = f.Game() + "modules/empty.rim";
  const ino_t rimBefore = Inode(rim);
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();

  auto contents = ArchiveContents(f.Game() + "modules/area.mod");
  EXPECT_EQ(contents["old.utc"], "old creature");
  EXPECT_EQ(contents["door.utd"], "mod door.utd");
  EXPECT_EQ(contents["new.uti"], "mod new.uti");
  EXPECT_EQ(contents["copy.uti"], "mod spare.uti");
  EXPECT_EQ(contents.size(), 4u);
  EXPECT_TRUE(
      f.Logged(" [Install] \tSaving unaltered backup copy of destination file area.mod in " +
               f.App() + "backup/."));
  EXPECT_EQ(ArchiveContents(f.App() + "backup/area.mod")["door.utd"], "old door");
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named old.utc already exists in the modules\\area.mod archive. Skipping "
      "file..."));
  EXPECT_TRUE(f.Logged(" [Install] \tReplacing file door.utd in the modules\\area.mod archive..."));
  EXPECT_TRUE(f.Logged(" [Install] \tAdding file new.uti to the modules\\area.mod archive..."));
  EXPECT_TRUE(
      f.Logged(" [Install] \tRenaming and adding file \"spare.uti\" to \"copy.uti\" in the "
               "modules\\area.mod "
               "archive..."));
  EXPECT_TRUE(f.Logged(
      " [Error] \tCannot add resource \"thing\"! Unsupported file type \"xyz\" encountered! "
      "Skipping..."));
  // The override check runs for the skipped file too, not for the refused one.
  EXPECT_TRUE(f.Logged(
      " [Debug] \tOverride check: No file with name \"old.utc\" found in override folder."));
  EXPECT_EQ(f.CountContaining("\"thing.xyz\" found in override"), 0u);

  // Nothing could go into the RIM: it is not rewritten.
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named keep.are already exists in the Modules\\EMPTY.rim archive. "
      "Skipping file..."));
  EXPECT_EQ(Inode(rim), rimBefore);
  EXPECT_EQ(e.ProgressCount(), 3);
}

TEST_F(InstallListArchives, OverrideCheckIgnoresWarnsOrRenames) {
  f.Ini(std::string(kInstaller) +
        "[InstallList]\nerf=modules\\area.mod\n"
        "[erf]\nReplace0=old.utc\nReplace1=door.utd\nFile0=new.uti\nFile1=keep.are\n"
        "[old.utc]\n!OverrideType=ignore\n[door.utd]\n!OverrideType=Warn\n[new.uti]\n!OverrideType="
        "RENAME\n"
        "[keep.are]\n!OverrideType=rename\n");
  for (const char* name : {"old.utc", "door.utd", "New.uti", "keep.are", "old_keep.are"})
    f.WriteFile(f.Game() + "override/" + name, {7});
  TVEYPatcher& e = f.Engine();
  e.ProcessInstallList();
  EXPECT_TRUE(f.Logged(
      " [Debug] \tWarning: A file named old.utc already exists in the override folder. It will "
      "override the one in the ERF/RIM archive in-game."));
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named door.utd already exists in the override folder! This may cause "
      "incompatibility with the one used by this mod!"));
  EXPECT_TRUE(
      f.Logged(" [Install] \tA file named new.uti already existed in the override folder! This "
               "existing file "
               "has been renamed to old_new.uti to allow the one in this Mod to be used!"));
  EXPECT_FALSE(f.Exists(f.Game() + "override/New.uti"));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/old_new.uti"), "\7");
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named keep.are already exists in the override folder! Renaming existing "
      "file to old_keep.are failed! The file might be write-protected or a file with the new name "
      "already exist."));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/keep.are"), "\7");
  // Only the warn type and the failed rename count as warnings.
  EXPECT_EQ(e.WarningCount(), 2);
}

TEST_F(InstallListArchives, OverrideCheckStopsForAnOverrideDestination) {
  f.Ini(std::string(kInstaller) +
        "[x.uti]\n!Destination=Override\n!OverrideType=rename\n[y.uti]\n!OverrideType=warn\n");
  f.WriteFile(f.Game() + "override/x.uti", {1});
  f.WriteFile(f.Game() + "override/y.uti", {1});
  TVEYPatcher& e = f.Engine();
  e.CheckOverride("x.uti", "x.uti", "modules\\area.mod", false);
  EXPECT_EQ(f.CountContaining("x.uti"), 0u);
  EXPECT_TRUE(f.Exists(f.Game() + "override/x.uti"));
  // The default destination counts when the section names none.
  e.CheckOverride("y.uti", "y.uti", "override", false);
  EXPECT_EQ(f.CountContaining("y.uti"), 0u);
  e.CheckOverride("y.uti", "y.uti", "modules\\area.mod", false);
  EXPECT_EQ(e.WarningCount(), 1);
}

TEST(OverrideCheck, PatcherModeAsksForNoGameFolder) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=0\nLogLevel=4\n[x.uti]\n!OverrideType=warn\n");
  f.Engine().CheckOverride("x.uti", "x.uti", "modules\\area.mod", true);
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
  EXPECT_TRUE(f.Logged(" [Debug] \tOverride check: No file with name \"x.uti\" found in override folder."));
}

}  // namespace
}  // namespace vey::test
