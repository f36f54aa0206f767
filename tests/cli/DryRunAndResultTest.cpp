// install --dry-run and install --json: a dry run leaves the game and mod
// folders byte for byte as they were and reports what a real run then does;
// the JSON result follows its published schema and lists what changed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "cli/InstallResult.h"
#include "support/SmallArchive.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::string_view kCompiler = R"SH(#!/bin/sh
while [ $# -gt 0 ]; do
  case "$1" in
    -c) src=$2; shift ;;
    -o) out=$2; shift ;;
  esac
  shift
done
echo "compiling $src into $out"
if grep -q '#StrRef' "$src"; then exit 1; fi
if grep -q 'broken' "$src"; then echo "$src(1): syntax error"; exit 1; fi
{ printf 'NCS '; cat "$src"; } > "$out"
)SH";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry below root: its kind, mode and, for files, content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::string item = std::to_string(st.st_mode);
    if (e.is_regular_file()) item += ":" + ReadText(e.path());
    tree[e.path().lexically_relative(root).string()] = item;
  }
  return tree;
}

class DryRun : public ::testing::Test {
 protected:
  DryRun() {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Fire"}));
    dir.Write("game/override/appearance.2da", TwoDA({"label"}, {{"Human"}}));
    dir.Write("game/override/notes.txt", "game notes");
    ::chmod((dir / "game/override/notes.txt").c_str(), 0444);
    dir.Write("game/modules/town.mod", MakeArchive({{"guard", "utc", "old guard"}}));
    dir.Write("game/override/guard.utc", "loose guard");
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 A mod.}");
    // The person's own compiler: a mod may not ship a native one.
    dir.Write("person/compiler", kCompiler);
    ::chmod((dir / "person/compiler").c_str(), 0755);
    dir.Write("mod/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{"Fire", "Frost"}));
    dir.Write("mod/veypatchdata/notes.txt", "mod notes");
    dir.Write("mod/veypatchdata/new.txt", "new");
    dir.Write("mod/veypatchdata/guard.utc", "mod guard");
    dir.Write("mod/veypatchdata/k_main.nss", "void main() { int n = #StrRef1#; }\n");
    dir.Write("mod/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n"
              "[TLKList]\nStrRef0=0\nStrRef1=1\n"
              "[InstallList]\nto_override=override\nto_town=modules\\town.mod\n"
              "[to_override]\nFile0=new.txt\nReplace0=notes.txt\n"
              "[to_town]\nReplace0=guard.utc\n[guard.utc]\n!OverrideType=rename\n"
              "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\nAddRow0=elf\nAddColumn0=speed\n"
              "[elf]\nlabel=Elf\n[speed]\nColumnLabel=speed\nDefaultValue=1\n"
              "[CompileList]\nScript0=k_main.nss\n");
  }
  CliResult Install(std::vector<std::string> extra) {
    std::vector<std::string> args{"install", "--mod", (dir / "mod").string(), "--game",
                                  (dir / "game").string(), "--yes", "--compiler", (dir / "person/compiler").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  }
  static json Load(const fs::path& path) { return json::parse(ReadText(path)); }
  // The log of a run, but for its start time and the journal a real run keeps.
  static std::vector<std::string> LogLines(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& l : Lines(out))
      if (l.rfind(" [", 0) == 0 && l.find("started") == std::string::npos &&
          l.find("Recording the changes of this run") == std::string::npos)
        lines.push_back(l);
    return lines;
  }

  // A dry run and then the real run of the mod with more instructions: the
  // same log, exit code, verdict and counts.
  void ExpectDryRunForesees(std::string_view moreInstructions, int exitCode, std::string_view verdict) {
    const fs::path ini = dir / "mod/veypatchdata/changes.ini";
    dir.Write("mod/veypatchdata/changes.ini", ReadText(ini) + std::string(moreInstructions));
    CliResult dry = Install({"--dry-run", "--json", (elsewhere / "dry.json").string()});
    CliResult real = Install({"--json", (elsewhere / "real.json").string()});
    EXPECT_EQ(dry.exitCode, exitCode) << dry.out << dry.err;
    EXPECT_EQ(real.exitCode, exitCode) << real.out << real.err;
    EXPECT_EQ(LogLines(dry.out), LogLines(real.out));
    json d = Load(elsewhere / "dry.json"), r = Load(elsewhere / "real.json");
    EXPECT_EQ(d["verdict"], std::string(verdict));
    EXPECT_EQ(r["verdict"], std::string(verdict));
    EXPECT_EQ(d["exitCode"], exitCode);
    for (const char* count : {"warnings", "errors", "filesChanged"}) EXPECT_EQ(d["counts"][count], r["counts"][count]) << count;
    EXPECT_EQ(d["files"], r["files"]);
    EXPECT_GE(d["counts"][verdict == "errors" ? "errors" : "warnings"].get<int>(), 1);
  }

  TempDir dir;
  TempDir elsewhere;
};

TEST_F(DryRun, LeavesNoTraceAndForeseesTheRealRun) {
  const auto before = Snapshot(dir.Path());
  CliResult dry = Install({"--dry-run", "--json", (elsewhere / "dry.json").string()});
  ASSERT_EQ(dry.exitCode, 0) << dry.out << dry.err;
  // Game and mod folders byte for byte, modes included: no backup folder,
  // no log beside the installer, no work folders.
  EXPECT_EQ(Snapshot(dir.Path()), before);
  EXPECT_NE(dry.out.find("Dry run: nothing was written. The run would change 8 files"), std::string::npos)
      << dry.out;
  EXPECT_NE(dry.out.find("  modified  override/notes.txt"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("  created   override/old_guard.utc"), std::string::npos) << dry.out;

  CliResult real = Install({"--json", (elsewhere / "real.json").string()});
  ASSERT_EQ(real.exitCode, 0) << real.out << real.err;
  EXPECT_EQ(LogLines(dry.out), LogLines(real.out));
  json d = Load(elsewhere / "dry.json"), r = Load(elsewhere / "real.json");
  EXPECT_TRUE(d["dryRun"].get<bool>());
  EXPECT_FALSE(r["dryRun"].get<bool>());
  // The same files with the same bytes afterwards, and the same changes
  // inside them.
  for (const char* field : {"files", "archives", "tables", "talkTables", "verdict"})
    EXPECT_EQ(d[field], r[field]) << field;
  for (const char* count : {"warnings", "errors", "filesChanged"})
    EXPECT_EQ(d["counts"][count], r["counts"][count]) << count;
  // The real run kept the read-only file read-only, as the dry run foresaw.
  struct stat st {};
  ::stat((dir / "game/override/notes.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(DryRun, ScriptThatFailsToCompileIsForeseenAsAnError) {
  dir.Write("mod/veypatchdata/k_broken.nss", "void main() { broken }\n");
  ExpectDryRunForesees("Script1=k_broken.nss\n", 2, "errors");
  // The compiler's own words reach both logs.
  EXPECT_NE(ReadText(elsewhere / "dry.json").find("k_broken.nss(1): syntax error"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "game/override/k_broken.ncs"));
}

TEST_F(DryRun, RunEndingWithWarningsIsForeseenWithItsVerdict) {
  // A patch list naming a file without any offsets is skipped with a warning.
  ExpectDryRunForesees("[HACKList]\nFile0=k_none.ncs\n", 1, "warnings");
}

TEST(DryRunChanges, SizesShownOnlyWhereTheyTellSomething) {
  using File = TRunReport::ChangedFile;
  const struct {
    File file;
    std::string line;
  } cases[] = {
      {{"override/a.2da", {true, 10, "x"}, {true, 12, "y"}}, "  modified  override/a.2da  (10 -> 12 bytes)"},
      {{"override/b.2da", {true, 10, "x"}, {true, 10, "y"}}, "  modified  override/b.2da"},
      {{"override/c.2da", {true, 10, ""}, {true, 10, ""}}, "  modified  override/c.2da"},
      {{"override/d.2da", {false, 0, ""}, {true, 7, "y"}}, "  created   override/d.2da  (7 bytes)"},
      {{"override/g.2da", {false, 0, ""}, {true, 1, "y"}}, "  created   override/g.2da  (1 byte)"},
      {{"override/e.2da", {true, 7, "x"}, {false, 0, ""}}, "  removed   override/e.2da"},
      {{"override/f.2da", {true, 7, "x"}, {true, 7, "x"}}, "  rewritten override/f.2da"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    cli::PrintChanges(out, {c.file});
    EXPECT_EQ(out.str(), "Dry run: nothing was written. The run would change 1 file of the game folder:\n" +
                             c.line + "\n");
  }
}

TEST_F(DryRun, ResultFollowsItsSchemaAndListsTheChanges) {
  CliResult run = Install({"--json", "-"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Standard output is the document alone; the log went to standard error.
  json doc = json::parse(run.out);
  EXPECT_NE(run.err.find("Done. All changes have been applied."), std::string::npos);
  const fs::path file = elsewhere.Write("result.json", run.out);
  const fs::path schema = fs::path(VEY_SOURCE_DIR) / "docs/install-result.schema.json";
  const std::string check =
      "python3 -c 'import json,sys,jsonschema; s=json.load(open(sys.argv[1])); "
      "jsonschema.Draft202012Validator.check_schema(s); "
      "jsonschema.validate(json.load(open(sys.argv[2])), s, cls=jsonschema.Draft202012Validator)' '" +
      schema.string() + "' '" + file.string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0) << "the result does not follow " << schema;

  EXPECT_EQ(doc["verdict"], "ok");
  EXPECT_EQ(doc["exitCode"], 0);
  EXPECT_EQ(doc["counts"]["filesChanged"], doc["files"].size());
  EXPECT_EQ(doc["counts"]["logLines"], doc["log"].size());
  std::map<std::string, json> files;
  for (const json& f : doc["files"]) files[f["path"]] = f;
  EXPECT_EQ(files["override/new.txt"]["what"], "created");
  EXPECT_TRUE(files["override/new.txt"]["before"].is_null());
  EXPECT_EQ(files["override/notes.txt"]["what"], "modified");
  EXPECT_EQ(files["override/notes.txt"]["before"]["size"], 10);
  EXPECT_EQ(files["override/notes.txt"]["after"]["sha256"],
            "25cbda1b727c288c5846d6a5f8efe1688455cfa8a0d50ce7f7043a4b003d6533");
  EXPECT_EQ(files["override/guard.utc"]["what"], "removed");
  EXPECT_TRUE(files["override/guard.utc"]["after"].is_null());
  EXPECT_EQ(files.count("override/k_main.ncs"), 1u);

  EXPECT_EQ(doc["archives"], json::parse(R"([{"archive":"modules/town.mod","added":[],"replaced":["guard.utc"]}])"));
  EXPECT_EQ(doc["tables"], json::parse(R"([{"table":"override/appearance.2da",
      "rowsAdded":[{"index":1,"label":"1"}],"columnsAdded":["speed"]}])"));
  // "Fire" is there already; only "Frost" is appended, as entry 2.
  EXPECT_EQ(doc["talkTables"],
            json::parse(R"([{"table":"dialog.tlk","appended":[{"source":1,"strRef":2}],"replaced":[]}])"));
  EXPECT_EQ(doc["log"].back(), json::parse(R"({"kind":"status","text":"Done. All changes have been applied."})"));
}

TEST_F(DryRun, FailedAndRefusedRunsStillWriteTheirResult) {
  // A talk table that cannot be read ends the run.
  dir.Write("game/dialog.tlk", "not a talk table");
  const auto before = Snapshot(dir.Path());
  CliResult failed = Install({"--dry-run", "--json", (elsewhere / "failed.json").string()});
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(Snapshot(dir.Path()), before);
  json f = Load(elsewhere / "failed.json");
  EXPECT_EQ(f["verdict"], "failed");
  EXPECT_EQ(f["exitCode"], 3);
  EXPECT_TRUE(f["failure"].is_string());
  EXPECT_EQ(f["log"].back()["kind"], "error");

  dir.Write("mod/veypatchdata/changes.ini", "[Settings]\nFileExists=0\n");
  CliResult refused = Install({"--json", (elsewhere / "refused.json").string()});
  EXPECT_EQ(refused.exitCode, 4);
  json n = Load(elsewhere / "refused.json");
  EXPECT_EQ(n["verdict"], "not-run");
  EXPECT_TRUE(n["files"].empty());
}

}  // namespace
}  // namespace vey::test
