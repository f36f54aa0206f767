// The built-in demo: the generator's game folder and mod files are readable
// by the installer's own readers, and the demo mod's instruction file names
// files that the generator provides.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

class DemoFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string command = "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + (dir_ / "demo").string() +
                                "\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::filesystem::path Game() const { return dir_ / "demo" / "game"; }
  std::filesystem::path Data() const { return dir_ / "demo" / "mod" / "veypatchdata"; }

  TempDir dir_;
};

TEST_F(DemoFolders, EveryGeneratedGameFileReadsBack) {
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || ext == ".ini" || ext == ".nss" || ext == ".txt" || ext == ".rtf" ||
        ext == ".exe" || ext == ".tga" || ext == ".ncs")
      continue;
    CliResult r = RunCli({"dump", entry.path().string()});
    EXPECT_EQ(r.exitCode, 0) << entry.path() << ": " << r.err;
    ++files;
  }
  EXPECT_EQ(files, 9);
}

TEST_F(DemoFolders, SummaryListsEveryInstructionList) {
  CliResult r = RunCli({"summary", "--mod", (dir_ / "demo" / "mod").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* line : {"New entries: 3", " * appearance.2da - new rows: 1, modified rows: 1, new columns: 0",
                           " * m01_guard.utc - modify existing, location: modules\\demo_m01.mod",
                           " * demo_blade.ncs - skip existing, location: override",
                           " * demo_m01_enter.nss - skip existing, location: modules\\demo_m01.mod",
                           " * demo_vo.ssf - modify existing, location: override", " * Location: Game folder",
                           "   --> demo_chest.utp - skip existing"})
    EXPECT_NE(r.out.find(std::string(line) + "\n"), std::string::npos) << line;
}

TEST_F(DemoFolders, InstallsWithoutErrorsOrWarnings) {
  CliResult r = RunCli({"install", "--mod", (dir_ / "demo" / "mod").string(), "--game", Game().string(), "--yes",
                        "--compiler", VEY_SOURCE_DIR "/demo/standin-compiler"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Done. All changes have been applied.\n"), std::string::npos) << r.out;
  // The values that travel between lists arrived: the appended string numbers
  // (10, 11 and the reused 7) and the new table rows (4).
  CliResult blade = RunCli({"dump", (Game() / "override" / "demo_blade.uti").string()});
  EXPECT_NE(blade.out.find("  BaseItem (Int) = 4\n  LocalizedName (ExoLocString) = StrRef 10\n"), std::string::npos)
      << blade.out;
  EXPECT_NE(blade.out.find("    [1] (Struct, type 1)\n      PropertyName (Word) = 6\n"), std::string::npos);
  CliResult soundset = RunCli({"dump", (Game() / "override" / "demo_vo.ssf").string()});
  EXPECT_NE(soundset.out.find("Battlecry 1      7\n"), std::string::npos) << soundset.out;
  CliResult module = RunCli({"dump", (Game() / "modules" / "demo_m01.mod").string()});
  EXPECT_NE(module.out.find("demo_m01_enter.ncs  2010"), std::string::npos) << module.out;
  // The mod's script sources are restored after compiling.
  std::ifstream script(Data() / "demo_heal.nss");
  std::string source((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
  EXPECT_NE(source.find("#StrRef0#"), std::string::npos);
}

TEST_F(DemoFolders, GeneratorRefusesAFolderInUse) {
  const std::string command = "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + (dir_ / "demo").string() +
                              "\" > /dev/null 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(Data() / "changes.ini"));
}

}  // namespace
}  // namespace vey::test
