// veypatcher-cli conflicts over real installs: a whole override file, an
// archive resource, a 2DA cell and a GFF field written by two mods, each
// found with the mod that wins; the places record kept beside each run and
// carried by install --json.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "support/GameFiles.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

class CliConflicts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
    dir.Write("game/override/spells.2da", TwoDA({"label", "name", "cost"}, {{"fire", "1", "5"}, {"frost", "2", "6"}}));
    dir.Write("game/override/guard.utc", SimpleGff("UTC ", "guard"));
    dir.Write("game/modules/m.mod", MakeArchive("MOD ", {{"module.ifo", SimpleGff("IFO ", "m")}}));
  }
  // A mod that writes each kind of place; what it writes is its name.
  void Mod(const std::string& name, const std::string& lists) {
    const std::string data = name + "/veypatchdata/";
    dir.Write(data + "info.rtf", "{\\rtf1 x}");
    dir.Write(data + "same.txt", name);
    dir.Write(data + name + ".txt", name);
    dir.Write(data + "door.utp", SimpleGff("UTP ", name));
    dir.Write(data + "changes.ini", "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n" + lists);
  }
  CliResult Install(const std::string& mod, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"install", "--mod", (dir / mod).string(), "--game", (dir / "game").string(), "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  }
  CliResult Conflicts(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"conflicts", "--game", (dir / "game").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  }
  TempDir dir;
};

constexpr const char* kEveryKind =
    "[InstallList]\nf=override\na=modules\\m.mod\n[f]\nFile0=same.txt\nFile1=%s.txt\n[a]\nFile0=door.utp\n"
    "[2DAList]\nT0=spells.2da\n[spells.2da]\nChangeRow0=c\n[c]\nRowIndex=1\nname=%s\n"
    "[GFFList]\nG0=guard.utc\n[guard.utc]\nTag=%s\n";

std::string EveryKind(const std::string& mod) {
  std::string text = kEveryKind;
  for (std::size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, mod);
  // A second copy of a file is a replacement, so the second mod replaces.
  return text;
}

TEST_F(CliConflicts, EachKindWrittenByTwoModsNamesTheWinner) {
  Mod("first", EveryKind("first"));
  std::string second = EveryKind("second");
  second.replace(second.find("File0=same.txt"), 14, "Replace0=same.txt");
  second.replace(second.find("File0=door.utp"), 14, "Replace0=door.utp");
  Mod("second", second);

  ASSERT_EQ(Install("first").exitCode, 0);
  CliResult none = Conflicts();
  EXPECT_EQ(none.exitCode, 0) << none.out;
  EXPECT_NE(none.out.find("No place in this game folder was written by more than one"), std::string::npos);

  // A dry run predicts what the install would overwrite, with itself as the
  // unrecorded last writer.
  ASSERT_EQ(Install("second", {"--dry-run", "--json", (dir / "dry.json").string()}).exitCode, 0);
  const auto dry = nlohmann::json::parse(dir.Read("dry.json"));
  ASSERT_EQ(dry["conflicts"].size(), 4u) << dry.dump(2);
  for (const auto& c : dry["conflicts"]) {
    EXPECT_EQ(c["winner"]["run"], "");
    EXPECT_EQ(c["winner"]["mod"], "second");
  }

  CliResult install = Install("second", {"--json", (dir / "second.json").string()});
  ASSERT_EQ(install.exitCode, 0) << install.out;
  ASSERT_EQ(dir.Read("game/override/same.txt"), "second");

  const fs::path json = dir / "conflicts.json";
  CliResult found = Conflicts({"--json", json.string()});
  EXPECT_EQ(found.exitCode, 1) << found.out << found.err;
  for (const char* where :
       {"override/same.txt (the whole file)", "modules/m.mod, resource door.utp",
        "override/spells.2da, row \"1\", column \"name\"", "override/guard.utc, field Tag"})
    EXPECT_NE(found.out.find(std::string("  ") + where + "\n    wrote:   first (run "), std::string::npos)
        << where << "\n" << found.out;
  // Only the places both wrote: each mod's own file is no conflict.
  EXPECT_EQ(found.out.find("first.txt"), std::string::npos) << found.out;
  EXPECT_EQ(found.out.find("column \"cost\""), std::string::npos) << found.out;

  const auto doc = nlohmann::json::parse(dir.Read("conflicts.json"));
  EXPECT_EQ(doc["format"], "veypatcher-conflicts");
  ASSERT_EQ(doc["runs"].size(), 2u);
  ASSERT_EQ(doc["conflicts"].size(), 4u) << doc.dump(2);
  std::set<std::string> kinds;
  for (const auto& c : doc["conflicts"]) {
    kinds.insert(c["kind"].get<std::string>());
    EXPECT_EQ(c["winner"]["mod"], "second");
    EXPECT_EQ(c["winner"], c["writers"][1]);
    EXPECT_EQ(c["writers"][0]["mod"], "first");
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"file", "resource", "cell", "field"}));
  const auto cell = std::find_if(doc["conflicts"].begin(), doc["conflicts"].end(),
                                 [](const auto& c) { return c["kind"] == "cell"; });
  EXPECT_EQ((*cell)["row"], "1");
  EXPECT_EQ((*cell)["column"], "name");

  // The install result carries the places this run wrote and what it won.
  const auto result = nlohmann::json::parse(dir.Read("second.json"));
  EXPECT_EQ(result["conflicts"].size(), 4u) << result.dump(2);
  bool ownFile = false;
  for (const auto& p : result["places"]) ownFile |= p["kind"] == "file" && p["file"] == "override/second.txt";
  EXPECT_TRUE(ownFile) << result["places"].dump(2);

  // Undoing the winner leaves no conflict.
  ASSERT_EQ(RunCli({"uninstall", "--game", (dir / "game").string()}).exitCode, 0);
  EXPECT_EQ(Conflicts().exitCode, 0);
}

TEST_F(CliConflicts, AWholeFileAfterCellChangesWinsOverThem) {
  Mod("cells", "[2DAList]\nT0=spells.2da\n[spells.2da]\nChangeRow0=c\n[c]\nRowIndex=0\ncost=9\n");
  Mod("whole", "[InstallList]\nf=override\n[f]\nReplace0=spells.2da\n");
  dir.Write("whole/veypatchdata/spells.2da", TwoDA({"label", "name", "cost"}, {{"fire", "1", "1"}}));
  ASSERT_EQ(Install("cells").exitCode, 0);
  ASSERT_EQ(Install("whole").exitCode, 0);
  CliResult found = Conflicts();
  EXPECT_EQ(found.exitCode, 1);
  EXPECT_NE(found.out.find("override/spells.2da (the whole file)\n    wrote:   cells"), std::string::npos) << found.out;
  EXPECT_NE(found.out.find("    wins:    whole"), std::string::npos) << found.out;
}

TEST_F(CliConflicts, RunsWithoutRecordAndDamagedRecordsAreNamed) {
  Mod("first", EveryKind("first"));
  Mod("again", EveryKind("again"));
  ASSERT_EQ(Install("first").exitCode, 0);
  ASSERT_EQ(Install("again").exitCode, 1);  // its same.txt is there already
  std::vector<fs::path> runs;
  for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/runs")) runs.push_back(e.path());
  std::sort(runs.begin(), runs.end());
  ASSERT_EQ(runs.size(), 2u);
  fs::remove(runs[0] / "places.txt");
  std::ofstream(runs[1] / "places.txt", std::ios::app) << "file\t../../home/.bashrc\n";
  CliResult found = Conflicts({"--json", "-"});
  EXPECT_EQ(found.exitCode, 0) << found.out << found.err;
  EXPECT_NE(found.err.find("are not compared:\n  " + runs[0].filename().string()), std::string::npos) << found.err;
  EXPECT_NE(found.err.find("Damaged record, left out: " + runs[1].filename().string() +
                           ": places.txt line "),
            std::string::npos)
      << found.err;
  const auto doc = nlohmann::json::parse(found.out);
  EXPECT_EQ(doc["unrecorded"], nlohmann::json::array({runs[0].filename().string()}));
  EXPECT_EQ(doc["problems"].size(), 1u);
}

// Only finished runs are compared: a run cut short is put back by the next
// install. A record that is a link is refused and named, not followed.
TEST_F(CliConflicts, UnfinishedRunsAndLinkedRecordsAreLeftOut) {
  Mod("first", EveryKind("first"));
  Mod("again", EveryKind("again"));
  Mod("third", "[InstallList]\nf=override\n[f]\nFile0=third.txt\n");
  ASSERT_EQ(Install("first").exitCode, 0);
  ASSERT_EQ(Install("again").exitCode, 1);
  ASSERT_EQ(Install("third").exitCode, 0);
  std::vector<fs::path> runs;
  for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/runs")) runs.push_back(e.path());
  std::sort(runs.begin(), runs.end());
  ASSERT_EQ(runs.size(), 3u);
  fs::remove(runs[2] / "places.txt");
  fs::create_symlink(runs[0] / "places.txt", runs[2] / "places.txt");
  const auto doc = nlohmann::json::parse(Conflicts({"--json", "-"}).out);
  EXPECT_EQ(doc["unrecorded"], nlohmann::json::array({runs[2].filename().string()}));
  ASSERT_EQ(doc["problems"].size(), 1u);
  EXPECT_NE(doc["problems"][0].get<std::string>().find(runs[2].filename().string() + ": places.txt"),
            std::string::npos);
  EXPECT_EQ(doc["conflicts"].size(), 2u) << doc.dump(2);

  // The second run, marked as still running, no longer counts.
  const std::string record = dir.Read((runs[1].lexically_relative(dir.Path()) / "run.txt").string());
  const std::size_t at = record.find("state=finished");
  ASSERT_NE(at, std::string::npos) << record;
  dir.Write((runs[1].lexically_relative(dir.Path()) / "run.txt").string(), record.substr(0, at) + "state=running" +
                                                                    record.substr(at + 14));
  CliResult after = Conflicts({"--json", "-"});
  EXPECT_EQ(nlohmann::json::parse(after.out)["conflicts"].size(), 0u) << after.out;
}

}  // namespace
}  // namespace vey::test
