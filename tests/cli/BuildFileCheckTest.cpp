// `modlist check` given a published build file: told from our lists by its
// content, checked over a real downloads folder whose archives are known by
// their content, whatever their names say, and the downloads left as they were.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
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

TEST_F(BuildFileCheck, ABadBuildOrChoicesFileIsAnErrorWithItsLineAndInstallSaysWhatWorks) {
  Build("[[thisMod]]\nName = \"X\"\n[[thisMod.Instructions]]\nAction = 7\n");
  CliResult r = Run({"modlist", "check", "BUILD"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("build.toml:6: \"Action\" of step 1 of the mod \"X\" must be a string"), std::string::npos) << r.out;

  Build(kArmour);
  dir.Write("choices.toml", "select = [\"Nothing Like It\"]\n");
  r = Run({"modlist", "check", "BUILD", "--choices", (dir / "choices.toml").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("choices.toml:1: the build holds no mod \"Nothing Like It\""), std::string::npos) << r.out;

  r = Run({"modlist", "install", "BUILD", "--game", dir.Path().string(), "--yes"});
  EXPECT_EQ(r.exitCode, 64);
  EXPECT_NE(r.err.find("modlist check"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vey::test
