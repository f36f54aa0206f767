// `modlist check` given a published build file: told from our lists by its
// content, checked over a real downloads folder whose archives are known by
// their content, whatever their names say, and the downloads left as they were.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class BuildFileCheck : public ::testing::Test {
 protected:
  BuildFileCheck() {
    dir.Write("src/Override/body.tga", "tga");
    dir.Write("src/Installer/veypatchdata/changes.ini", "[Settings]\nInstallerMode=1\n");
    dir.Write("src/Installer/install.exe", "MZ");
    // A self-extracting download: a zip under an .exe name.
    const std::string command = "cd '" + (dir / "src").string() + "' && bsdtar --format zip -cf '" +
                                (dir / "downloads/Armour v1.exe").string() + "' .";
    fs::create_directories(dir / "downloads");
    EXPECT_EQ(std::system(command.c_str()), 0);
    dir.Write("downloads/notes.txt", "loose");
  }
  void Build(const std::string& mods) {
    dir.Write("downloads/build.toml", "[metadata]\nfileFormatVersion = \"2.0\"\n" + mods);
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "BUILD") a = (dir / "downloads/build.toml").string();
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  std::map<std::string, std::string> Downloads() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir / "downloads"))
      files[e.path().lexically_relative(dir.Path()).string()] = e.is_regular_file() ? dir.Read(fs::relative(e.path(), dir.Path()).string()) : "/";
    return files;
  }
  TempDir dir;
};

const std::string kArmour =
    "[[thisMod]]\nGuid = \"A-1\"\nName = \"Armour\"\n"
    "[[thisMod.Instructions]]\nAction = \"Extract\"\nSource = [\"<<modDirectory>>\\\\Armour v*.exe\"]\n"
    "[[thisMod.Instructions]]\nAction = \"Move\"\nSource = [\"<<modDirectory>>/Armour v1/Override/*\"]\n"
    "Destination = \"<<gameDirectory>>\\\\Override\"\n"
    "[[thisMod.Instructions]]\nAction = \"Patcher\"\nSource = [\"<<modDirectory>>\\\\Armour v1\\\\Installer\\\\INSTALL.exe\"]\n";

TEST_F(BuildFileCheck, AReadyBuildPassesAndLeavesTheDownloadsAsTheyWere) {
  Build(kArmour);
  const auto before = Downloads();
  const CliResult r = Run({"modlist", "check", "BUILD", "--json", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(HasLine(r.err, "  Armour: ready")) << r.err;
  EXPECT_TRUE(HasLine(r.err, "1 mod of the 1 chosen ready; the build passes.")) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  EXPECT_EQ(json["mods"][0]["state"], "ready");
  EXPECT_EQ(json["exitCode"], 0);
  EXPECT_EQ(Downloads(), before);
}

TEST_F(BuildFileCheck, WhatStopsTheInstallIsNamedWithTheWayOn) {
  Build(kArmour +
        "[[thisMod]]\nGuid = \"B-2\"\nName = \"Banter\"\n[thisMod.ModLinkFilenames.\"https://example.org/banter\"]\n"
        "[[thisMod.Instructions]]\nAction = \"Extract\"\nSource = [\"<<modDirectory>>\\\\Banter*.7z\"]\n"
        "[[thisMod]]\nGuid = \"C-3\"\nName = \"Exe Patch\"\nDirections = \"Run the patcher yourself.\"\n");
  dir.Write("downloads/build.toml.choices.toml", "deselect = [\"Armour\"]\n");
  const CliResult r = Run({"modlist", "check", "BUILD"});
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_FALSE(HasLine(r.out, "  Armour: ready")) << r.out;  // the choices file beside the build was read
  EXPECT_TRUE(HasLine(r.out, "  Banter: missing download")) << r.out;
  EXPECT_NE(r.out.find("download it from \"https://example.org/banter\""), std::string::npos) << r.out;
  EXPECT_TRUE(HasLine(r.out, "  Exe Patch: by hand")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "    warning: by hand: Run the patcher yourself.")) << r.out;
}

TEST_F(BuildFileCheck, ABadBuildOrChoicesFileIsAnErrorWithItsLineBeforeAnythingChanges) {
  Build("[[thisMod]]\nName = \"X\"\n[[thisMod.Instructions]]\nAction = 7\n");
  CliResult r = Run({"modlist", "check", "BUILD"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("build.toml:6: \"Action\" of step 1 of the mod \"X\" must be a string"), std::string::npos) << r.out;

  Build(kArmour);
  dir.Write("choices.toml", "select = [\"Nothing Like It\"]\n");
  r = Run({"modlist", "check", "BUILD", "--choices", (dir / "choices.toml").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("choices.toml:1: the build holds no mod \"Nothing Like It\""), std::string::npos) << r.out;

  dir.Write("downloads/build.toml.choices.toml", "select = [\"Nothing Like It\"]\n");
  dir.Write("game/dialog.tlk", "TLK ");
  r = Run({"modlist", "install", "BUILD", "--game", (dir / "game").string(), "--yes"});
  EXPECT_EQ(r.exitCode, 64);
  EXPECT_NE(r.out.find("The build does not pass its check; nothing was installed."), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/runs"));
}

// The whole game folder but the journal, byte for byte.
std::map<std::string, std::string> GameTree(const fs::path& game) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(game); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(game).generic_string();
    if (rel == ".veypatcher") {
      it.disable_recursion_pending();
      continue;
    }
    std::ifstream in(it->path(), std::ios::binary);
    tree[rel] = it->is_directory() ? "/" : std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return tree;
}

class BuildFileInstall : public BuildFileCheck {
 protected:
  BuildFileInstall() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/old.tga", "old");
    dir.Write("game/override/keep.txt", "keep");
    dir.Write("game/override/twin.tpc", "tpc");
    dir.Write("game/override/twin.tga", "tga");
    // The installer's data folder copies one file into override.
    dir.Write("src/Installer/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=from-installer.txt\n");
    dir.Write("src/Installer/veypatchdata/from-installer.txt", "installed by its own data folder");
    const std::string command = "cd '" + (dir / "src").string() + "' && bsdtar --format zip -cf '" +
                                (dir / "downloads/Armour v1.exe").string() + "' .";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  CliResult Install(std::vector<std::string> more = {}) {
    std::vector<std::string> args{"modlist", "install", "BUILD", "--game", (dir / "game").string(), "--yes"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  fs::path Game() const { return dir / "game"; }
};

const std::string kWholeMod = kArmour +
    "[[thisMod.Instructions]]\nAction = \"Delete\"\nSource = [\"<<gameDirectory>>\\\\Override\\\\old.tga\"]\n"
    "[[thisMod.Instructions]]\nAction = \"DelDuplicate\"\nDestination = \"<<gameDirectory>>/override\"\nArguments = \".tpc\"\n"
    "[[thisMod.Instructions]]\nAction = \"Rename\"\nSource = [\"<<gameDirectory>>\\\\Override\\\\keep.txt\"]\n"
    "Destination = \"kept.txt\"\n";

TEST_F(BuildFileInstall, OneRunPerModUndoneWholeAndASecondInstallChangesNothing) {
  Build(kWholeMod);
  const auto before = GameTree(Game());
  const auto downloads = Downloads();
  CliResult r = Install();
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  auto after = GameTree(Game());
  EXPECT_EQ(after["override/body.tga"], "tga");  // Move into the game's own spelling of the folder
  EXPECT_EQ(after["override/from-installer.txt"], "installed by its own data folder");
  EXPECT_EQ(after.count("override/old.tga"), 0u);
  EXPECT_EQ(after.count("override/twin.tpc"), 0u);
  EXPECT_EQ(after["override/twin.tga"], "tga");
  EXPECT_EQ(after.count("override/keep.txt"), 0u);
  EXPECT_EQ(after["override/kept.txt"], "keep");
  EXPECT_EQ(Downloads(), downloads);

  r = Install();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Mod 1 of 1: Armour: already installed"), std::string::npos) << r.out;
  EXPECT_EQ(GameTree(Game()), after);
  r = Run({"modlist", "status", "BUILD", "--game", Game().string()});
  EXPECT_TRUE(HasLine(r.out, "Armour: installed")) << r.out << r.err;

  r = Run({"uninstall", "--game", Game().string()});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(GameTree(Game()), before);
}

TEST_F(BuildFileInstall, AStepThatFailsRollsBackTheWholeModAndChangedDownloadsAreNeverInstalledOnTop) {
  dir.Write("game/override/kept.txt", "in the way");
  Build(kWholeMod);
  const auto before = GameTree(Game());
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_NE(r.out.find("\"Armour\" failed and was rolled back"), std::string::npos) << r.out;
  EXPECT_EQ(GameTree(Game()), before);

  fs::remove(dir / "game/override/kept.txt");
  ASSERT_EQ(Install().exitCode, 0);
  const auto installed = GameTree(Game());
  dir.Write("downloads/build.toml.choices.toml", "select = [\"Armour\"]\n");  // the same choices: still installed
  EXPECT_EQ(Install().exitCode, 0);
  // A new version of the download under the same name.
  dir.Write("src/Override/body.tga", "tga v2");
  const std::string command = "cd '" + (dir / "src").string() + "' && rm -f '" + (dir / "downloads/Armour v1.exe").string() +
                              "' && bsdtar --format zip -cf '" + (dir / "downloads/Armour v1.exe").string() + "' .";
  ASSERT_EQ(std::system(command.c_str()), 0);
  r = Install();
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_NE(r.out.find("\"Armour\" was installed (run "), std::string::npos) << r.out;
  EXPECT_EQ(GameTree(Game()), installed);
  r = Run({"modlist", "status", "BUILD", "--game", Game().string()});
  EXPECT_TRUE(HasLine(r.out, "Armour: changed since")) << r.out;
}

// A kill at any mod of a build: the next install rolls the cut mod back,
// resumes, and the game ends as one install without a kill leaves it.
TEST_F(BuildFileInstall, AKillAtEachModIsResumedToTheSameGame) {
  std::string build = kWholeMod;
  for (const char* name : {"Second", "Third"})
    build += std::string("[[thisMod]]\nGuid = \"") + name + "\"\nName = \"" + name + "\"\n"
             "[[thisMod.Instructions]]\nAction = \"Copy\"\nSource = [\"<<modDirectory>>\\\\Armour v1\\\\Override\\\\*\"]\n"
             "Destination = \"<<gameDirectory>>\\\\Override\\\\" + name + "\"\n";
  Build(build);
  const fs::path pristine = dir / "pristine";
  fs::copy(Game(), pristine, fs::copy_options::recursive);
  ASSERT_EQ(Install().exitCode, 0);
  const auto whole = GameTree(Game());
  for (std::size_t killAt = 1; killAt <= 3; ++killAt) {
    SCOPED_TRACE(killAt);
    fs::remove_all(Game());
    fs::copy(pristine, Game(), fs::copy_options::recursive);
    // Killed once the journal holds the run of mod killAt, finished or not.
    const auto runs = [&] {
      std::error_code ec;
      std::size_t n = 0;
      for (auto it = fs::directory_iterator(Game() / ".veypatcher/runs", ec); !ec && it != fs::directory_iterator(); ++it) ++n;
      return n >= killAt;
    };
    RunCliKilledWhen({"modlist", "install", (dir / "downloads/build.toml").string(), "--game", Game().string(), "--yes"},
                     {"XDG_CACHE_HOME=" + (dir / "cache").string()}, SIGKILL, runs);
    const CliResult resumed = Install();
    EXPECT_EQ(resumed.exitCode, 0) << resumed.out;
    EXPECT_EQ(GameTree(Game()), whole);
    // The cut run was rolled back, not left beside its second try. (A kill
    // before a run's record was first written leaves a folder without one,
    // which no command reads.)
    std::size_t records = 0;
    std::string names;
    for (const auto& e : fs::directory_iterator(Game() / ".veypatcher/runs")) {
      records += fs::exists(e.path() / "run.txt") ? 1 : 0;
      names += e.path().filename().string() + "\n";
    }
    EXPECT_EQ(records, 3u) << names << resumed.out;
  }
}

TEST_F(BuildFileInstall, ARunIsNamedAfterItsModInTheHistory) {
  std::string mod = kArmour;
  mod.replace(mod.find("Name = \"Armour\""), 15, "Name = \"R\u00fcstung \u00c4\"");
  Build(mod);
  ASSERT_EQ(Install().exitCode, 0);
  const CliResult r = Run({"history", "--game", Game().string()});
  EXPECT_NE(r.out.find("R\u00fcstung \u00c4"), std::string::npos) << r.out;
}

TEST_F(BuildFileInstall, TheDryRunOnTheGameSeesEachModAfterTheOnesBeforeAndChangesNothing) {
  // A second mod copies the same file and then deletes what the first one
  // removed already: the dry run predicts who wins and finds the slip.
  Build(kWholeMod + "[[thisMod]]\nGuid = \"S-2\"\nName = \"Second\"\n"
        "[[thisMod.Instructions]]\nAction = \"Copy\"\nSource = [\"<<modDirectory>>\\\\Armour v1\\\\Override\\\\body.tga\"]\n"
        "Destination = \"<<gameDirectory>>\\\\Override\"\n"
        "[[thisMod.Instructions]]\nAction = \"Delete\"\nSource = [\"<<gameDirectory>>\\\\Override\\\\old.tga\"]\n");
  const auto before = GameTree(Game());
  const CliResult r = Run({"modlist", "check", "BUILD", "--game", Game().string()});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_TRUE(HasLine(r.out, "  1 Armour: ok")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "  2 Second: warnings")) << r.out;
  EXPECT_NE(r.out.find("step 2 (Delete) found nothing for \"Override/old.tga\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    wins:    Second"), std::string::npos) << r.out;
  EXPECT_EQ(GameTree(Game()), before);
  EXPECT_FALSE(fs::exists(Game() / ".veypatcher/runs"));
}

}  // namespace
}  // namespace vey::test
