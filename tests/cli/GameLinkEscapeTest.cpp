// A game folder may come with a link in it that leads to the person's home.
// Nothing the installer does on a record's word (putting back a run, an
// uninstallation or a replay cut short) or on a build's or list's word goes
// through such a link; a data folder kept on another disk still works.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

const std::string kZero(64, '0');

class GameLinkEscape : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("home/jane.doe/.bashrc", "# mine\n");
    dir.Write("home/jane.doe/.ssh/id_rsa", "PRIVATE KEY");
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/keep.txt", "keep");
    dir.Write("mod/veypatchdata/m.txt", "m");
    dir.Write("mod/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=m.txt\n");
    // Relative: it needs no user name.
    fs::create_directory_symlink("../home/jane.doe", dir / "game/h");
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
    return RunCliTimed(args, {"HOME=" + (dir / "home/jane.doe").string(), "XDG_CACHE_HOME=" + (dir / "cache").string()},
                       30000);
  }
  std::map<std::string, std::string> Home() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir / "home"))
      if (e.is_regular_file()) files[e.path().string()] = dir.Read(fs::relative(e.path(), dir.Path()).string());
    return files;
  }
  // A record as a run of this journal leaves it: its id is readable by
  // whoever prepared the game folder.
  void Record(const std::string& folder, const std::string& state) {
    const std::string id = dir.Read("game/.veypatcher/id").substr(0, 32);
    dir.Write(folder + "/run.txt", "mod=/tmp/x/\ninstructions=/tmp/x/veypatchdata/changes.ini\ninstructions-sha256=aa\n"
                                   "type=\ncaption=Evil\nstarted=2026-12-09 00:00:00\nended=\nstate=" + state +
                                       "\nverdict=\njournal=" + id + "\n");
    dir.Write(folder + "/changes.log", "file\t1\th/.bashrc\n");
    dir.Write(folder + "/pre/0~h%2F.bashrc", "echo PWNED\n");
  }
  TempDir dir;
};

TEST_F(GameLinkEscape, WhatARecordPutsBackNeverGoesThroughALinkOutOfTheGame) {
  ASSERT_EQ(Run({"install", "--mod", (dir / "mod").string(), "--game", "GAME", "--yes"}).exitCode, 0);
  const std::string journal = "game/.veypatcher/";
  struct Case {
    const char* name;
    std::function<void()> plant;
    std::vector<std::string> command;
  } cases[] = {
      {"an unfinished run", [&] { Record(journal + "runs/20261209-000000.000-evil", "running"); },
       {"install", "--mod", (dir / "mod").string(), "--game", "GAME", "--yes"}},
      {"a cut-short uninstallation", [&] { Record(journal + "undo/u1", "running"); }, {"uninstall", "--game", "GAME"}},
      {"a cut-short replay",
       [&] {
         dir.Write(journal + "replay/kept.txt", "journal\t" + dir.Read("game/.veypatcher/id").substr(0, 32) +
                                                    "\ntarget\tr1\nrun\tr1\nfile\t1\th/.bashrc\n");
         dir.Write(journal + "replay/files/0", "echo PWNED\n");
         fs::create_directories(dir / journal / "replay/runs/r1");
       },
       {"uninstall", "--game", "GAME"}},
  };
  const auto home = Home();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::copy(dir / "game/.veypatcher", dir / "saved", fs::copy_options::recursive);
    c.plant();
    const CliResult r = Run(c.command);
    EXPECT_FALSE(r.timedOut);
    EXPECT_NE(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("outside the game folder"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Home(), home);
    fs::remove_all(dir / "game/.veypatcher");
    fs::rename(dir / "saved", dir / "game/.veypatcher");
  }
}

TEST_F(GameLinkEscape, BuildStepsAndListCopiesFollowNoLinkOut) {
  // A build copies into, and deletes from, a game folder that is a link out.
  fs::create_directory_symlink("../../home/jane.doe", dir / "game/override/sub");
  dir.Write("dl/a.txt", "a");
  dir.Write("dl/build.toml",
            "[metadata]\nfileFormatVersion = \"2.0\"\n[[thisMod]]\nName = \"B\"\n"
            "[[thisMod.Instructions]]\nAction = \"Copy\"\nSource = [\"<<modDirectory>>\\\\a.txt\"]\n"
            "Destination = \"<<gameDirectory>>\\\\override\\\\sub\"\n"
            "[[thisMod.Instructions]]\nAction = \"Delete\"\nSource = [\"<<gameDirectory>>\\\\override\\\\sub\\\\.bashrc\"]\n");
  const auto home = Home();
  CliResult r = Run({"modlist", "install", (dir / "dl/build.toml").string(), "--game", "GAME", "--yes"});
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("outside the game folder"), std::string::npos) << r.out;
  EXPECT_EQ(Home(), home);
  EXPECT_FALSE(fs::exists(dir / "home/jane.doe/a.txt"));

  // A list's copy folder that is a link in the list's own folder.
  dir.Write("list/list.toml", "[[mod]]\nname = \"Textures\"\nsource = \".\"\ncopy = { from = \"keys\", to = \"override\" }\n");
  fs::create_directory_symlink("../home/jane.doe/.ssh", dir / "list/keys");
  r = Run({"modlist", "install", (dir / "list/list.toml").string(), "--game", "GAME", "--yes"});
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("leads through a link out of the source"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "game/override/id_rsa"));
}

}  // namespace
}  // namespace vey::test
