// An instruction file saved as UTF-16 is named as such by install, instead of
// the hint about the "FileExists" marker.
#include <gtest/gtest.h>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

TEST(InstallEncoding, Utf16InstructionFileIsToldToBeSavedAgain) {
  TempDir dir;
  std::string wide("\xFF\xFE", 2);
  for (char c : std::string("[Settings]\r\nFileExists=1\r\n")) wide += std::string{c, '\0'};
  dir.Write("mod/veypatchdata/changes.ini", wide);
  dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 x}");
  dir.Write("dialog.tlk", "TLK ");  // --game must name a game folder
  CliResult r = RunCli({"install", "--mod", (dir / "mod").string(), "--game", dir.Path().string(), "--yes"});
  EXPECT_EQ(r.exitCode, 4);
  const std::string all = r.out + r.err;
  EXPECT_NE(all.find("is saved as UTF-16 text"), std::string::npos) << all;
  EXPECT_NE(all.find("Save it as Windows-1252 or as UTF-8"), std::string::npos) << all;
  EXPECT_EQ(all.find("FileExists"), std::string::npos) << all;
  EXPECT_EQ(all.find("Unable to load the"), std::string::npos) << all;
}

}  // namespace
}  // namespace vey::test
