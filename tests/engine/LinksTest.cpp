// Symbolic links: the mod's data folder may not reach outside itself through
// one (the entry is refused with an error and skipped), nor may its backup
// folder (a linked "backup" stops the run before any change); the person's
// game folder and own backup folder may be links, and a linked file there is
// replaced by a regular file while its target stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "EngineFixture.h"
#include "support/SmallArchive.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;


struct DataLinkCase {
  std::string what;
  std::string ini;
  std::string link;    // relative to the data folder
  bool folder;         // the link names a folder (else a file)
  std::string entry;   // the name the error line ends with
  std::string result;  // game-relative file that appears only when the link is followed
};

void PrintTo(const DataLinkCase& c, std::ostream* os) { *os << c.what; }

class DataFolderLinks : public ::testing::TestWithParam<DataLinkCase> {};

// Each case runs twice: with the link leading outside the data folder (refused,
// the target untouched, nothing installed) and with the same link leading to
// a place inside it (followed as usual).
TEST_P(DataFolderLinks, OutsideIsRefusedInsideIsFollowed) {
  const DataLinkCase& c = GetParam();
  for (const bool outside : {true, false}) {
    EngineFixture f;
    f.Ini(std::string(kInstaller) + c.ini);
    f.MakeGame();
    f.WriteFile(f.Game() + "modules/a.mod", MakeArchive({{"g", "utc", "x"}}));
    const fs::path target = outside ? f.dir / "private" / "target" : fs::path(f.Data()) / "inner" / "target";
    if (c.folder)
      f.WriteFile((target / "a.txt").string(), ToBytes("void main() {}\n"));
    else
      f.WriteFile(target.string(), ToBytes("void main() {}\n"));
    // A compiler of the person's own, for the script case.
    const auto compiler = f.dir.Write("person/compiler", "#!/bin/sh\nwhile [ $# -gt 1 ]; do shift; done\n: > \"$1\"\n");
    fs::permissions(compiler, fs::perms::owner_all);
    f.compiler.Compiler = compiler.string();
    fs::create_directories(fs::path(f.Data() + c.link).parent_path());
    fs::create_symlink(target, f.Data() + c.link);
    const auto before = c.folder ? std::string() : f.ReadFile(target.string());

    TRunResult result;
    f.Engine().Run(result);
    const std::string linkPath = f.Data() + c.link;
    if (outside) {
      EXPECT_EQ(f.CountContaining("\" leads through a symbolic link to \"" + target.string()), 1u)
          << c.what << "\n" << ::testing::PrintToString(f.lines);
      EXPECT_EQ(f.CountContaining("Skipping \"" + c.entry + "\"..."), 1u) << c.what;
      EXPECT_FALSE(f.Exists(f.Game() + c.result)) << c.what;
      if (c.folder)
        EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1) << c.what;
      else
        EXPECT_EQ(f.ReadFile(target.string()), before) << c.what;
      EXPECT_GE(result.Errors, 1) << c.what;
    } else {
      EXPECT_EQ(f.CountContaining("symbolic link"), 0u) << c.what;
      EXPECT_TRUE(f.Exists(f.Game() + c.result)) << c.what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DataFolderLinks,
    ::testing::Values(
        DataLinkCase{"a file to install", "[InstallList]\nfolder0=override\n[folder0]\nFile0=a.txt\n", "a.txt", false,
                     "a.txt", "override/a.txt"},
        DataLinkCase{"a folder of files to install",
                     "[InstallList]\nfolder0=override\n[folder0]\nFile0=a.txt\n[a.txt]\n!SourceFile=sub\\a.txt\n", "sub",
                     true, "a.txt", "override/a.txt"},
        DataLinkCase{"a soundset to patch", "[SSFList]\nFile0=v.ssf\n[v.ssf]\nDeath=1\n", "v.ssf", false, "v.ssf",
                     "override/v.ssf"},
        DataLinkCase{"a compiled script to patch", "[HACKList]\nFile0=k.ncs\n[k.ncs]\n0=1\n", "k.ncs", false, "k.ncs",
                     "override/k.ncs"},
        DataLinkCase{"a script source", "[CompileList]\nS0=s.nss\n", "s.nss", false, "s.nss", "override/s.ncs"}),
    [](const auto& info) { return std::to_string(info.index); });

// The run's other folders belong to the person: a folder link (an override
// folder on another disk) is followed, and a file link is replaced by the
// edited file without its target being written.
TEST(GameAndBackupLinks, FolderLinksAreFollowedAndLinkedFilesReplaced) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[HACKList]\nFile0=k.ncs\n[k.ncs]\n0=258\n[SSFList]\nFile0=shared.ssf\n"
                                  "[shared.ssf]\nDeath=5\n");
  f.dir.Write("game/dialog.tlk", "TLK ");
  const fs::path elsewhere = f.dir / "other-disk" / "override";
  fs::create_directories(elsewhere);
  fs::create_symlink(elsewhere, f.Game() + "override");
  const fs::path backups = f.dir / "other-disk" / "backups";
  fs::create_directories(backups);
  fs::create_symlink(backups, f.dir / "my backups");
  // shared.ssf in override is a link to a soundset that belongs to something else.
  Bytes soundset;
  soundset.Ascii("SSF V1.1").U32(12);
  for (int i = 0; i < 40; ++i) soundset.I32(-1);
  const fs::path outsideFile = f.dir / "shared-files" / "shared.ssf";
  f.WriteFile(outsideFile.string(), soundset);
  fs::create_symlink(outsideFile, elsewhere / "shared.ssf");
  f.WriteFile(f.Data() + "k.ncs", std::vector<std::uint8_t>(8, 0xEE));

  TVEYPatcher& e = f.Engine();
  e.FileHandler.BackupDir = (f.dir / "my backups").string() + "/";
  e.ProcessHACKList();
  e.ProcessSSFList();
  EXPECT_EQ(f.ReadFile((elsewhere / "k.ncs").string()).substr(0, 4), std::string("\0\0\x01\x02", 4));
  EXPECT_FALSE(fs::is_symlink(elsewhere / "shared.ssf"));
  EXPECT_EQ(f.ReadFile((elsewhere / "shared.ssf").string()).substr(12 + 15 * 4, 4), std::string("\x05\0\0\0", 4));
  const std::vector<std::uint8_t> original = soundset;
  EXPECT_EQ(f.ReadFile(outsideFile.string()), std::string(original.begin(), original.end()));
  // The unaltered soundset was kept through the person's backup folder link.
  EXPECT_EQ(f.ReadFile((backups / "shared.ssf").string()), std::string(original.begin(), original.end()));
  EXPECT_EQ(e.ErrorCount(), 0);
}

// The mod folder is the mod's: a "backup" there that is a link (to a folder
// the person's desktop runs things from, say) stops the run before anything
// changes, in installer and patcher mode alike, and a link inside a real
// "backup" that leads out of it is never written through.
TEST(ModBackupFolder, LinkedBackupStopsTheRunBeforeAnyChange) {
  for (const bool installer : {true, false}) {
    SCOPED_TRACE(installer ? "installer mode" : "patcher mode");
    EngineFixture f;
    f.Ini(std::string(installer ? kInstaller : "[Settings]\nLogLevel=4\n") +
          "[2DAList]\nTable0=t.2da\n[t.2da]\nAddRow0=r\n[r]\nlabel=x\n");
    f.MakeGame();
    f.WriteFile(f.Game() + "override/t.2da", TwoDA({"label"}, {{"a"}}));
    const std::string before = f.ReadFile(f.Game() + "override/t.2da");
    const fs::path autostart = f.dir / "home" / ".config" / "autostart";
    fs::create_directories(autostart);
    fs::create_symlink(autostart, f.App() + "backup");
    f.fake.openDialog.answers.push_back(f.Game() + "override/t.2da");

    TRunResult result;
    ExpectFailure<ERunRefused>([&] { f.Engine().Run(result); }, kRefusedUnsafeFolder,
                               "Refusing to install: \"" + f.App() +
                                   "backup\" in the mod folder is a link, and backups written there would "
                                   "land wherever it points. Remove the link, or name a backup folder of "
                                   "your own with --backup-dir.");
    EXPECT_TRUE(fs::is_empty(autostart));
    EXPECT_EQ(f.ReadFile(f.Game() + "override/t.2da"), before);
    EXPECT_FALSE(fs::exists(f.Game() + ".veypatcher/runs") && !fs::is_empty(f.Game() + ".veypatcher/runs"));
  }
}

TEST(ModBackupFolder, LinkInsideTheBackupFolderIsNotWrittenThrough) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[InstallList]\nroot=.\\\nover=override\n[root]\nReplace0=notes.txt\n"
                                  "[over]\nReplace0=notes.txt\n");
  f.MakeGame();
  f.WriteFile(f.Game() + "notes.txt", {'r'});
  f.WriteFile(f.Game() + "override/notes.txt", {'o'});
  f.WriteFile(f.Data() + "notes.txt", {'m'});
  // The second notes.txt would be kept below backup/override/.
  const fs::path outside = f.dir / "home" / "planted";
  fs::create_directories(outside);
  fs::create_directories(f.App() + "backup");
  fs::create_symlink(outside, f.App() + "backup/override");
  try {
    f.Engine().ProcessInstallList();
  } catch (const Exception&) {
    // Refused either way; what matters is where nothing was written.
  }
  EXPECT_TRUE(fs::is_empty(outside));
}

}  // namespace
}  // namespace vey::test
