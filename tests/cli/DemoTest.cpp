// The built-in demo: the generator's game folder and mod files are readable
// by the installer's own readers, and the demo mod's instruction file names
// files that the generator provides.
#include <gtest/gtest.h>

#include <cstdlib>

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

TEST_F(DemoFolders, GeneratorRefusesAFolderInUse) {
  const std::string command = "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + (dir_ / "demo").string() +
                              "\" > /dev/null 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(Data() / "changes.ini"));
}

}  // namespace
}  // namespace vey::test
