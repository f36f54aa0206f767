// The check of a build over a folder of downloads: what each mod's steps
// find, what they would do, and what the player must do first. Archives are
// stood in for by folders the tests make, so these tests need no unpacking.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "modlist/BuildPlan.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;
using modlist::ModState;
using modlist::PlannedOp;

class BuildPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("downloads/[E1]_Armour_v1.2.7z", "archive");
    dir.Write("unpacked/armour/Override/body.tga", "tga");
    dir.Write("unpacked/armour/Override/body.tpc", "tpc");
    dir.Write("unpacked/armour/Extras/readme.txt", "read");
    dir.Write("unpacked/armour/Installer/INSTALL.EXE", "MZ");
    dir.Write("unpacked/armour/Installer/VeyPatchData/changes.ini", "[Settings]\n");
    dir.Write("downloads/loose.tga", "loose");
  }
  modlist::BuildPlan Plan(const std::string& mods, const std::string& choices = "") {
    build = modlist::ParseBuildFile("[metadata]\nfileFormatVersion = \"2.0\"\n" + mods, dir / "build.toml");
    modlist::BuildChoices c;
    if (!choices.empty()) c = modlist::LoadChoices(dir.Write("build.toml.choices.toml", choices));
    selection.emplace(build, c);
    modlist::PlanSetting setting;
    setting.downloads = dir / "downloads";
    setting.isArchive = [](const fs::path& p) { return p.extension() == ".7z"; };
    setting.unpack = [this](const fs::path& p) {
      unpacked.push_back(p.filename().string());
      return dir / "unpacked/armour";
    };
    return modlist::PlanBuild(build, *selection, setting);
  }
  static std::string Mod(const std::string& name, const std::string& body, const std::string& extra = "") {
    return "[[thisMod]]\nGuid = \"" + name + "-G\"\nName = \"" + name + "\"\n" + extra + body;
  }
  static std::string Step(const std::string& action, const std::string& source, const std::string& more = "") {
    return "[[thisMod.Instructions]]\nAction = \"" + action + "\"\nSource = [" + source + "]\n" + more;
  }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }

  TempDir dir;
  modlist::BuildFile build;
  std::optional<modlist::Selection> selection;
  std::vector<std::string> unpacked;
  const std::string extract = Step("Extract", R"("<<modDirectory>>\\[E1]_Armour_v*.7z")");
};

TEST_F(BuildPlanTest, AReadyModResolvesItsFilesThroughTheUnpackedArchive) {
  const auto plan = Plan(Mod("A", extract +
                                      Step("Move", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\override\\*.TGA", "<<modDirectory>>/loose.tga")",
                                           "Destination = \"<<gameDirectory>>\\\\Override\"\nOverwrite = false\n") +
                                      Step("Patcher", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Installer\\install.exe")",
                                           "Arguments = \"1\"\n")));
  const auto& m = plan.mods.at(0);
  EXPECT_EQ(m.state, ModState::Ready) << Joined(m.errors);
  EXPECT_TRUE(m.warnings.empty()) << Joined(m.warnings);
  EXPECT_EQ(unpacked, std::vector<std::string>{"[E1]_Armour_v1.2.7z"});
  ASSERT_EQ(m.ops.size(), 3u);  // one copy per source pattern, then the installer
  EXPECT_EQ(m.ops[0].kind, PlannedOp::Kind::Copy);
  ASSERT_EQ(m.ops[0].items.size(), 1u);
  EXPECT_EQ(m.ops[0].items[0].real, dir / "unpacked/armour/Override/body.tga");
  EXPECT_FALSE(m.ops[0].overwrite);
  EXPECT_EQ(m.ops[1].items.at(0).real, dir / "downloads/loose.tga");
  EXPECT_EQ(m.ops[2].kind, PlannedOp::Kind::Patcher);
  EXPECT_EQ(m.ops[2].modFolder, dir / "unpacked/armour/Installer");
  EXPECT_EQ(m.ops[2].installationType, "1");
  EXPECT_EQ(plan.ExitStatus(), 0);
}

TEST_F(BuildPlanTest, AMissingDownloadNamesItsPatternsAndPagesAndSilencesLaterSteps) {
  const auto plan = Plan(Mod("A",
                             Step("Extract", R"("<<modDirectory>>\\Other*.zip", "<<modDirectory>>\\Other*.7z")") +
                                 Step("Move", R"("<<modDirectory>>\\Other\\*")", "Destination = \"<<gameDirectory>>\"\n"),
                             "[thisMod.ModLinkFilenames.\"https://example.org/other\"]\n"));
  const auto& m = plan.mods.at(0);
  EXPECT_EQ(m.state, ModState::MissingDownload);
  ASSERT_EQ(m.errors.size(), 1u);
  EXPECT_NE(m.errors[0].find("\"<<modDirectory>>\\Other*.zip\", \"<<modDirectory>>\\Other*.7z\""), std::string::npos) << m.errors[0];
  EXPECT_NE(m.errors[0].find("https://example.org/other"), std::string::npos);
  EXPECT_TRUE(m.warnings.empty()) << Joined(m.warnings);
  EXPECT_EQ(plan.ExitStatus(), 2);
}

TEST_F(BuildPlanTest, OneAlternativeOfAnExtractIsEnough) {
  const auto plan = Plan(Mod("A", Step("Extract", R"("<<modDirectory>>\\Nexus*.zip", "<<modDirectory>>\\[E1]*")")));
  EXPECT_EQ(plan.mods.at(0).state, ModState::Ready) << Joined(plan.mods[0].errors);
}

TEST_F(BuildPlanTest, ALaterModSeesWhatAnEarlierOneUnpackedButNotWhatItHid) {
  const std::string move = Step("Move", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\*.tga")",
                                "Destination = \"<<gameDirectory>>\"\n");
  const auto plan = Plan(Mod("A", extract + move) + Mod("B", move));
  ASSERT_EQ(plan.mods.at(1).ops.size(), 1u) << Joined(plan.mods[1].warnings);
  EXPECT_EQ(plan.mods[1].ops[0].items.at(0).real, dir / "unpacked/armour/Override/body.tga");
  EXPECT_EQ(unpacked.size(), 1u);
}

TEST_F(BuildPlanTest, AStepThatFindsNothingIsAWarningAndIsSkipped) {
  const auto plan = Plan(Mod("A", extract + Step("Copy", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Textures\\*")",
                                                "Destination = \"<<gameDirectory>>\\\\Override\"\n")));
  const auto& m = plan.mods.at(0);
  EXPECT_EQ(m.state, ModState::Ready);
  ASSERT_EQ(m.warnings.size(), 1u);
  EXPECT_NE(m.warnings[0].find("step 2 (Copy) found nothing for \"<<modDirectory>>\\[E1]_Armour_v1.2\\Textures\\*\""),
            std::string::npos) << m.warnings[0];
  EXPECT_TRUE(m.ops.empty());
  EXPECT_EQ(plan.ExitStatus(), 1);
}

TEST_F(BuildPlanTest, TheModsSideIsHiddenOrRenamedForLaterStepsOnly) {
  const std::string dest = "Destination = \"<<gameDirectory>>\\\\Override\"\n";
  const auto plan = Plan(Mod("A", extract +
                                      Step("Delete", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\body.tpc")") +
                                      Step("Rename", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\body.tga")",
                                           "Destination = \"skin.tga\"\n") +
                                      Step("Move", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\*")", dest) +
                                      Step("Copy", R"("<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\*")", dest)));
  const auto& m = plan.mods.at(0);
  ASSERT_EQ(m.ops.size(), 1u) << Joined(m.warnings);  // the Copy after the Move finds nothing
  ASSERT_EQ(m.ops[0].items.size(), 1u);
  EXPECT_EQ(m.ops[0].items[0].parts.back(), "skin.tga");
  EXPECT_EQ(m.ops[0].items[0].real, dir / "unpacked/armour/Override/body.tga");
  EXPECT_EQ(m.warnings.size(), 1u);
  // Nothing of the mod's side was touched on disk.
  EXPECT_TRUE(fs::exists(dir / "unpacked/armour/Override/body.tpc"));
  EXPECT_TRUE(fs::exists(dir / "downloads/[E1]_Armour_v1.2.7z"));
}

TEST_F(BuildPlanTest, ChoicesAndTheirProblems) {
  const std::string options =
      "[[thisMod.Options]]\nGuid = \"DARK\"\nName = \"Dark\"\nRestrictions = [\"LIGHT\"]\n"
      "[[thisMod.Options.Instructions]]\nAction = \"Copy\"\nSource = [\"<<modDirectory>>\\\\loose.tga\"]\n"
      "Destination = \"<<gameDirectory>>\\\\Override\"\n"
      "[[thisMod.Options]]\nGuid = \"LIGHT\"\nName = \"Light\"\n";
  const std::string mod = Mod("A", Step("Choose", R"("LIGHT", "DARK")") + options);
  struct Case {
    std::string choices;
    ModState state;
    std::string message;
    std::size_t ops;
  } cases[] = {
      {"", ModState::NeedsChoice, "no option is chosen; choose from \"Light\" (LIGHT), \"Dark\" (DARK)", 0},
      {"select = [{ mod = \"A\", option = \"Dark\" }]\n", ModState::Ready, "", 1},
      {"select = [\"LIGHT\", \"DARK\"]\n", ModState::NeedsChoice, "the options \"Dark\" and \"Light\" exclude each other", 0},
      {"select = [\"LIGHT\"]\n", ModState::Ready, "", 0},
  };
  for (const Case& c : cases) {
    const auto plan = Plan(mod, c.choices);
    const auto& m = plan.mods.at(0);
    EXPECT_EQ(m.state, c.state) << c.choices << Joined(m.errors);
    EXPECT_EQ(m.ops.size(), c.ops) << c.choices;
    if (!c.message.empty()) {
      EXPECT_NE(Joined(m.errors).find(c.message), std::string::npos) << Joined(m.errors);
    }
  }
}

TEST_F(BuildPlanTest, StepsFollowTheirDependenciesAndRestrictions) {
  const auto plan = Plan(Mod("A", Step("Copy", R"("<<modDirectory>>\\loose.tga")",
                                       "Destination = \"<<gameDirectory>>\"\nDependencies = [\"B-G\"]\n") +
                                      Step("Copy", R"("<<modDirectory>>\\loose.tga")",
                                           "Destination = \"<<gameDirectory>>\\\\x\"\nRestrictions = [\"B-G\"]\n")) +
                         Mod("B", Step("Copy", R"("<<modDirectory>>\\loose.tga")", "Destination = \"<<gameDirectory>>\"\n"),
                             "IsSelected = false\n"));
  ASSERT_EQ(plan.mods.at(0).ops.size(), 1u);
  EXPECT_EQ(plan.mods[0].ops[0].destination.parts, std::vector<std::string>{"x"});
  EXPECT_EQ(plan.mods[1].state, ModState::NotChosen);
}

TEST_F(BuildPlanTest, DependenciesOfTheModByHandAndStepsItCannotDo) {
  const std::string copy = Step("Copy", R"("<<modDirectory>>\\loose.tga")", "Destination = \"<<gameDirectory>>\"\n");
  const auto plan = Plan(Mod("A", copy, "Dependencies = [\"B-G\", \"NOPE\", \"C-G\"]\n") +
                         Mod("B", copy, "IsSelected = false\n") + Mod("C", copy) +
                         Mod("D", "", "Directions = \"Patch the executable by hand.\"\n") +
                         Mod("E", Step("Execute", R"("<<modDirectory>>\\setup.exe")"), "Directions = \"Run setup.\"\n"));
  const std::string a = Joined(plan.mods.at(0).errors);
  EXPECT_EQ(plan.mods[0].state, ModState::MissingDependency);
  EXPECT_NE(a.find("depends on \"B\" (B-G), which is not chosen"), std::string::npos) << a;
  EXPECT_NE(a.find("depends on the mod NOPE, which is not in the build"), std::string::npos) << a;
  EXPECT_NE(Joined(plan.mods[0].warnings).find("\"C\", which comes later in the build"), std::string::npos);
  EXPECT_EQ(plan.mods[3].state, ModState::ByHand);
  EXPECT_NE(Joined(plan.mods[3].warnings).find("Patch the executable by hand."), std::string::npos);
  EXPECT_EQ(plan.mods[4].state, ModState::CannotDo);
  EXPECT_NE(Joined(plan.mods[4].errors).find("step 1 (Execute) cannot be done unattended: Run setup."), std::string::npos);
}

TEST_F(BuildPlanTest, PathsThatLeaveTheirFoldersOrFollowLinksRefuseTheMod) {
  fs::create_directory_symlink("/etc", dir / "downloads/etc-link");
  struct Case {
    std::string step, message;
  } cases[] = {
      {Step("Copy", R"("<<modDirectory>>\\loose.tga")", "Destination = \"<<gameDirectory>>\\\\..\\\\..\"\n"), "climbs out"},
      {Step("Copy", R"("C:\\Users\\me\\secret.txt")", "Destination = \"<<gameDirectory>>\"\n"), "absolute and bare paths"},
      {Step("Copy", R"("<<modDirectory>>\\etc-link\\passwd")", "Destination = \"<<gameDirectory>>\"\n"), "is a link"},
      {Step("Copy", R"("<<modDirectory>>\\loose.tga")", "Destination = \"<<gameDirectory>>\\\\.veypatcher\\\\runs\"\n"),
       "journal folder"},
      {Step("Copy", R"("<<modDirectory>>\\loose.tga")", "Destination = \"<<modDirectory>>\\\\x\"\n"), "must be a folder of the game"},
      {Step("Delete", R"("<<gameDirectory>>\\..\\x")"), "climbs out"},
      {Step("Rename", R"("<<gameDirectory>>\\a.tga")", "Destination = \"..\\\\b.tga\"\n"), "plain file name"},
      {Step("DelDuplicate", "", "Destination = \"<<gameDirectory>>\\\\Override\"\nArguments = \"*\"\n"), "no file extension"},
  };
  for (const Case& c : cases) {
    const auto plan = Plan(Mod("A", c.step));
    EXPECT_EQ(plan.mods.at(0).state, ModState::Refused) << c.step;
    EXPECT_NE(Joined(plan.mods[0].errors).find(c.message), std::string::npos) << Joined(plan.mods[0].errors);
    EXPECT_NE(Joined(plan.mods[0].errors).find("step 1 ("), std::string::npos);
  }
}

TEST_F(BuildPlanTest, AnInstallerWithoutItsDataFolderCannotBeDone) {
  fs::remove_all(dir / "unpacked/armour/Installer/VeyPatchData");
  const auto plan = Plan(Mod("A", extract + Step("Patcher", R"("<<modDirectory>>\\*\\Installer\\Install.exe")")));
  EXPECT_EQ(plan.mods.at(0).state, ModState::CannotDo);
  EXPECT_NE(Joined(plan.mods[0].errors).find("no \"veypatchdata\" folder beside \"INSTALL.EXE\""), std::string::npos)
      << Joined(plan.mods[0].errors);
}

}  // namespace
}  // namespace vey::test
