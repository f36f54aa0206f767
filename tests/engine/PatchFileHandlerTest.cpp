// TPatchFileHandler: game folder, locating files of each kind, backups and
// refused paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "EngineFixture.h"

namespace vey::test {
namespace {

constexpr std::string_view kPatcher = "[Settings]\nInstallerMode=0\nLogLevel=4\n";

TEST(TPatchFileHandlerGameFolder, ChooserAnswerIsValidatedAndReported) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  std::string reported;
  f.Engine().OnGameFolder = [&](const std::string& folder) { reported = folder; };
  EXPECT_EQ(f.Handler().GetGameFolder(), f.Game());
  EXPECT_EQ(reported, f.Game());
  EXPECT_TRUE(f.Logged(" [Debug] \tInstall path set to " + f.Game() + "."));
  // Settled once: a second call asks nobody.
  f.Handler().GetGameFolder();
  EXPECT_EQ(f.fake.folderChooser.requests.size(), 1u);
  EXPECT_EQ(f.fake.folderChooser.requests[0].first,
            "Please select the folder where your game is installed. (The folder containing the game "
            "executable.)");
}

TEST(TPatchFileHandlerGameFolder, CancelAndMissingTalkTableAbortWithTheirCodes) {
  {
    EngineFixture f;
    f.Ini(kInstaller);
    f.fake.folderChooser.answers.push_back("");
    ExpectFailure<EAbort>([&] { f.Handler().GetGameFolder(); }, 10, "Invalid game directory specified!");
  }
  {
    EngineFixture f;
    f.Ini(kInstaller);
    f.fake.folderChooser.answers.push_back("");
    ExpectFailure<EAbort>([&] { f.Handler().LocateFile("a.2da", fk2DA); }, 6,
                          "Error! No valid game folder selected! Installation aborted.");
  }
  const std::string noTlk =
      "Invalid game folder specified, dialog.tlk file not found! Make sure you have selected the correct "
      "folder.";
  {
    EngineFixture f;
    f.Ini(kInstaller);
    std::filesystem::create_directories(f.Game());
    ExpectFailure<EAbort>([&] { f.Handler().GetGameFolder(); }, 11, noTlk);
  }
  {
    EngineFixture f;
    f.Ini(kInstaller);
    std::filesystem::create_directories(f.Game());
    ExpectFailure<EAbort>([&] { f.Handler().LocateFile("dialog.tlk", fkTLK); }, 7, noTlk);
  }
}

TEST(TPatchFileHandlerGameFolder, RegistryKeyFollowsGameNumberAndFallsBackToChooser) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\nLookupGameFolder=1\n");
  f.MakeGame();
  f.fake.registry.values.push_back({"\\SOFTWARE\\Quenbrook\\Arkan2", "Path", f.Game()});
  EXPECT_EQ(f.Handler().GetGameFolder(), f.Game());
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());

  // Game 1's key holds nothing usable here: the person is asked instead.
  EngineFixture g;
  g.Ini("[Settings]\nInstallerMode=1\nLookupGameFolder=1\nLookupGameNumber=1\n");
  g.MakeGame();
  g.fake.registry.values.push_back({"\\SOFTWARE\\Fenwyck\\XT\\ARKAN", "Path", g.Game() + "missing"});
  EXPECT_EQ(g.Handler().GetGameFolder(), g.Game());
  ASSERT_EQ(g.fake.registry.reads.size(), 1u);
  EXPECT_EQ(g.fake.registry.reads[0].first, "\\SOFTWARE\\Fenwyck\\XT\\ARKAN");
  EXPECT_EQ(g.fake.folderChooser.requests.size(), 1u);
}

TEST(TPatchFileHandlerRequired, MissingRequiredFileStopsWithCode99) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nRequired=base_mod.2da\n");
  f.MakeGame();
  ExpectFailure<EAbort>([&] { f.Handler().LocateFile("dialog.tlk", fkTLK); }, 99,
                        "Cannot locate required file base_mod.2da, unable to continue with install!");

  EngineFixture g;
  g.Ini("[Settings]\nInstallerMode=1\nRequired=base_mod.2da\nRequiredMsg=Install the base mod first.\n");
  g.MakeGame();
  ExpectFailure<EAbort>([&] { g.Handler().LocateFile("dialog.tlk", fkTLK); }, 99,
                        "Install the base mod first.");

  // Present in another letter case: the run goes on.
  EngineFixture h;
  h.Ini("[Settings]\nInstallerMode=1\nRequired=base_mod.2da\n");
  h.MakeGame();
  h.WriteFile(h.Game() + "override/Base_Mod.2DA", {1});
  EXPECT_TRUE(h.Handler().LocateFile("dialog.tlk", fkTLK));
}

TEST(TPatchFileHandlerLocate, TalkTableIsTakenFromTheGameFolderOnly) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  f.WriteFile(f.Game() + "override/dialogf.tlk", {1});
  EXPECT_TRUE(f.Handler().LocateFile("dialog.tlk", fkTLK));
  EXPECT_EQ(f.Handler().GetFilePath(), f.Game() + "dialog.tlk");
  ExpectFailure<EAbort>([&] { f.Handler().LocateFile("dialogf.tlk", fkTLK); }, 8,
                        "Error! Unable to locate TLK file to patch, \"dialogf.tlk\" file not found!");
}

TEST(TPatchFileHandlerLocate, OverrideCopyIsEditedInPlaceAndBackedUpOnce) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  f.WriteFile(f.Game() + "override/Spells.2DA", {1, 2, 3});
  f.WriteFile(f.Data() + "spells.2da", {9});
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("spells.2da", fk2DA));
  EXPECT_TRUE(f.Logged(" [Install] \tModifying file \"spells.2da\" found in Override folder..."));
  EXPECT_EQ(h.GetFilePath(), f.Game() + "override/Spells.2DA");
  ASSERT_TRUE(h.BackupFile());
  EXPECT_EQ(f.ReadFile(f.App() + "backup/spells.2da"), std::string("\1\2\3", 3));

  // A second installation over the first keeps the first backup.
  f.WriteFile(f.Game() + "override/Spells.2DA", {7, 7});
  ASSERT_TRUE(h.LocateFile("spells.2da", fk2DA));
  EXPECT_FALSE(h.BackupFile());
  EXPECT_EQ(f.ReadFile(f.App() + "backup/spells.2da"), std::string("\1\2\3", 3));
}

TEST(TPatchFileHandlerLocate, DataFolderCopyGoesToOverrideWithoutBackup) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[new.2da]\n!SaveAs=renamed.2da\n");
  f.MakeGame(false);
  f.WriteFile(f.Data() + "plain.2da", {5});
  f.WriteFile(f.Data() + "new.2da", {6});
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("plain.2da", fk2DA));
  EXPECT_TRUE(f.Logged(" [Install] \tNo Override folder found, creating it at " + f.Game() + "override/."));
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file plain.2da to Override folder..."));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/plain.2da"), "\5");
  EXPECT_FALSE(h.BackupFile());
  EXPECT_FALSE(f.Exists(f.App() + "backup/plain.2da"));

  ASSERT_TRUE(h.LocateFile("new.2da", fk2DA));
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file \"new.2da\" as \"renamed.2da\" to Override folder..."));
  EXPECT_EQ(h.GetFilePath(), f.Game() + "override/renamed.2da");
  EXPECT_FALSE(f.Exists(f.Game() + "override/new.2da"));
}

TEST(TPatchFileHandlerLocate, FileFoundNowhereIsPickedByHandOrAborts) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  f.WriteFile(f.dir.Path().string() + "/elsewhere/my.uti", {4, 2});
  f.fake.openDialog.answers.push_back(f.dir.Path().string() + "/elsewhere/my.uti");
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("item.uti", fkGFF));
  ASSERT_EQ(f.fake.openDialog.requests.size(), 1u);
  const auto& shown = f.fake.openDialog.requests[0];
  EXPECT_EQ(shown.title, "File not found! Please locate the \"item.uti\" (\"item.uti\") file.");
  EXPECT_EQ(shown.filter, "Item template (*.uti)|*.uti");
  EXPECT_EQ(shown.defaultExt, "uti");
  EXPECT_EQ(h.OpenDialog.Title, "Please select your item.uti file.");
  EXPECT_EQ(f.ReadFile(f.Game() + "override/item.uti"), "\4\2");
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file \"my.uti\" as \"item.uti\" to Override folder..."));
  // The picked file is copied, not created by the handler: its copy may be backed up.
  EXPECT_TRUE(h.BackupAllowed);

  ExpectFailure<EAbort>([&] { h.LocateFile("other.utc", fkGFF); }, 9,
                        "Critical error: Unable to locate file to patch, \"other.utc\" file not found!");
}

TEST(TPatchFileHandlerLocate, ReplaceTakesAFreshCopyAndSavesTheOldOne) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  f.WriteFile(f.Game() + "override/cape.uti", {1});
  f.WriteFile(f.Data() + "cape.uti", {2});
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("cape.uti", fkGFF, "", true));
  EXPECT_TRUE(f.Logged(" [Install] \tUpdating and replacing file cape.uti in Override folder..."));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/cape.uti"), "\2");
  EXPECT_EQ(f.ReadFile(f.App() + "backup/cape.uti"), "\1");
  EXPECT_FALSE(h.BackupFile());
}

TEST(TPatchFileHandlerLocate, ModFileNeverTouchesAnExistingFile) {
  EngineFixture f;
  f.Ini(kInstaller);
  f.MakeGame();
  f.WriteFile(f.Game() + "override/k_hack.ncs", {1});
  f.WriteFile(f.Data() + "k_hack.ncs", {2});
  f.WriteFile(f.Data() + "new.ncs", {3});
  TPatchFileHandler& h = f.Handler();
  EXPECT_FALSE(h.LocateFile("k_hack.ncs", fkModFile));
  EXPECT_TRUE(f.Logged(" [Warning] \tA file named \"k_hack.ncs\" already exists in the Override folder. Skipping..."));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/k_hack.ncs"), "\1");
  EXPECT_FALSE(h.LocateFile("gone.ncs", fkModFile));
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to locate file \"gone.ncs\" to install as \"gone.ncs\", skipping..."));
  EXPECT_TRUE(h.LocateFile("new.ncs", fkModFile));
  EXPECT_EQ(f.ReadFile(f.Game() + "override/new.ncs"), "\3");
}

TEST(TPatchFileHandlerLocate, MissingSourceFileIsLoggedAndSkipped) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[a.2da]\n!SourceFile=absent.2da\n");
  f.MakeGame();
  EXPECT_FALSE(f.Handler().LocateFile("a.2da", fk2DA));
  EXPECT_TRUE(f.Logged(
      " [Error] \tUnable to locate source file \"absent.2da\" to rename to \"a.2da\" and install, skipping..."));
}

TEST(TPatchFileHandlerPaths, EscapingNamesAreRefusedAndNothingIsWritten) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[a.2da]\n!SaveAs=..\\..\\evil.2da\n"
        "[b.2da]\n!SourceFile=../../mod/secret.2da\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "a.2da", {1});
  f.WriteFile(f.App() + "secret.2da", {2});
  TPatchFileHandler& h = f.Handler();
  EXPECT_FALSE(h.LocateFile("a.2da", fk2DA));
  EXPECT_FALSE(f.Exists(f.dir.Path().string() + "/evil.2da"));
  EXPECT_EQ(f.CountContaining("..\\..\\evil.2da"), 1u);
  EXPECT_FALSE(h.LocateFile("b.2da", fk2DA));
  EXPECT_FALSE(h.LocateFile("..\\outside.2da", fk2DA));
  EXPECT_FALSE(h.LocateFile("x.utc", fkArchived, "../../mod/veypatchdata/changes.ini"));
  EXPECT_EQ(f.Engine().ErrorCount(), 4);
  EXPECT_FALSE(f.Exists(f.Game() + "override/secret.2da"));
}

TEST(TPatchFileHandlerPatcherMode, EveryFileIsPickedByHandAndNoGameFolderIsAsked) {
  EngineFixture f;
  f.Ini(kPatcher);
  const std::string picked = f.dir.Path().string() + "/anywhere/Table.2da";
  f.WriteFile(picked, {1});
  f.fake.openDialog.answers.push_back(picked);
  f.fake.openDialog.answers.push_back(std::nullopt);
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("table.2da", fk2DA));
  EXPECT_EQ(h.FileName, "Table.2da");
  EXPECT_EQ(h.GetFilePath(), picked);
  const auto& shown = f.fake.openDialog.requests[0];
  EXPECT_EQ(shown.fileName, "table.2da");
  EXPECT_EQ(shown.filter, "2DA file (*.2da)|*.2da");
  EXPECT_EQ(shown.title, "Please select your table.2da file.");
  // The picked file itself may be written; its neighbours may not.
  EXPECT_TRUE(f.Engine().Files().IsWritable(picked));
  EXPECT_FALSE(f.Engine().Files().IsWritable(f.dir.Path().string() + "/anywhere/other.2da"));

  EXPECT_FALSE(h.LocateFile("soundset.ssf", fkSSF));
  EXPECT_EQ(f.fake.openDialog.requests[1].title, "Please select the soundset.ssf file that came with this Mod.");
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
  EXPECT_TRUE(f.lines.empty());
}

TEST(TPatchFileHandlerFilePath, MissingPartsAbortWithTheirCodes) {
  EngineFixture f;
  f.Ini(kInstaller);
  TPatchFileHandler& h = f.Handler();
  ExpectFailure<EAbort>([&] { h.GetFilePath(); }, 3, "Error! No install path has been set!");
  h.FilePath = f.Game();
  ExpectFailure<EAbort>([&] { h.GetFilePath(); }, 4, "Error! No file to install is specified!");
  h.FileName = "nothing.2da";
  ExpectFailure<EAbort>([&] { h.GetFilePath(); }, 5,
                        "Error! File \"" + f.Game() + "nothing.2da\" set to be patched does not exist!");
}

TEST(TPatchFileHandlerBackup, DisabledBackupsAndArchiveBackups) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nBackupFiles=0\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "override/a.2da", {1});
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("a.2da", fk2DA));
  EXPECT_FALSE(h.BackupFile());
  EXPECT_FALSE(f.Exists(f.App() + "backup"));

  h.BackupFiles = true;
  f.WriteFile(f.Game() + "modules/m.rim", {8});
  h.DestinationPath = f.Game() + "modules/m.rim";
  EXPECT_TRUE(h.BackupDestination());
  EXPECT_FALSE(h.BackupDestination());
  EXPECT_EQ(f.ReadFile(f.App() + "backup/m.rim"), "\10");
  h.DestinationPath = "Override";
  EXPECT_FALSE(h.BackupDestination());
}

}  // namespace
}  // namespace vey::test

namespace vey::test {
namespace {

// A RIM archive holding (name, type, data) resources.
std::vector<std::uint8_t> Rim(const std::vector<std::tuple<std::string, std::uint16_t, std::string>>& res) {
  const auto n = static_cast<std::uint32_t>(res.size());
  Bytes b;
  b.Ascii("RIM V1.0").U32(0).I32(static_cast<std::int32_t>(n)).U32(120).Zeros(100);
  std::uint32_t offset = 120 + 32 * n;
  for (std::uint32_t i = 0; i < n; ++i) {
    const auto& [name, type, data] = res[i];
    b.Fixed(name, 16).U16(type).U16(0).U16(static_cast<std::uint16_t>(i)).U16(0);
    b.U32(offset).U32(static_cast<std::uint32_t>(data.size()));
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (const auto& r : res) b.Ascii(std::get<2>(r));
  return b;
}

constexpr std::uint16_t kUtc = 2027;

TEST(TPatchFileHandlerArchive, WorkCopiesComeFromTheArchiveOrTheDataFolder) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n[fresh.utc]\n!SaveAs=renamed.utc\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "Modules/m01.rim", Rim({{"guard", kUtc, "inside"}}));
  f.WriteFile(f.Data() + "fresh.utc", ToBytes("from mod"));
  f.WriteFile(f.Data() + "guard.utc", ToBytes("mod copy"));
  TPatchFileHandler& h = f.Handler();

  ASSERT_TRUE(h.LocateFile("guard.utc", fkArchived, "modules\\m01.rim"));
  EXPECT_TRUE(f.Logged(" [Install] \tFile \"guard.utc\" already exists in archive \"m01.rim\", modifying existing file..."));
  EXPECT_EQ(h.DestinationPath, f.Game() + "Modules/m01.rim");
  EXPECT_EQ(h.GetFilePath(), f.Data() + "erfpatch_temp/guard.utc");
  EXPECT_EQ(f.ReadFile(h.GetFilePath()), "inside");

  // Replacing takes the mod's copy even though the archive holds one.
  ASSERT_TRUE(h.LocateFile("guard.utc", fkArchived, "modules\\m01.rim", true));
  EXPECT_EQ(f.ReadFile(h.GetFilePath()), "mod copy");

  ASSERT_TRUE(h.LocateFile("fresh.utc", fkArchived, "modules\\m01.rim"));
  EXPECT_TRUE(f.Logged(" [Install] \tAdding file \"renamed.utc\" to archive \"m01.rim\"..."));
  EXPECT_EQ(h.FileName, "renamed.utc");
  EXPECT_EQ(f.ReadFile(h.GetFilePath()), "from mod");

  // A mod file that does not exist skips the entry.
  EXPECT_FALSE(h.LocateFile("absent.utc", fkArchived, "modules\\m01.rim"));
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to make work copy of file \"absent.utc\". File not saved to ERF/RIM archive!"));
}

TEST(TPatchFileHandlerArchive, MissingOrDamagedArchivesSkipTheEntry) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "modules/bad.mod", ToBytes("not an archive at all"));
  TPatchFileHandler& h = f.Handler();
  EXPECT_FALSE(h.LocateFile("x.utc", fkArchived, "modules\\none.mod"));
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to locate archive \"" + f.Game() +
                       "modules/none.mod\" to modify or insert file \"x.utc\" into, skipping..."));
  EXPECT_FALSE(h.LocateFile("x.utc", fkArchived, "modules\\bad.mod"));
  EXPECT_EQ(f.CountContaining("Unable to load archive \"" + f.Game() + "modules/bad.mod\" to modify or insert file \"x.utc\" into, skipping... ("), 1u);
  EXPECT_FALSE(h.LocateFile("s.nss", fkScript, "modules\\bad.mod"));
  EXPECT_EQ(f.CountContaining("to insert script \"s.nss\" into, skipping..."), 1u);
  EXPECT_EQ(f.Engine().ErrorCount(), 3);
}

TEST(TPatchFileHandlerScript, SourceStaysInTheDataFolderAndOverrideDecides) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n[k_act.nss]\n!SourceFile=k_act_src.nss\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "k_act_src.nss", ToBytes("void main() {}"));
  f.WriteFile(f.Game() + "override/k_act.ncs", {1});
  TPatchFileHandler& h = f.Handler();
  ASSERT_TRUE(h.LocateFile("k_act.nss", fkScript));
  EXPECT_EQ(h.GetFilePath(), f.Data() + "k_act_src.nss");

  // Replacing keeps the first compiled script found in override.
  ASSERT_TRUE(h.LocateFile("k_act.nss", fkScript, "", true));
  EXPECT_TRUE(f.Logged(" [Install] \tMaking backup copy of script file \"k_act.nss\" found in override..."));
  EXPECT_EQ(f.ReadFile(f.App() + "backup/k_act.ncs"), "\1");

  f.WriteFile(f.Game() + "override/k_act.nss", {2});
  EXPECT_FALSE(h.LocateFile("k_act.nss", fkScript));
  EXPECT_TRUE(f.Logged(" [Warning] \tScript file \"k_act.nss\" already exists in override! Skipping..."));
}

}  // namespace
}  // namespace vey::test
