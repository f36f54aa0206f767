// Mod lists and mod archives through veypatcher-cli: the list file's errors,
// the check's findings, install, stop and resume, copy mods and letter case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliRun.h"
#include "common/Sha256.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {
namespace fs = std::filesystem;

bool HaveBsdtar() { return std::system("command -v bsdtar >/dev/null 2>&1") == 0; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every name below root, relative, sorted.
std::vector<std::string> FileNames(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) names.push_back(e.path().lexically_relative(root).string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string IniCopying(const std::string& file) {
  return "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[InstallList]\nf=override\n[f]\nFile0=" + file + "\n";
}

class ModList : public ::testing::Test {
 protected:
  ModList() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/keep.txt", "keep");
  }
  // An installer mod in folder src/NAME that copies NAME.txt into override.
  void InstallerMod(const std::string& name, const std::string& ini = {}) {
    dir.Write("src/" + name + "/veypatchdata/" + name + ".txt", name);
    dir.Write("src/" + name + "/veypatchdata/changes.ini", ini.empty() ? IniCopying(name + ".txt") : ini);
  }
  fs::path Zip(const std::string& name) {
    const fs::path archive = dir / (name + ".zip");
    const std::string command =
        "cd '" + (dir / "src" / name).string() + "' && bsdtar --format zip -cf '" + archive.string() + "' .";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return archive;
  }
  void List(const std::string& text) { dir.Write("list.toml", text); }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args) {
      if (a == "GAME") a = (dir / "game").string();
      if (a == "LIST") a = (dir / "list.toml").string();
    }
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  TempDir dir;
};

TEST_F(ModList, ListFileErrorsNameTheirLine) {
  InstallerMod("a");
  const std::string ok = "[[mod]]\nname = \"A\"\nsource = \"src/a\"\n";
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"name = \"x\"\nnmae = \"y\"\n", ":2: unknown key \"nmae\" in the list"},
      {ok + "sorce = \"x\"\n", ":4: unknown key \"sorce\" in [[mod]]"},
      {ok + "copy = { from = \"a\", too = \"b\" }\n", ":4: unknown key \"too\" in \"copy\""},
      {"[[mod]]\nname = \"A\"\n", ":1: the mod \"A\" has no \"source\""},
      {"[[mod]]\nsource = \"x\"\n", ":1: a [[mod]] without a \"name\""},
      {ok + "sha256 = \"abc\"\n", ":4: \"sha256\" must be 64 hexadecimal digits"},
      {ok + "sha256 = \"" + std::string(63, 'a') + "g\"\n", ":4: \"sha256\" must be 64 hexadecimal digits"},
      {ok + "sha256 = \"" + std::string(65, 'a') + "\"\n", ":4: \"sha256\" must be 64 hexadecimal digits"},
      {"[[mod]]\nname = \"\"\nsource = \"x\"\n", ":1: a [[mod]] without a \"name\""},
      {ok + "requires = \"B\"\n", ":4: \"requires\" must be a list of mod names"},
      {ok + "type = 3\n", ":4: \"type\" must be a string"},
      {ok + ok, ":4: a second mod named \"A\""},
      {ok + "copy = { from = \"../x\", to = \"override\" }\n", ":4: \"from\" must be a folder inside its root"},
      {ok + "copy = { from = \"x\" }\n", ":4: \"copy\" needs \"to\""},
      {ok + "type = \"t\"\ncopy = { to = \"override\" }\n", ":4: a \"copy\" mod has no installation \"type\""},
      {"[[mod]]\nname = \"A\"\nsource = \"unterminated\n", ":3:"},
      {"mod = 3\n", ":1: \"mod\" must be written as [[mod]] entries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    List(c.text);
    const CliResult check = Run({"modlist", "check", "LIST"});
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_TRUE(Contains(check.out, "list.toml" + c.message)) << check.out;
    const CliResult install = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
    EXPECT_EQ(install.exitCode, 64);
  }
}

TEST_F(ModList, CheckFindsEveryProblemAndChangesNothing) {
  InstallerMod("a");
  InstallerMod("b", "[Settings]\nFileExists=1\nInstallerMode=1\n[InstallList]\nf=override\n[f]\nFile0=missing.txt\n");
  InstallerMod("typed");
  dir.Write("src/typed/veypatchdata/namespaces.ini",
            "[Namespaces]\nNamespace1=one\n[one]\nIniName=changes.ini\nInfoName=info.rtf\nName=First way\n");
  dir.Write("src/manual/veypatchdata/changes.ini", "[Settings]\nFileExists=1\nInstallerMode=0\n");
  struct Case {
    std::string entries;
    std::string finding;  // empty: clean
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\n", "", 0},
      {"[[mod]]\nname = \"A\"\nsource = \"src/none\"\n", "A: error: the source \"src/none\" does not exist", 2},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\nrequires = [\"B\"]\n[[mod]]\nname = \"B\"\nsource = \"src/a\"\n",
       "A: error: it requires \"B\", which comes after it in the list", 2},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\nrequires = [\"Z\"]\n", "which the list does not hold", 2},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\nrequires = [\"A\"]\n",
       "A: error: it requires \"A\", which comes after it in the list", 2},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\nconflicts = [\"B\"]\n[[mod]]\nname = \"B\"\nsource = \"src/a\"\n",
       "A: error: it conflicts with \"B\", which the list also holds", 2},
      {"[[mod]]\nname = \"T\"\nsource = \"src/typed\"\n", "T: error: the mod offers several installation types", 2},
      {"[[mod]]\nname = \"T\"\nsource = \"src/typed\"\ntype = \"nope\"\n", "no installation type \"nope\"", 2},
      {"[[mod]]\nname = \"T\"\nsource = \"src/typed\"\ntype = \"First way\"\n", "", 0},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\ntype = \"x\"\n", "the mod offers no installation types", 2},
      {"[[mod]]\nname = \"B\"\nsource = \"src/b\"\n", "B: error: changes.ini", 2},
      {"[[mod]]\nname = \"M\"\nsource = \"src/manual\"\n", "patcher mode", 2},
      {"[[mod]]\nname = \"A\"\nsource = \"src/a\"\nsha256 = \"" + std::string(64, 'a') + "\"\n",
       "is a folder, not an archive", 2},
      {"[[mod]]\nname = \"C\"\nsource = \"src/a\"\ncopy = { from = \"nothing\", to = \"override\" }\n",
       "C: error: the source holds no folder \"nothing\"", 2},
      {"[[mod]]\nname = \"E\"\nsource = \"src/empty\"\ncopy = { from = \".\", to = \"override\" }\n",
       "E: warning: the folder \".\" holds no file to copy", 1},
  };
  fs::create_directories(dir / "src/empty");
  const std::string keep = dir.Read("game/override/keep.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    List(c.entries);
    const CliResult r = Run({"modlist", "check", "LIST", "--game", "GAME"});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    if (!c.finding.empty()) {
      EXPECT_TRUE(Contains(r.out, c.finding)) << r.out;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/runs"));
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
}

TEST_F(ModList, CheckOfArchivesVerifiesDigestAndContent) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  InstallerMod("a");
  const fs::path zip = Zip("a");
  dir.Write("src/loose/Override/x.tga", "x");
  const std::string loose = "cd '" + (dir / "src/loose").string() + "' && bsdtar -cJf '" +
                            (dir / "loose.tar.xz").string() + "' .";
  ASSERT_EQ(std::system(loose.c_str()), 0);
  List("[[mod]]\nname = \"A\"\nsource = \"a.zip\"\nsha256 = \"" + std::string(64, '0') + "\"\n");
  CliResult wrongDigest = Run({"modlist", "check", "LIST"});
  EXPECT_EQ(wrongDigest.exitCode, 2);
  EXPECT_TRUE(Contains(wrongDigest.out, "not the one the list gives")) << wrongDigest.out;

  List("[[mod]]\nname = \"L\"\nsource = \"loose.tar.xz\"\n");
  CliResult noMod = Run({"modlist", "check", "LIST"});
  EXPECT_EQ(noMod.exitCode, 2);
  EXPECT_TRUE(Contains(noMod.out, "holds no \"veypatchdata\" folder")) << noMod.out;

  // The digest may be written in capitals.
  std::string digest = Sha256OfFile(zip);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  List("[[mod]]\nname = \"A\"\nsource = \"a.zip\"\nsha256 = \"" + digest +
       "\"\n[[mod]]\nname = \"L\"\nsource = \"loose.tar.xz\"\n"
       "copy = { from = \"override\", to = \"override\" }\n");
  CliResult fine = Run({"modlist", "check", "LIST", "--game", "GAME", "--json", (dir / "r.json").string()});
  EXPECT_EQ(fine.exitCode, 0) << fine.out;
  EXPECT_TRUE(Contains(fine.out, "1/2 A: ok")) << fine.out;
  EXPECT_TRUE(Contains(dir.Read("r.json"), "\"command\": \"check\"")) << dir.Read("r.json");
  EXPECT_FALSE(fs::exists(dir / "game/override/x.tga"));
}

TEST_F(ModList, DryRunPredictsWhoWinsAFileTwoModsChange) {
  InstallerMod("a");
  InstallerMod("b", "[Settings]\nFileExists=1\nInstallerMode=1\n[InstallList]\nf=override\n[f]\nReplace0=a.txt\n");
  dir.Write("src/b/veypatchdata/a.txt", "b's version");
  List("[[mod]]\nname = \"A\"\nsource = \"src/a\"\n[[mod]]\nname = \"B\"\nsource = \"src/b\"\n");
  const CliResult r = Run({"modlist", "check", "LIST", "--game", "GAME"});
  EXPECT_TRUE(Contains(r.out, "override/a.txt (the whole file)\n    writes:  A\n    wins:    B\n")) << r.out;
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
}

TEST_F(ModList, InstallStopsAtAFailureAndResumesAfterIt) {
  InstallerMod("a");
  InstallerMod("b", "[Settings]\nFileExists=1\nInstallerMode=1\nRequired=needed.2da\n"
                    "[InstallList]\nf=override\n[f]\nFile0=b.txt\n");
  InstallerMod("c");
  List("name = \"Build\"\n[[mod]]\nname = \"A\"\nsource = \"src/a\"\n[[mod]]\nname = \"B\"\nsource = \"src/b\"\n"
       "[[mod]]\nname = \"C\"\nsource = \"src/c\"\n");
  CliResult first = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes", "--json", (dir / "r.json").string()});
  EXPECT_EQ(first.exitCode, 3) << first.out << first.err;
  EXPECT_TRUE(Contains(first.out, "The list stops here")) << first.out;
  EXPECT_EQ(dir.Read("game/override/a.txt"), "a");
  EXPECT_FALSE(fs::exists(dir / "game/override/b.txt"));
  EXPECT_FALSE(fs::exists(dir / "game/override/c.txt"));
  EXPECT_TRUE(Contains(dir.Read("r.json"), "\"verdict\": \"failed\"")) << dir.Read("r.json");
  CliResult status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: not installed", "C: not installed"}));

  // --keep-going runs C after B fails; A is skipped as installed.
  CliResult going = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes", "--keep-going"});
  EXPECT_EQ(going.exitCode, 2) << going.out;
  EXPECT_TRUE(Contains(going.out, "1/3 A: already installed (run ")) << going.out;
  EXPECT_EQ(dir.Read("game/override/c.txt"), "c");

  // B mended: only B runs, and the list is then installed, though not in order.
  dir.Write("src/b/veypatchdata/changes.ini", IniCopying("b.txt"));
  CliResult resumed = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.out;
  EXPECT_TRUE(Contains(resumed.out, "3/3 C: already installed")) << resumed.out;
  EXPECT_EQ(dir.Read("game/override/b.txt"), "b");
  status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: installed", "C: out of order"}));
  // Each entry is a run of its own in the history.
  CliResult history = Run({"history", "--game", "GAME"});
  EXPECT_EQ(Lines(history.out).size(), 4u) << history.out;

  dir.Write("src/a/veypatchdata/extra.txt", "changed source");
  status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out)[0], "A: installed from a different source");
}

// A new version that fails to install was rolled back, and the old version
// put back in its place: the entry is neither called installed from its new
// source nor installed twice once its old source is back.
TEST_F(ModList, AFailedRerunKeepsTheEntrysInstalledRun) {
  InstallerMod("a");
  InstallerMod("b");
  List("[[mod]]\nname = \"A\"\nsource = \"src/a\"\n[[mod]]\nname = \"B\"\nsource = \"src/b\"\n");
  ASSERT_EQ(Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"}).exitCode, 0);
  const auto recordText = [&] {
    std::vector<fs::path> lists;
    for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/lists")) lists.push_back(e.path());
    EXPECT_EQ(lists.size(), 1u);
    return lists.empty() ? std::string() : dir.Read(fs::relative(lists[0], dir.Path()).string());
  };
  const std::string installed = recordText();
  const std::string good = IniCopying("b.txt");
  dir.Write("src/b/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nRequired=needed.2da\n" + good.substr(good.find("[InstallList]")));

  const std::string game = dir.Read("game/override/b.txt");
  CliResult refused = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(refused.exitCode, 2) << refused.out;
  CliResult failed = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes", "--update"});
  EXPECT_EQ(failed.exitCode, 3) << failed.out;
  EXPECT_TRUE(Contains(failed.out, "The game and its history are as they were before this command.")) << failed.out;
  EXPECT_EQ(dir.Read("game/override/b.txt"), game);
  EXPECT_EQ(recordText(), installed);
  CliResult status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: installed from a different source"}));

  dir.Write("src/b/veypatchdata/changes.ini", good);
  status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: installed"}));
  CliResult resumed = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.out;
  EXPECT_TRUE(Contains(resumed.out, "2/2 B: already installed (run ")) << resumed.out;
  EXPECT_EQ(Lines(Run({"history", "--game", "GAME"}).out).size(), 3u);
}

TEST_F(ModList, CopyModsReplaceNamesInAnyLetterCaseAndCanBeUndone) {
  dir.Write("game/override/foo.tga", "old");
  dir.Write("src/tex/Override/Foo.TGA", "new");
  dir.Write("src/tex/Override/Sub/New.tga", "n");
  // After an installer mod, which gives the game folder's journal its id.
  InstallerMod("a");
  List("[[mod]]\nname = \"A\"\nsource = \"src/a\"\n"
       "[[mod]]\nname = \"Textures\"\nsource = \"src/tex\"\ncopy = { from = \"override\", to = \"Override\" }\n");
  CliResult r = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(dir.Read("game/override/foo.tga"), "new");
  EXPECT_FALSE(fs::exists(dir / "game/override/Foo.TGA"));
  EXPECT_EQ(dir.Read("game/override/Sub/New.tga"), "n");
  // A copy is a run like any other: the list's second run skips it.
  CliResult again = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_TRUE(Contains(again.out, "2/2 Textures: already installed")) << again.out;
  CliResult history = Run({"history", "--game", "GAME"});
  EXPECT_EQ(Lines(history.out).size(), 3u) << history.out;
  CliResult undo = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
  EXPECT_EQ(dir.Read("game/override/foo.tga"), "old");
  EXPECT_FALSE(fs::exists(dir / "game/override/Sub"));

  // The installer's own records are no target.
  List("[[mod]]\nname = \"Evil\"\nsource = \"src/tex\"\ncopy = { from = \"override\", to = \".VeyPatcher\" }\n");
  CliResult evil = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(evil.exitCode, 3) << evil.out;
  EXPECT_TRUE(Contains(evil.out, "installer's journal folder")) << evil.out;
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/Foo.TGA"));
  // Nor is a folder of the game that is a link into them.
  fs::create_directory_symlink(dir / "game/.veypatcher", dir / "game/override/j");
  dir.Write("src/sneak/Override/j/x.tga", "x");
  List("[[mod]]\nname = \"Sneak\"\nsource = \"src/sneak\"\ncopy = { from = \"override\", to = \"override\" }\n");
  CliResult sneak = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  EXPECT_EQ(sneak.exitCode, 3) << sneak.out;
  EXPECT_TRUE(Contains(sneak.out, "journal folder")) << sneak.out;
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/x.tga"));
}

TEST_F(ModList, ArchivesOnTheCommandLineUnpackOnceAndChooseByIn) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  InstallerMod("a");
  fs::create_directories(dir / "src/a/Second/veypatchdata");
  dir.Write("src/a/Second/veypatchdata/changes.ini", IniCopying("s.txt"));
  dir.Write("src/a/Second/veypatchdata/s.txt", "second");
  const fs::path zip = Zip("a");
  CliResult several = Run({"install", "--mod", zip.string(), "--game", "GAME", "--yes"});
  EXPECT_EQ(several.exitCode, 64);
  EXPECT_TRUE(Contains(several.err, "  .\n  Second\nveypatcher-cli: The archive holds several mods; choose one with --in"))
      << several.err;

  CliResult second = Run({"install", "--mod", zip.string(), "--in", "second", "--game", "GAME", "--yes"});
  EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_EQ(dir.Read("game/override/s.txt"), "second");
  EXPECT_TRUE(Contains(second.err, "unpacked in \"" + (dir / "cache/veypatcher/mods").string())) << second.err;
  EXPECT_TRUE(Contains(second.err, "the backup folder and the log are kept there")) << second.err;
  CliResult summary = Run({"summary", "--mod", zip.string(), "--in", "."});
  EXPECT_EQ(summary.exitCode, 0) << summary.err;
  EXPECT_TRUE(Contains(summary.err, "already unpacked in")) << summary.err;

  dir.Write("bad.zip", "PK\x03\x04 this is not really a zip");
  CliResult bad = Run({"install", "--mod", (dir / "bad.zip").string(), "--game", "GAME", "--yes"});
  EXPECT_NE(bad.exitCode, 0);
}

// An archive's unpacked copy is named by its digest, which no text shows:
// history and the conflict report name a list's mods by their entries, and
// a mod installed on its own by its archive.
TEST_F(ModList, HistoryNamesArchiveModsByTheirArchive) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  InstallerMod("a");
  InstallerMod("b");
  dir.Write("src/tex/Override/shared.tga", "t");
  dir.Write("src/b/veypatchdata/shared.tga", "b");
  dir.Write("src/b/veypatchdata/changes.ini", IniCopying("shared.tga"));
  const fs::path a = Zip("a"), b = Zip("b"), tex = Zip("tex");
  CliResult single = Run({"install", "--mod", a.string(), "--game", "GAME", "--yes"});
  ASSERT_EQ(single.exitCode, 0) << single.out << single.err;
  List("[[mod]]\nname = \"B\"\nsource = \"b.zip\"\n"
       "[[mod]]\nname = \"Textures\"\nsource = \"tex.zip\"\ncopy = { from = \"override\", to = \"override\" }\n");
  CliResult list = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  ASSERT_LE(list.exitCode, 1) << list.out << list.err;

  const std::vector<std::string> history = Lines(Run({"history", "--game", "GAME"}).out);
  ASSERT_EQ(history.size(), 4u);
  const char* names[] = {"a", "B", "Textures"};
  for (std::size_t i = 0; i < 3; ++i) {
    std::istringstream columns(history[i + 1]);
    std::string run, date, time, mod;
    columns >> run >> date >> time >> mod;
    EXPECT_EQ(mod, names[i]) << history[i + 1];
  }
  for (const std::string& line : history) EXPECT_FALSE(Contains(line, Sha256OfFile(a).substr(0, 16))) << line;
  CliResult conflicts = Run({"conflicts", "--game", "GAME"});
  EXPECT_TRUE(Contains(conflicts.out, "wins:    Textures (run ")) << conflicts.out;
  EXPECT_TRUE(Contains(conflicts.out, "wrote:   B (run ")) << conflicts.out;
  // The runs of installer mods keep the archive they came from with its
  // digest, which a replay checks before it installs them again.
  std::vector<fs::path> records;
  for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/runs")) records.push_back(e.path());
  std::sort(records.begin(), records.end());
  ASSERT_EQ(records.size(), 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    const fs::path zip = i == 0 ? a : b;
    const std::string source = dir.Read(fs::relative(records[i] / "source.txt", dir.Path()).string());
    EXPECT_TRUE(Contains(source, "archive-sha256=" + Sha256OfFile(zip) + "\n")) << source;
  }
}

// Resuming skips an entry only while its run is still installed and its
// source is the one installed; anything else runs again.
TEST_F(ModList, ResumeRunsAgainWhatChangedOrWasUndone) {
  InstallerMod("a");
  dir.Write("src/tex/Override/t.tga", "1");
  List("[[mod]]\nname = \"A\"\nsource = \"src/a\"\n"
       "[[mod]]\nname = \"Textures\"\nsource = \"src/tex\"\ncopy = { from = \"override\", to = \"override\" }\n");
  const auto install = [&] {
    CliResult r = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return r.out;
  };
  const auto skipped = [](const std::string& out, const std::string& heading) {
    return Contains(out, heading + ": already installed (run ");
  };
  install();
  std::string out = install();
  EXPECT_TRUE(skipped(out, "1/2 A") && skipped(out, "2/2 Textures")) << out;

  // A changed source: with --update the copy runs again and takes the new file.
  dir.Write("src/tex/Override/t.tga", "2");
  out = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes", "--update"}).out;
  EXPECT_TRUE(skipped(out, "1/2 A")) << out;
  EXPECT_TRUE(Contains(out, "2/2 Textures: the new version\n")) << out;
  EXPECT_EQ(dir.Read("game/override/t.tga"), "2");
  CliResult status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "Textures: installed"}));

  // A's run undone: the list puts it back; the copy stays skipped.
  const std::vector<std::string> history = Lines(Run({"history", "--game", "GAME"}).out);
  ASSERT_GE(history.size(), 2u);
  const std::string runOfA = history[1].substr(0, history[1].find(' '));
  CliResult undo = Run({"uninstall", "--game", "GAME", "--run", runOfA, "--yes"});
  ASSERT_EQ(undo.exitCode, 0) << undo.out << undo.err;
  EXPECT_FALSE(fs::exists(dir / "game/override/a.txt"));
  status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out)[0], "A: not installed");
  out = install();
  EXPECT_TRUE(Contains(out, "1/2 A\n")) << out;
  EXPECT_TRUE(skipped(out, "2/2 Textures")) << out;
  EXPECT_EQ(dir.Read("game/override/a.txt"), "a");

  // A run whose record says it failed installed nothing to keep.
  const std::vector<std::string> again = Lines(Run({"history", "--game", "GAME"}).out);
  const std::string newRunOfA = again.back().substr(0, again.back().find(' '));
  const fs::path runText = dir / "game/.veypatcher/runs" / newRunOfA / "run.txt";
  std::string text = dir.Read(fs::relative(runText, dir.Path()).string());
  ASSERT_NE(text.find("verdict=ok\n"), std::string::npos) << text;
  text.replace(text.find("verdict=ok\n"), 11, "verdict=failed\n");
  std::ofstream(runText, std::ios::binary | std::ios::trunc) << text;
  status = Run({"modlist", "status", "LIST", "--game", "GAME"});
  EXPECT_EQ(Lines(status.out)[0], "A: not installed") << status.out;

  // The journal, not the list's record, tells what is installed: a record
  // that does not hold together changes nothing.
  std::vector<fs::path> lists;
  for (const auto& e : fs::directory_iterator(dir / "game/.veypatcher/lists")) lists.push_back(e.path());
  ASSERT_EQ(lists.size(), 1u);
  std::string record = dir.Read(fs::relative(lists[0], dir.Path()).string());
  const std::size_t last = record.rfind("\"verdict\"");
  ASSERT_NE(last, std::string::npos) << record;
  record.replace(last, 9, "\"verdikt\"");
  std::ofstream(lists[0], std::ios::binary | std::ios::trunc) << record;
  out = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"}).out;
  EXPECT_TRUE(Contains(out, "1/2 A\n")) << out;
  EXPECT_TRUE(skipped(out, "2/2 Textures")) << out;
}

// Copies follow the letter case of what is there, in folders as in names.
TEST_F(ModList, CopyFollowsTheGamesLetterCaseInFolders) {
  dir.Write("game/override/textures/skin.tga", "old");
  dir.Write("src/tex/Data/TEXTURES/Skin.TGA", "new");
  dir.Write("src/tex/Data/Textures/Extra.tga", "x");
  List("[[mod]]\nname = \"T\"\nsource = \"src/tex\"\ncopy = { from = \"DATA\", to = \"OVERRIDE\" }\n");
  CliResult r = Run({"modlist", "install", "LIST", "--game", "GAME", "--yes"});
  // The archive-side names differ only in letter case: a folder source is
  // copied as it is, and both land in the game's one folder.
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(dir.Read("game/override/textures/skin.tga"), "new");
  EXPECT_EQ(dir.Read("game/override/textures/Extra.tga"), "x");
  EXPECT_EQ(FileNames(dir / "game/override"),
            (std::vector<std::string>{"keep.txt", "textures", "textures/Extra.tga", "textures/skin.tga"}));
}

// A shared list reaches only its own folder: a source anywhere else, by an
// absolute path, "~", a link or a hidden folder, is an error of check and
// install naming it, until the person trusts a folder that holds it.
TEST_F(ModList, SourcesStayInTheListsFolderUnlessTrusted) {
  dir.Write("home/.ssh/id_rsa", "private key");
  dir.Write("home/mods/tex/Override/t.tga", "t");
  // The list someone shared, in a folder of its own.
  fs::create_directories(dir / "shared/src");
  fs::create_directory_symlink(dir / "home/.ssh", dir / "shared/src/keys");
  dir.Write("shared/src/.hidden/Override/x.tga", "x");
  const std::string list = (dir / "shared/list.toml").string();
  const std::string home = (dir / "home").string();
  struct Case {
    std::string source;
    std::string says;   // in the error
    std::string trust;  // --allow-source, empty for none
    bool passes;
  };
  const std::vector<Case> cases = {
      {home + "/.ssh", "lies outside the list's folder", "", false},
      {"../elsewhere/tex", "lies outside the list's folder", "", false},
      {"~/.ssh", "starts with \"~\"", "", false},
      {"src/keys", "lies outside the list's folder", "", false},
      {"src/.hidden", "lies in the hidden folder \".hidden\"", "", false},
      {home + "/.ssh", "lies in the hidden folder \".ssh\"", home, false},
      {"src/keys", "lies in the hidden folder \".ssh\"", home, false},
      {home + "/mods/tex", "", home, true},
      {home + "/mods/tex", "", home + "/mods/tex", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " trusting " + c.trust);
    dir.Write("shared/list.toml", "[[mod]]\nname = \"Keys\"\nsource = \"" + c.source +
                               "\"\ncopy = { from = \".\", to = \"override\" }\n");
    std::vector<std::string> trust;
    if (!c.trust.empty()) trust = {"--allow-source", c.trust};
    std::vector<std::string> check{"modlist", "check", list, "--game", "GAME"};
    check.insert(check.end(), trust.begin(), trust.end());
    const CliResult checked = Run(check);
    EXPECT_EQ(checked.exitCode, c.passes ? 0 : 2) << checked.out;
    if (!c.passes) {
      EXPECT_TRUE(Contains(checked.out, "Keys: error: the source \"" + c.source + "\" " + c.says)) << checked.out;
      EXPECT_TRUE(Contains(checked.out, "--allow-source")) << checked.out;
    }
    std::vector<std::string> install{"modlist", "install", list, "--game", "GAME", "--yes"};
    install.insert(install.end(), trust.begin(), trust.end());
    const CliResult installed = Run(install);
    EXPECT_EQ(installed.exitCode, c.passes ? 0 : 64) << installed.out;
    EXPECT_FALSE(fs::exists(dir / "game/override/id_rsa"));
    EXPECT_FALSE(fs::exists(dir / "game/override/Override/x.tga"));
  }
  EXPECT_EQ(dir.Read("game/override/Override/t.tga"), "t");
}

}  // namespace
}  // namespace vey::test
