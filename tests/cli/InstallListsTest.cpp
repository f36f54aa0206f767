// veypatcher-cli install on a mod that installs files into folders and an
// archive, patches a compiled script, compiles scripts with a stand-in
// compiler and edits a soundset, all in one run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "CliRun.h"
#include "formats/USSFFile.h"
#include "support/SmallArchive.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {
namespace {

constexpr std::string_view kCompiler = R"SH(#!/bin/sh
while [ $# -gt 0 ]; do
  case "$1" in
    -c) src=$2; shift ;;
    -o) out=$2; shift ;;
  esac
  shift
done
echo "compiling $(basename "$src")"
if grep -q '#StrRef\|#2DAMEMORY' "$src"; then echo "token left in source"; exit 1; fi
{ printf 'NCS '; cat "$src"; } > "$out"
)SH";

class InstallLists : public ::testing::Test {
 protected:
  InstallLists() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("game/override/appearance.2da", TwoDA({"label"}, {{"Human"}}));
    dir.Write("game/override/replaced.txt", "game version");
    dir.Write("game/modules/town.mod", MakeArchive({{"guard", "utc", "old guard"}}));
    dir.Write("game/override/guard.utc", "loose guard");
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 A mod.}");
    // A script compiler runs natively only when the person names it.
    dir.Write("person/compiler", kCompiler);
    ::chmod((dir / "person/compiler").c_str(), 0755);
  }
  std::string Mod() const { return (dir / "mod").string(); }
  std::string Game() const { return (dir / "game").string(); }
  CliResult Run() {
    return RunCli({"install", "--mod", Mod(), "--game", Game(), "--yes", "--compiler", (dir / "person/compiler").string()});
  }
  static bool HasLine(const std::string& text, const std::string& line) {
    auto lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TempDir dir;
};

TEST_F(InstallLists, EveryListOfAModRunsInOneInstallation) {
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n"
            "[InstallList]\nto_override=override\nto_town=modules\\town.mod\n"
            "[to_override]\nFile0=new.txt\nReplace0=replaced.txt\nFile1=voice.ssf\n"
            "[to_town]\nReplace0=guard.utc\n[guard.utc]\n!OverrideType=rename\n"
            "[2DAList]\nTable0=appearance.2da\n[appearance.2da]\n"
            "[HACKList]\nFile0=k_hack.ncs\n[k_hack.ncs]\n4=260\n"
            "[CompileList]\nScript0=k_inc.nss\nScript1=k_main.nss\nScript2=k_town.nss\n"
            "[k_town.nss]\n!Destination=modules\\town.mod\n"
            "[SSFList]\nFile0=voice.ssf\n[voice.ssf]\nDeath=77\n");
  dir.Write("mod/veypatchdata/new.txt", "new");
  dir.Write("mod/veypatchdata/replaced.txt", "mod version");
  dir.Write("mod/veypatchdata/k_hack.ncs", std::string(8, '\0'));
  dir.Write("mod/veypatchdata/guard.utc", "mod guard");
  Bytes ssf;
  ssf.Ascii("SSF V1.1").U32(12);
  for (int i = 0; i < 40; ++i) ssf.I32(-1);
  dir.Write("mod/veypatchdata/voice.ssf", ssf);
  dir.Write("mod/veypatchdata/k_inc.nss", "int Helper() { return 1; }\n");
  dir.Write("mod/veypatchdata/k_main.nss", "#include \"k_inc\"\nvoid main() { Helper(); }\n");
  dir.Write("mod/veypatchdata/k_town.nss", "void main() {}\n");

  CliResult r = Run();
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(HasLine(r.out, " [STATUS] \tDone. All changes have been applied.")) << r.out;

  // InstallList: folder and archive, with the replaced file backed up and the
  // loose copy in override renamed out of the archive's way.
  EXPECT_EQ(dir.Read("game/override/new.txt"), "new");
  EXPECT_EQ(dir.Read("game/override/replaced.txt"), "mod version");
  EXPECT_EQ(dir.Read("mod/backup/replaced.txt"), "game version");
  EXPECT_EQ(dir.Read("game/override/old_guard.utc"), "loose guard");
  auto town = ArchiveContents(dir / "game/modules/town.mod");
  EXPECT_EQ(town["guard.utc"], "mod guard");
  // HACKList: the installed script is patched, big-endian.
  EXPECT_EQ(dir.Read("game/override/k_hack.ncs"), std::string("\0\0\0\0\0\0\1\4", 8));
  // CompileList: the include is not compiled, the others land where they
  // were sent, and the mod's sources are as shipped.
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/k_inc.ncs"));
  EXPECT_EQ(dir.Read("game/override/k_main.ncs"),
            "NCS #include \"k_inc\"\r\nvoid main() { Helper(); }\r\n");
  EXPECT_EQ(town["k_town.ncs"], "NCS void main() {}\r\n");
  EXPECT_EQ(dir.Read("mod/veypatchdata/k_main.nss"),
            "#include \"k_inc\"\nvoid main() { Helper(); }\n");
  EXPECT_TRUE(HasLine(r.out, " [Debug] \tNWNNSSComp says: compiling k_main.nss")) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "mod/veypatchdata/nsspatch_temp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "mod/veypatchdata/erfpatch_temp"));
  // SSFList: the installed soundset is edited.
  TSSFFile voice;
  voice.LoadFromFile(dir / "game/override/voice.ssf");
  EXPECT_EQ(voice.Value(16), 77);
}

TEST_F(InstallLists, RefusedEntriesAreErrorsAndNothingLeavesTheGame) {
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nConfirmMessage=N/A\n"
            "[InstallList]\nup=..\\\nok=override\n[up]\nF=a.txt\n[ok]\nF=b.txt\n[b.txt]\n!SaveAs=.."
            "\\..\\b.txt\n");
  dir.Write("mod/veypatchdata/a.txt", "a");
  dir.Write("mod/veypatchdata/b.txt", "b");
  CliResult r = Run();
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_TRUE(
      HasLine(r.out, " [Error] \tInvalid install location \"..\\\" encountered! Skipping..."))
      << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "a.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "b.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "game/b.txt"));
}

}  // namespace
}  // namespace vey::test
