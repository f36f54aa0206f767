// install's result tells what happened: a dry run of an installed mod is
// refused like the real run, an unwritable --json is refused before any
// change, a rolled-back run lists nothing as applied, refusals count their
// Error line, usage errors get a result; and talk-table replacements reach
// the result, the summary and uninstall.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class InstallResultTruth : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Fire", "Frost"}));
    dir.Write("game/dialogf.tlk", TalkTable(std::vector<std::string>{"", "Feu", "Givre"}));
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 x}");
    dir.Write("mod/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{"Blaze", "Ice"}));
    dir.Write("mod/veypatchdata/appendf.tlk", TalkTable(std::vector<std::string>{"Brasier", "Glace"}));
    dir.Write("mod/veypatchdata/new.txt", "new");
    Instructions("");
  }
  void Instructions(std::string_view extra) {
    dir.Write("mod/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\nConfirmMessage=N/A\n"
              "[TLKList]\nStrRef0=0\nReplace0=append.tlk\n[append.tlk]\n2=1\n"
              "[InstallList]\nf=override\n[f]\nFile0=new.txt\n" +
                  std::string(extra));
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
      else if (a == "MOD") a = (dir / "mod").string();
    return RunCli(args);
  }
  CliResult Install(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"install", "--mod", "MOD", "--game", "GAME", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  static void FollowsSchema(const std::string& document, const TempDir& scratch) {
    const fs::path file = scratch.Write("result.json", document);
    const fs::path schema = fs::path(VEY_SOURCE_DIR) / "docs/install-result.schema.json";
    const std::string check =
        "python3 -c 'import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[2])), "
        "json.load(open(sys.argv[1])), cls=jsonschema.Draft202012Validator)' '" +
        schema.string() + "' '" + file.string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << document;
  }
  TempDir dir;
  TempDir scratch;
};

TEST_F(InstallResultTruth, ReplacementsInBothTablesAreListedSummarisedAndUndone) {
  const std::string talk = dir.Read("game/dialog.tlk"), talkF = dir.Read("game/dialogf.tlk");
  CliResult run = Install({"--json", "-"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(TalkTexts(ToBytes(dir.Read("game/dialog.tlk"))),
            (std::vector<std::string>{"", "Fire", "Ice", "Blaze", "Ice"}));
  // appendf.tlk is also the second table's append file: appended first, then replaced from.
  EXPECT_EQ(TalkTexts(ToBytes(dir.Read("game/dialogf.tlk"))),
            (std::vector<std::string>{"", "Feu", "Glace", "Brasier", "Glace"}));
  const json doc = json::parse(run.out);
  FollowsSchema(run.out, scratch);
  EXPECT_EQ(doc["talkTables"], json::parse(R"([
      {"table":"dialog.tlk","appended":[{"source":0,"strRef":3},{"source":1,"strRef":4}],
       "replaced":[{"strRef":2,"file":"append.tlk","source":1}]},
      {"table":"dialogf.tlk","appended":[{"source":0,"strRef":3},{"source":1,"strRef":4}],
       "replaced":[{"strRef":2,"file":"appendf.tlk","source":1}]}])"));
  EXPECT_TRUE(doc["rollback"].is_null());

  CliResult summary = Run({"summary", "--mod", "MOD"});
  EXPECT_NE(summary.out.find("New entries: 1\n"), std::string::npos) << summary.out;
  EXPECT_NE(summary.out.find("Replaced entries: 1 (from append.tlk)"), std::string::npos) << summary.out;

  ASSERT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);
  EXPECT_EQ(dir.Read("game/dialog.tlk"), talk);
  EXPECT_EQ(dir.Read("game/dialogf.tlk"), talkF);
}

TEST_F(InstallResultTruth, DryRunOfAnInstalledModIsRefusedLikeTheRealRun) {
  ASSERT_EQ(Install().exitCode, 0);
  CliResult real = Install({"--json", (scratch / "real.json").string()});
  CliResult dry = Install({"--dry-run", "--json", (scratch / "dry.json").string()});
  EXPECT_EQ(real.exitCode, 4);
  EXPECT_EQ(dry.exitCode, 4) << dry.out;
  EXPECT_EQ(dry.out.find("would change"), std::string::npos);
  const json r = json::parse(scratch.Read("real.json")), d = json::parse(scratch.Read("dry.json"));
  EXPECT_EQ(d["failure"], r["failure"]);
  EXPECT_NE(dry.out.find("already installed into this game"), std::string::npos) << dry.out;
  // The Error line that says why is counted.
  for (const json* j : {&r, &d}) {
    EXPECT_EQ((*j)["verdict"], "not-run");
    EXPECT_EQ((*j)["counts"]["errors"], 1);
    EXPECT_EQ((*j)["log"].back()["kind"], "error");
  }
  // Asked to install again, the dry run goes on as the real run then does.
  const int dryAgain = Install({"--dry-run", "--reinstall"}).exitCode;
  EXPECT_NE(dryAgain, 4);
  EXPECT_EQ(dryAgain, Install({"--reinstall"}).exitCode);
}

TEST_F(InstallResultTruth, UnwritableResultFileIsRefusedBeforeAnyChange) {
  const std::string talk = dir.Read("game/dialog.tlk");
  CliResult run = Install({"--json", (scratch / "no such folder/result.json").string()});
  EXPECT_EQ(run.exitCode, 64);
  EXPECT_NE(run.err.find("--json"), std::string::npos) << run.err;
  EXPECT_EQ(dir.Read("game/dialog.tlk"), talk);
  EXPECT_FALSE(fs::exists(dir / "game/override/new.txt"));
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher"));
  EXPECT_EQ(Install({"--json", scratch.Path().string()}).exitCode, 64);  // a folder
}

TEST_F(InstallResultTruth, RolledBackRunListsNothingAsAppliedAndCarriesTheRollback) {
  // The table is damaged: the run ends after the talk tables and the file were changed.
  dir.Write("game/override/spells.2da", "2DA V2.b\nbroken");
  Instructions("[2DAList]\nT=spells.2da\n[spells.2da]\nChangeRow0=c\n[c]\nRowIndex=0\nlabel=x\n");
  const std::string talk = dir.Read("game/dialog.tlk");
  CliResult run = Install({"--json", "-"});
  EXPECT_EQ(run.exitCode, 3) << run.err;
  FollowsSchema(run.out, scratch);
  const json doc = json::parse(run.out);
  EXPECT_EQ(dir.Read("game/dialog.tlk"), talk);
  EXPECT_EQ(doc["verdict"], "failed");
  EXPECT_TRUE(doc["talkTables"].empty());
  EXPECT_TRUE(doc["files"].empty()) << doc["files"];
  EXPECT_EQ(doc["counts"]["filesChanged"], 0);
  EXPECT_EQ(doc["rollback"]["complete"], true);
  EXPECT_EQ(doc["rollback"]["restored"], 2);  // both talk tables
  EXPECT_EQ(doc["rollback"]["removed"], 1);   // the new file
}

TEST_F(InstallResultTruth, UsageErrorsWriteAResultWithTheirVerdict) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"install", "--mod", "MOD", "--json", "-", "--log-level", "9"},
        std::vector<std::string>{"install", "--mod", "/nonexistent", "--json", "-"},
        std::vector<std::string>{"install", "--mod", "MOD", "--game", "/nonexistent", "--json=-", "--dry-run"}}) {
    SCOPED_TRACE(args[3]);
    CliResult run = Run(args);
    EXPECT_EQ(run.exitCode, 64);
    ASSERT_FALSE(run.out.empty()) << run.err;
    FollowsSchema(run.out, scratch);
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["verdict"], "usage");
    EXPECT_EQ(doc["exitCode"], 64);
    EXPECT_TRUE(doc["failure"].is_string());
    EXPECT_TRUE(doc["modFolder"].is_null());
  }
}

}  // namespace
}  // namespace vey::test
