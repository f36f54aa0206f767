// Behaviours of lists and of the command line that nothing else holds in
// place: when an entry runs again, what a failed copy leaves, which list
// errors name their line, and what refusals exit with.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test::listpins {
namespace {
namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Copying(const std::string& file) {
  return "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=" + file + "\n";
}

class ListPins : public ::testing::Test {
 protected:
  ListPins() { dir.Write("game/dialog.tlk", "TLK "); }
  void Mod(const std::string& folder, const std::string& file) {
    dir.Write(folder + "/veypatchdata/" + file, folder);
    dir.Write(folder + "/veypatchdata/changes.ini", Copying(file));
  }
  void List(const std::string& text) { dir.Write("list.toml", text); }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args) {
      if (a == "GAME") a = (dir / "game").string();
      if (a == "LIST") a = (dir / "list.toml").string();
    }
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  CliResult Install(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"modlist", "install", "LIST", "--game", "GAME", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  std::vector<std::string> Status() { return Lines(Run({"modlist", "status", "LIST", "--game", "GAME"}).out); }
  std::size_t Runs() { return Lines(Run({"history", "--game", "GAME"}).out).size() - 1; }
  TempDir dir;
};

// An entry runs again only as a new version put in its old one's place,
// and only once: the next install skips it, whichever folder of an archive
// the list chose.
TEST_F(ListPins, AnEntryRunsAgainOnlyWhenItsModChangedAndThenOnce) {
  Mod("a", "a.txt");
  List("[[mod]]\nname = \"A\"\nsource = \"a\"\n");
  ASSERT_EQ(Install().exitCode, 0);
  dir.Write("a/veypatchdata/a.txt", "new a");
  ASSERT_EQ(Install({"--update"}).exitCode, 0);
  EXPECT_EQ(dir.Read("game/override/a.txt"), "new a");
  CliResult again = Install();
  EXPECT_TRUE(Has(again.out, "1/1 A: already installed (run ")) << again.out;
  EXPECT_TRUE(Has(again.out, "already installed\n")) << again.out;  // the closing table
  EXPECT_EQ(Status(), std::vector<std::string>{"A: installed"});
  EXPECT_EQ(Runs(), 1u);

  if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) GTEST_SKIP() << "bsdtar is not installed";
  Mod("pack/One", "one.txt");
  Mod("pack/Two", "two.txt");
  ASSERT_EQ(std::system(("cd '" + (dir / "pack").string() + "' && bsdtar --format zip -cf ../pack.zip .").c_str()), 0);
  List("[[mod]]\nname = \"P\"\nsource = \"pack.zip\"\nin = \"One\"\n");
  ASSERT_EQ(Install().exitCode, 0);
  List("[[mod]]\nname = \"P\"\nsource = \"pack.zip\"\nin = \"Two\"\n");
  EXPECT_EQ(Status(), std::vector<std::string>{"P: installed from a different source"});
  CliResult other = Install({"--update", "P"});
  EXPECT_EQ(other.exitCode, 0) << other.out;
  EXPECT_EQ(dir.Read("game/override/two.txt"), "pack/Two");
  EXPECT_FALSE(fs::exists(dir / "game/override/one.txt"));
}

// A copy cut short by a file it cannot write takes back what it wrote and
// says how much; the game is as before, byte for byte.
TEST_F(ListPins, ACopyThatFailsPartWayLeavesTheGameAsItWas) {
  Mod("a", "a.txt");
  dir.Write("game/override/1.tga", "old one");
  fs::create_directories(dir / "game/override/3.tga");  // a folder where the copy puts a file
  dir.Write("tex/0.tga", "zero");
  dir.Write("tex/1.tga", "new one");
  dir.Write("tex/2.tga", "two");
  dir.Write("tex/3.tga", "three");
  List("[[mod]]\nname = \"A\"\nsource = \"a\"\n[[mod]]\nname = \"T\"\nsource = \"tex\"\n"
       "copy = { from = \".\", to = \"override\" }\n");
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_TRUE(Has(r.out, "Rolled back: 1 file put back and 2 new files and folders removed.")) << r.out;
  EXPECT_EQ(dir.Read("game/override/1.tga"), "old one");
  EXPECT_FALSE(fs::exists(dir / "game/override/0.tga"));
  EXPECT_FALSE(fs::exists(dir / "game/override/2.tga"));
  EXPECT_TRUE(fs::is_directory(dir / "game/override/3.tga"));
}

TEST_F(ListPins, ListErrorsAndUnusableSourcesAreNamed) {
  const std::string climbing = "[[mod]]\nname = \"C\"\nsource = \"tex\"\ncopy = { from = \".\", to = \"../x\" }\n";
  dir.Write("tex/t.tga", "t");
  List(climbing);
  for (std::vector<std::string> args : {std::vector<std::string>{"modlist", "check", "LIST"},
                                        std::vector<std::string>{"modlist", "check", "LIST", "--game", "GAME"}}) {
    CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(Has(r.out, "list.toml:4: \"to\" must be a folder inside its root")) << r.out;
  }
  EXPECT_EQ(Install().exitCode, 64);
  EXPECT_FALSE(fs::exists(dir / "x"));

  // Every format error at once, each with its line.
  List("[[mod]]\nname = \"A\"\nsorce = \"a\"\n[[mod]]\nname = \"B\"\nsource = \"b\"\ntype = 3\n");
  CliResult all = Run({"modlist", "check", "LIST"});
  EXPECT_TRUE(Has(all.out, "list.toml:3: unknown key \"sorce\"")) << all.out;
  EXPECT_TRUE(Has(all.out, "list.toml:7: \"type\" must be a string")) << all.out;

  dir.Write("empty.zip", "");
  List("[[mod]]\nname = \"E\"\nsource = \"empty.zip\"\n");
  CliResult empty = Run({"modlist", "check", "LIST"});
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_TRUE(Has(empty.out, "E: error: the source \"empty.zip\" is neither a folder nor an archive")) << empty.out;

  // A result that cannot be written is said before the list starts.
  Mod("a", "a.txt");
  List("[[mod]]\nname = \"A\"\nsource = \"a\"\n");
  const std::string nowhere = (dir / "missing/r.json").string();
  for (const char* command : {"check", "install"}) {
    std::vector<std::string> args{"modlist", command, "LIST", "--game", "GAME", "--json", nowhere};
    if (std::string(command) == "install") args.push_back("--yes");
    CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(Has(r.out, "--json: cannot write the result file")) << r.out;
    EXPECT_FALSE(Has(r.out, "Checking")) << r.out;
  }
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
}

// What a list keeps for people is never refused as an unknown key, and is
// shown by status and given in the result.
TEST_F(ListPins, VersionUrlAndNotesAreKeptAndShown) {
  Mod("a", "a.txt");
  List("[[mod]]\nname = \"A\"\nsource = \"a\"\nversion = \"1.2\"\nurl = \"https://example.org/a\"\n"
       "notes = \"Install before B.\"\n");
  CliResult check = Run({"modlist", "check", "LIST", "--json", "-"});
  EXPECT_EQ(check.exitCode, 0) << check.err;
  EXPECT_TRUE(Has(check.out, "\"url\": \"https://example.org/a\",\n      \"version\": \"1.2\",\n      \"notes\": "
                             "\"Install before B.\"")) << check.out;
  EXPECT_EQ(Status(), (std::vector<std::string>{"A: not installed", "  version 1.2, https://example.org/a",
                                                "  Install before B."}));
}

// A mod that ships files under the names the installer keeps for its own
// would have them taken for the installer's: refused whenever it is checked,
// from a list or on its own.
TEST_F(ListPins, AModShippingTheInstallersOwnNamesIsRefused) {
  if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) GTEST_SKIP() << "bsdtar is not installed";
  for (const char* own : {"backup/spells.2da", "InstallLog.rtf", "veypatchdata/debug/k.nss",
                          "veypatchdata/nsspatch_temp/k.nss"}) {
    SCOPED_TRACE(own);
    TempDir place;
    place.Write("m/veypatchdata/changes.ini", Copying("a.txt"));
    place.Write("m/veypatchdata/a.txt", "a");
    place.Write(std::string("m/") + own, "shipped");
    ASSERT_EQ(std::system(("cd '" + (place / "m").string() + "' && bsdtar --format zip -cf ../m.zip .").c_str()), 0);
    place.Write("list.toml", "[[mod]]\nname = \"M\"\nsource = \"m.zip\"\n");
    const std::vector<std::string> env{"XDG_CACHE_HOME=" + (place / "cache").string()};
    for (int time = 0; time < 2; ++time) {
      CliResult check = RunCli({"modlist", "check", (place / "list.toml").string()}, env);
      EXPECT_EQ(check.exitCode, 2) << check.out;
      EXPECT_TRUE(Has(check.out, "M: error: the mod ships files under names the installer keeps for its own"))
          << check.out;
    }
    CliResult alone = RunCli({"install", "--mod", (place / "m.zip").string(), "--game", (dir / "game").string(),
                              "--yes"}, env);
    EXPECT_EQ(alone.exitCode, 4) << alone.err;
    EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
  }
}

// An entry the journal refuses (its backup folder is a link) fails; with
// --keep-going the list goes on and ends with exit 2.
TEST_F(ListPins, KeepGoingPastARefusedEntryExitsTwo) {
  Mod("a", "a.txt");
  Mod("b", "b.txt");
  Mod("c", "c.txt");
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "b/backup");
  List("[[mod]]\nname = \"A\"\nsource = \"a\"\n[[mod]]\nname = \"B\"\nsource = \"b\"\n"
       "[[mod]]\nname = \"C\"\nsource = \"c\"\n");
  CliResult r = Install({"--keep-going"});
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_EQ(dir.Read("game/override/c.txt"), "c");
  EXPECT_FALSE(fs::exists(dir / "game/override/b.txt"));
}

TEST_F(ListPins, CommandLineRefusalsAndVerifysResult) {
  Mod("a", "a.txt");
  CliResult in = Run({"install", "--mod", (dir / "a").string(), "--in", "X", "--game", "GAME", "--yes"});
  EXPECT_EQ(in.exitCode, 64) << in.out << in.err;
  EXPECT_FALSE(fs::exists(dir / "game/override"));

  ASSERT_EQ(Run({"install", "--mod", (dir / "a").string(), "--game", "GAME", "--yes"}).exitCode, 0);
  // A run cut short by a kill, as the journal keeps it.
  const fs::path runs = dir / "game/.veypatcher/runs";
  const fs::path finished = fs::directory_iterator(runs)->path();
  const fs::path unfinished = runs / (finished.filename().string() + "-cut");
  fs::copy(finished, unfinished, fs::copy_options::recursive);
  fs::remove(unfinished / "files.txt");
  std::string header = dir.Read(fs::relative(unfinished / "run.txt", dir.Path()).string());
  header.replace(header.find("state=finished"), 14, "state=running");
  dir.Write(fs::relative(unfinished / "run.txt", dir.Path()).string(), header);
  dir.Write("game/override/a.txt", "changed by hand");
  CliResult verify = Run({"verify", "--game", "GAME", "--json", "-"});
  EXPECT_EQ(verify.exitCode, 1) << verify.out;
  EXPECT_TRUE(Has(verify.out, "\"unfinishedRuns\": [\n    \"" + unfinished.filename().string() + "\"")) << verify.out;
}

// After a reset no file is the undone runs': the report credits a file the
// person put back by hand to nobody.
TEST_F(ListPins, TheReportNeverCreditsAnUndoneRun) {
  dir.Write("tex/skin.tga", "t");
  List("[[mod]]\nname = \"Skins\"\nsource = \"tex\"\ncopy = { from = \".\", to = \"override\" }\n");
  ASSERT_EQ(Install().exitCode, 0);
  ASSERT_EQ(Run({"reset", "--game", "GAME", "--yes"}).exitCode, 0);
  dir.Write("game/override/skin.tga", "by hand");
  dir.Write("game/override/skin.dds", "by hand");
  CliResult report = Run({"report", "--game", "GAME"});
  EXPECT_TRUE(Has(report.out, "skin: skin.dds (not installed by VEYPatcher), skin.tga (not installed by VEYPatcher)"))
      << report.out;
  EXPECT_FALSE(Has(report.out, "(Skins)")) << report.out;
}

}  // namespace
}  // namespace vey::test::listpins
