// `veypatcher-cli validate`: the demo mod is clean; findings are printed one
// per line and as JSON; installation types are checked one or all at once;
// the exit status tells whether an error was found.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

TEST(ValidateCommand, DemoModHasNoFinding) {
  TempDir dir;
  const std::string command = "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + (dir / "demo").string() +
                              "\" > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  CliResult r = RunCli({"validate", "--mod", (dir / "demo" / "mod").string()});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "No findings.\n");
}

TEST(ValidateCommand, PrintsFindingsAsLinesAndJsonAndFailsOnErrors) {
  TempDir dir;
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nColour=red\n[2DAList]\nTable0=arm\xE9" "e.2da\n");
  const std::string json = (dir / "findings.json").string();
  CliResult r = RunCli({"validate", "--mod", (dir / "mod").string(), "--json", json});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "changes.ini:3: warning: [Settings] Colour: The installer reads no setting \"Colour\".",
                              "changes.ini:5: error: [2DAList] Table0: The section [arm\xC3\xA9" "e.2da] named here "
                              "does not exist (or has no keys); this entry does nothing.",
                              "1 error, 1 warning."}));
  const std::string written = dir.Read("findings.json");
  EXPECT_NE(written.find("{\"severity\":\"error\",\"file\":\"changes.ini\",\"namespace\":\"\",\"section\":\"2DAList\","
                         "\"key\":\"Table0\",\"line\":5,"),
            std::string::npos)
      << written;
  EXPECT_NE(written.find("\"errors\":1,\"warnings\":1}"), std::string::npos) << written;

  // JSON alone on standard output; the data folder itself names the mod too.
  CliResult alone = RunCli({"validate", "--mod", (dir / "mod" / "veypatchdata").string(), "--json", "-"});
  EXPECT_EQ(alone.exitCode, 1) << alone.err;
  EXPECT_TRUE(alone.out.starts_with("{\"findings\":[")) << alone.out;
  EXPECT_TRUE(alone.out.ends_with("\"errors\":1,\"warnings\":1}\n")) << alone.out;

  // Warnings alone do not fail the check.
  dir.Write("mod/veypatchdata/changes.ini", "[Settings]\nFileExists=1\nColour=red\n");
  EXPECT_EQ(RunCli({"validate", "--mod", (dir / "mod").string()}).exitCode, 0);
}

TEST(ValidateCommand, ChecksOneInstallationTypeOrAll) {
  TempDir dir;
  dir.Write("mod/veypatchdata/namespaces.ini",
            "[Namespaces]\nfull=full\nlite=lite\n[full]\nDataPath=full\n[lite]\nDataPath=lite\n");
  dir.Write("mod/veypatchdata/full/changes.ini", "[Settings]\nFileExists=1\n");
  dir.Write("mod/veypatchdata/full/info.rtf", "{}");
  dir.Write("mod/veypatchdata/lite/changes.ini", "[Settings]\nFileExists=1\n[SSFList]\nF=v.ssf\n");
  dir.Write("mod/veypatchdata/lite/info.rtf", "{}");
  const std::string mod = (dir / "mod").string();

  CliResult full = RunCli({"validate", "--mod", mod, "--namespace", "full"});
  EXPECT_EQ(full.exitCode, 0) << full.out << full.err;

  for (const std::vector<std::string>& args : {std::vector<std::string>{"validate", "--mod", mod, "--all"},
                                               std::vector<std::string>{"validate", "--mod", mod}}) {
    CliResult all = RunCli(args);
    EXPECT_EQ(all.exitCode, 1) << all.out << all.err;
    EXPECT_NE(all.out.find("lite/changes.ini:4: error: [SSFList] F: The section [v.ssf]"), std::string::npos)
        << all.out;
  }
  EXPECT_EQ(RunCli({"validate", "--mod", mod, "--all", "--namespace", "full"}).exitCode, 64);
}

}  // namespace
}  // namespace vey::test

namespace vey::test {
namespace {

// A compile list needs the compiler in the mod's "veypatchdata" folder and the
// game's script definitions in its data folder: a missing compiler is named
// with the folder it was looked for in (a mod from an archive or a list has
// no installer beside it), missing definitions with their file.
TEST(ValidateCommand, CompileListNamesTheFolderOfTheCompilerAndTheDefinitions) {
  const struct {
    bool compiler, definitions;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.compiler) + std::to_string(c.definitions));
    TempDir dir;
    const std::string data = "Mod caf\xC3\xA9/veypatchdata/";
    dir.Write(data + "changes.ini", "[Settings]\nFileExists=1\n[CompileList]\nS0=a.nss\n");
    dir.Write(data + "a.nss", "void main() {}\n");
    if (c.compiler) dir.Write(data + "nwnnsscomp.exe", "MZ");
    if (c.definitions) dir.Write(data + "nwscript.nss", "int GetIsPC(object oCreature);\n");
    CliResult r = RunCli({"validate", "--mod", (dir / "Mod caf\xC3\xA9").string()});
    EXPECT_EQ(r.exitCode, c.compiler ? 0 : 1) << r.out << r.err;
    const std::string compiler = "changes.ini:3: error: [CompileList] The script compiler nwnnsscomp.exe is not in \"" +
                                 (dir / data).string().substr(0, (dir / data).string().size() - 1) +
                                 "\", the mod's \"veypatchdata\" folder, where it was looked for; no script is compiled.";
    EXPECT_EQ(HasLine(r.out, compiler), !c.compiler) << r.out;
    const std::string definitions =
        "changes.ini:3: warning: [CompileList] The data folder holds no nwscript.nss, which the script compiler "
        "needs; the scripts will likely fail to compile.";
    EXPECT_EQ(HasLine(r.out, definitions), !c.definitions) << r.out;
  }
}

}  // namespace
}  // namespace vey::test
