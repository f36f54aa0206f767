// Published build files are read as they are: their keys in either letter
// case of value, paths in both slash directions, wildcards with brackets,
// and a player's choices laid over the build's defaults.
#include <gtest/gtest.h>

#include <string>

#include "modlist/BuildChoices.h"
#include "modlist/BuildFile.h"
#include "modlist/BuildPaths.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

using modlist::BuildFile;
using modlist::StepAction;

constexpr std::string_view kBuild = R"(
[metadata]
fileFormatVersion = "2.0"
preambleContent = "Read me first."
targetGame = "E1"

[[thisMod]]
Guid = "AAAA-1"
Name = "Armour Pack"
Author = "Someone"
Category = "Appearance"
Tier = "1 - Essential"
IsSelected = true
Language = ["YES"]
Dependencies = ["BBBB-2"]

[thisMod.ModLinkFilenames."https://example.org/armour"]
"[E1]_Armour_v1.2.7z" = { }

[[thisMod.Instructions]]
Guid = "S1"
Action = "extract"
Source = ["<<modDirectory>>\\[E1]_Armour_v*.7z", "<<modDirectory>>/Armour*.zip"]

[[thisMod.Instructions]]
Action = "Choose"
Source = ["OPT-A", "OPT-B"]

[[thisMod.Instructions]]
Action = "Move"
Source = "<<modDirectory>>\\[E1]_Armour_v1.2\\Override\\*"
Destination = "<<gameDirectory>>\\Override"
Overwrite = false
Restrictions = ["OPT-B"]

[[thisMod.Options]]
Guid = "OPT-A"
Name = "Dark"
IsSelected = true
Restrictions = ["OPT-B"]
[[thisMod.Options.Instructions]]
Action = "Patcher"
Source = ["<<modDirectory>>\\[E1]_Armour_v1.2\\INSTALL.exe"]
Arguments = "0"

[[thisMod.Options]]
Guid = "OPT-B"
Name = "Light"

[[thisMod]]
Guid = "BBBB-2"
Name = "Manual Fix"
Directions = "Edit the ini by hand."
IsSelected = false
SomethingNew = { nested = 1 }
)";

BuildFile Parse(std::string_view text) { return modlist::ParseBuildFile(text, "build.toml"); }

TEST(BuildFile, ReadsModsStepsAndOptionsAsPublished) {
  const BuildFile build = Parse(kBuild);
  EXPECT_EQ(build.formatVersion, "2.0");
  EXPECT_EQ(build.preamble, "Read me first.");
  ASSERT_EQ(build.mods.size(), 2u);
  const auto& armour = build.mods[0];
  EXPECT_EQ(armour.name, "Armour Pack");
  EXPECT_EQ(armour.tier, "1 - Essential");
  EXPECT_EQ(armour.downloadPages, std::vector<std::string>{"https://example.org/armour"});
  EXPECT_EQ(armour.dependencies, std::vector<std::string>{"BBBB-2"});
  ASSERT_EQ(armour.steps.size(), 3u);
  EXPECT_EQ(armour.steps[0].action, StepAction::Extract);  // letter case of the action ignored
  EXPECT_EQ(armour.steps[0].sources.size(), 2u);
  EXPECT_EQ(armour.steps[2].sources.size(), 1u);  // one string is a list of one
  EXPECT_FALSE(armour.steps[2].overwrite);
  EXPECT_TRUE(armour.steps[1].overwrite);  // replacing is the default
  ASSERT_EQ(armour.options.size(), 2u);
  EXPECT_EQ(armour.options[0].steps.at(0).action, StepAction::Patcher);
  EXPECT_EQ(armour.options[0].steps.at(0).arguments, "0");
  EXPECT_TRUE(build.mods[1].ByHand());
  EXPECT_FALSE(build.mods[1].selected);
  EXPECT_EQ(build.Mod("bbbb-2"), &build.mods[1]);  // GUIDs and names without regard to case
  EXPECT_EQ(build.Mod("manual FIX"), &build.mods[1]);
  EXPECT_EQ(armour.Option("light"), &armour.options[1]);
}

TEST(BuildFile, AnUnknownActionIsKeptForTheCheckToName) {
  const BuildFile build = Parse(
      "[metadata]\nfileFormatVersion = \"2.1\"\n[[thisMod]]\nName = \"X\"\n"
      "[[thisMod.Instructions]]\nAction = \"Execute\"\nSource = [\"<<modDirectory>>\\\\setup.exe\"]\n");
  ASSERT_EQ(build.mods.at(0).steps.size(), 1u);
  EXPECT_EQ(build.mods[0].steps[0].action, StepAction::Other);
  EXPECT_EQ(build.mods[0].steps[0].actionText, "Execute");
}

TEST(BuildFile, RefusesWhatCannotBeActedOnNamingTheLine) {
  const std::string v2 = "[metadata]\nfileFormatVersion = \"2.0\"\n";
  struct Case {
    std::string text, message;
  } cases[] = {
      {"[metadata]\nfileFormatVersion = \"1.0\"\n", "build.toml:1: format version \"1.0\": only build files of format 2"},
      {"[[thisMod]]\nName = \"X\"\n", "no [metadata] fileFormatVersion"},
      {v2 + "[[thisMod]]\nGuid = \"G\"\n", "build.toml:3: a [[thisMod]] without a \"Name\""},
      {v2 + "[[thisMod]]\nName = \"X\"\n[[thisMod.Instructions]]\nSource = \"a\"\n",
       "build.toml:5: step 1 of the mod \"X\" has no \"Action\""},
      {v2 + "[[thisMod]]\nName = \"X\"\n[[thisMod.Instructions]]\nAction = \"Move\"\nSource = 3\n",
       "build.toml:7: \"Source\" of step 1 of the mod \"X\" must be a list of strings"},
      {v2 + "[[thisMod]]\nName = \"X\"\n[[thisMod.Instructions]]\nAction = \"Move\"\nOverwrite = \"maybe\"\n",
       "build.toml:7: \"Overwrite\" of step 1 of the mod \"X\" must be true or false"},
      {v2 + "[[thisMod]]\nName = \"X\"\nGuid = \"G\"\n[[thisMod]]\nName = \"Y\"\nGuid = \"g\"\n",
       "build.toml:6: a second mod with the Guid g (\"Y\")"},
      {v2 + "[[thisMod]]\nName = \"X\"\n[[thisMod.Options]]\nGuid = \"O\"\n[[thisMod.Options]]\nGuid = \"o\"\n",
       "build.toml:7: a second option of the mod \"X\" with the Guid o"},
      {v2 + "[[thisMod]\nName = \"X\"\n", "build.toml:3: "},
      {v2 + "x = " + std::string(5000, '[') + std::string(5000, ']') + "\n", "build.toml:3: "},
  };
  for (const Case& c : cases) {
    try {
      Parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text.substr(0, 120);
    } catch (const modlist::EBuildFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(BuildFile, AFileTooLargeOrNotAFileIsRefusedBeforeParsing) {
  TempDir dir;
  const auto big = dir.Write("big.toml", std::string(modlist::kMaxBuildFileBytes + 1, '#'));
  EXPECT_THROW(modlist::LoadBuildFile(big), modlist::EBuildFileError);
  EXPECT_THROW(modlist::LoadBuildFile(dir / "missing.toml"), modlist::EBuildFileError);
  EXPECT_THROW(modlist::LoadBuildFile(dir.Path()), modlist::EBuildFileError);
}

TEST(BuildFile, IsToldFromOurOwnListsByItsContent) {
  EXPECT_TRUE(modlist::LooksLikeBuildFile("[metadata]\n  [[thisMod]]\nName='x'\n"));
  EXPECT_FALSE(modlist::LooksLikeBuildFile("name = \"[[thisMod]]\"\n[[mod]]\nname='x'\n"));
}

TEST(BuildPaths, PlaceholdersContainmentAndSeparators) {
  struct Case {
    std::string text;
    bool ok;
    modlist::PathRoot root;
    std::vector<std::string> parts;
  } cases[] = {
      {"<<modDirectory>>\\a\\b/c.txt", true, modlist::PathRoot::Downloads, {"a", "b", "c.txt"}},
      {"<<MODDIRECTORY>>/./a//", true, modlist::PathRoot::Downloads, {"a"}},
      {"<<gameDirectory>>\\Override", true, modlist::PathRoot::Game, {"Override"}},
      {"<<gameDirectory>>", true, modlist::PathRoot::Game, {}},
      {"C:\\Games\\x", false, {}, {}},
      {"/etc/passwd", false, {}, {}},
      {"Override\\x.tga", false, {}, {}},
      {"<<gameDirectory>>\\..\\..\\home", false, {}, {}},
      {"<<modDirectory>>\\a\\..\\b", false, {}, {}},
      {"<<gameDirectory>>\\.VEYPATCHER\\runs", false, {}, {}},
      {"<<gameDirectory>>x", false, {}, {}},
      {"<<modDirectory>>\\c:x", false, {}, {}},
      {std::string("<<modDirectory>>\\a\nb"), false, {}, {}},
  };
  for (const Case& c : cases) {
    std::string problem;
    const auto path = modlist::ParseBuildPath(c.text, problem);
    ASSERT_EQ(path.has_value(), c.ok) << c.text << ": " << problem;
    if (!path) {
      EXPECT_NE(problem.find(c.text.substr(0, 10)), std::string::npos) << problem;
      continue;
    }
    EXPECT_EQ(path->root, c.root) << c.text;
    EXPECT_EQ(path->parts, c.parts) << c.text;
  }
}

TEST(BuildPaths, WildcardsAreStarAndQuestionMarkOnly) {
  struct Case {
    std::string_view pattern, name;
    bool match;
  } cases[] = {
      {"[E1]_Armour_v*", "[E1]_Armour_v1.2.7z", true},
      {"[E1]_Armour_v*", "E_Armour_v1", false},  // brackets are no character class
      {"[E1]*", "1", false},
      {"*.TGA", "body.tga", true},
      {"b?dy.tga", "body.tga", true},
      {"b?dy.tga", "bdy.tga", false},
      {"*", "", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"", "x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(modlist::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
  // Many stars against a near miss: linear, not a search of every split.
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  EXPECT_FALSE(modlist::WildcardMatch(pattern + "b", std::string(200, 'a')));
}

class BuildSelection : public ::testing::Test {
 protected:
  BuildFile build = Parse(kBuild);
  modlist::BuildChoices Choices(const std::string& text) {
    return modlist::LoadChoices(dir.Write("build.toml.choices.toml", text));
  }
  TempDir dir;
};

TEST_F(BuildSelection, DefaultsStandWithoutChoices) {
  const modlist::Selection s(build, {});
  EXPECT_TRUE(s.ModChosen(build.mods[0]));
  EXPECT_FALSE(s.ModChosen(build.mods[1]));
  EXPECT_TRUE(s.Chosen("opt-a"));
  EXPECT_FALSE(s.Chosen("OPT-B"));
  EXPECT_FALSE(s.Chosen("no-such-guid"));
  EXPECT_TRUE(s.StepRuns(build.mods[0].steps[2]));  // restricted by OPT-B only
  EXPECT_TRUE(s.Problems().empty());
}

TEST_F(BuildSelection, ChoicesByGuidNameAndOptionOverrideTheDefaults) {
  const modlist::Selection s(build, Choices("select = [\"manual fix\", { mod = \"ARMOUR PACK\", option = \"light\" }]\n"
                                            "deselect = [\"opt-a\"]\n"));
  EXPECT_TRUE(s.ModChosen(build.mods[1]));
  EXPECT_TRUE(s.Chosen("OPT-B"));
  EXPECT_FALSE(s.Chosen("OPT-A"));
  EXPECT_FALSE(s.StepRuns(build.mods[0].steps[2]));  // now restricted
  EXPECT_TRUE(s.Problems().empty());
}

TEST_F(BuildSelection, AnOptionOfAModNotChosenIsNotChosen) {
  const modlist::Selection s(build, Choices("deselect = [\"AAAA-1\"]\n"));
  EXPECT_FALSE(s.Chosen("OPT-A"));
  EXPECT_FALSE(s.OptionChosen(build.mods[0], build.mods[0].options[0]));
  modlist::BuildStep step;
  step.dependencies = {"OPT-A"};
  EXPECT_FALSE(s.StepRuns(step));
  step.dependencies = {"unknown"};
  EXPECT_FALSE(s.StepRuns(step));  // an unknown GUID counts as not chosen
  step.dependencies = {};
  step.restrictions = {"unknown"};
  EXPECT_TRUE(s.StepRuns(step));
}

TEST_F(BuildSelection, ChoicesThatNameNothingOrContradictAreProblemsWithTheirLine) {
  const modlist::Selection s(build, Choices("select = [\"Armour Pack\", \"Typo Mod\",\n"
                                            "  { mod = \"Armour Pack\", option = \"Purple\" }]\n"
                                            "deselect = [\"armour pack\"]\n"));
  ASSERT_EQ(s.Problems().size(), 3u);
  EXPECT_NE(s.Problems()[0].find(":1: the build holds no mod \"Typo Mod\""), std::string::npos) << s.Problems()[0];
  EXPECT_NE(s.Problems()[1].find(":2: the mod \"Armour Pack\" has no option \"Purple\""), std::string::npos);
  EXPECT_NE(s.Problems()[2].find(":3: \"armour pack\" is both selected and deselected"), std::string::npos);
}

TEST_F(BuildSelection, ChoicesMadeOneByOneAreSavedAndReadBackAsTheSameSelection) {
  modlist::BuildChoices choices = Choices("select = [\"OPT-B\"]\n");  // an option by its bare GUID
  const auto& armour = build.mods[0];
  modlist::SetChoice(choices, build, build.mods[1], nullptr, true);
  modlist::SetChoice(choices, build, armour, &armour.options[1], false);  // replaces the bare GUID
  modlist::SetChoice(choices, build, armour, &armour.options[0], false);
  modlist::SetChoice(choices, build, armour, &armour.options[0], true);   // back to the default: nothing kept
  modlist::SaveChoices(dir / "saved.toml", choices);
  const auto saved = modlist::LoadChoices(dir / "saved.toml");
  EXPECT_EQ(saved.select.size(), 1u);
  EXPECT_EQ(saved.deselect.size(), 0u);
  const modlist::Selection s(build, saved);
  EXPECT_TRUE(s.ModChosen(build.mods[1]));
  EXPECT_TRUE(s.Chosen("OPT-A"));
  EXPECT_FALSE(s.Chosen("OPT-B"));
  EXPECT_TRUE(s.Problems().empty());
}

TEST_F(BuildSelection, AMalformedChoicesFileIsRefusedWithItsLine) {
  for (const char* text : {"select = \"x\"\n", "choose = []\n", "select = [{ mod = \"x\" }]\n", "select = [3]\n"}) {
    try {
      Choices(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const modlist::EBuildFileError& e) {
      EXPECT_NE(std::string(e.what()).find("choices.toml:1: "), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace vey::test
