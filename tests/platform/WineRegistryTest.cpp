// Registry reads from a Wine prefix that the tests write themselves.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/WineRegistry.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Fenwyck\\\\XT\\\\ARKAN] 1700000000\n"
    "#time=1d9a0b0c0d0e0f0\n"
    "\"Path\"=\"C:\\\\games\\\\ARKAN\"\n"
    "\"Build\"=dword:00000004\n"
    "\"Blob\"=hex:00,01,\\\n"
    "  02,03\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Quenbrook\\\\Arkan2] 1700000001\r\n"
    "\"path\"=\"c:\\\\Program Files (x86)\\\\Arkan2\\\\\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\\tand\\nbye\"\r\n"
    "\"Wide\"=\"caf\\x00e9 \\x2022!\\101\"\r\n"
    "\"Cut\"=\"before\\0after\"\r\n"
    "@=\"the default\"\r\n"
    "\"Expand\"=str(2):\"%ProgramFiles%\\\\x\"\r\n"
    "\"Other\"=\"D:\\\\Mods\\\\..\\\\Games\"\r\n"
    "\"Unknown\"=\"Q:\\\\x\"\r\n"
    "\"Share\"=\"\\\\\\\\server\\\\share\"\r\n"
    "\"Ratio\"=\"4:3\"\r\n"
    "\r\n"
    "[Software\\\\Bracket\\[1\\]] 1700000002\n"
    "\"N\"=\"v\"\n"
    "[Software\\\\Empty] 1700000003\n";

class WinePrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("prefix/system.reg", kSystemReg);
    fs::create_directories(dir_ / "prefix/drive_c/Games/Arkan");
    fs::create_directories(dir_ / "prefix/drive_c/Program Files (x86)/Arkan2");
    fs::create_directories(dir_ / "elsewhere/games");
  }
  fs::path Prefix() const { return dir_ / "prefix"; }
  test::TempDir dir_;
};

TEST_F(WinePrefix, FindsKeysAndValuesWithoutCaseAndUndoesEscapes) {
  WineRegistry reg(Prefix());
  EXPECT_EQ(reg.ReadRawString("\\SOFTWARE\\fenwyck\\xt\\arkan", "PATH"), "C:\\games\\ARKAN");
  // The 32-bit view of a 64-bit prefix is tried as well.
  EXPECT_EQ(reg.ReadRawString("\\SOFTWARE\\Quenbrook\\Arkan2", "Quoted"),
            "say \"hi\"\tand\nbye");
  EXPECT_EQ(reg.ReadRawString("Software\\Quenbrook\\Arkan2", "Wide"),
            "caf\xC3\xA9 \xE2\x80\xA2!A");
  EXPECT_EQ(reg.ReadRawString("Software\\Quenbrook\\Arkan2", "Cut"), "before");
  EXPECT_EQ(reg.ReadRawString("Software\\Quenbrook\\Arkan2", ""), "the default");
  EXPECT_EQ(reg.ReadRawString("Software\\Quenbrook\\Arkan2", "Expand"), "%ProgramFiles%\\x");
  EXPECT_EQ(reg.ReadRawString("Software/Bracket[1]", "n"), "v");
}

TEST_F(WinePrefix, MissingKeysValuesAndNonStringsYieldNothing) {
  WineRegistry reg(Prefix());
  EXPECT_EQ(reg.ReadRawString("Software\\Fenwyck\\XT\\ARKAN", "Build"), std::nullopt);
  EXPECT_EQ(reg.ReadRawString("Software\\Fenwyck\\XT\\ARKAN", "Blob"), std::nullopt);
  EXPECT_EQ(reg.ReadRawString("Software\\Fenwyck\\XT\\ARKAN", "Missing"), std::nullopt);
  EXPECT_EQ(reg.ReadRawString("Software\\Fenwyck\\XT", "Path"), std::nullopt);  // parent key
  EXPECT_EQ(reg.ReadRawString("Software\\Empty", "Path"), std::nullopt);
  EXPECT_EQ(reg.ReadRawString("", "Path"), std::nullopt);
  EXPECT_EQ(reg.ReadString("Software\\Nobody", "Path"), "");
  // A value of the next section must not be taken for one of this key.
  EXPECT_EQ(reg.ReadRawString("Software\\Fenwyck\\XT\\ARKAN", "Quoted"), std::nullopt);

  WineRegistry none(dir_ / "no-prefix");
  EXPECT_EQ(none.ReadString("Software\\Fenwyck\\XT\\ARKAN", "Path"), "");
}

TEST_F(WinePrefix, MapsDrivePathsIntoThePrefix) {
  WineRegistry reg(Prefix());
  // No dosdevices folder: C: is drive_c; existing components take their disk case.
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Fenwyck\\XT\\ARKAN", "Path"),
            (Prefix() / "drive_c/Games/Arkan").string());
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Path"),
            (Prefix() / "drive_c/Program Files (x86)/Arkan2").string());
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Unknown"), "");
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Share"), "");
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Quoted"), "say \"hi\"\tand\nbye");
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Ratio"), "4:3");

  // With links, the links decide: relative ones from dosdevices, absolute as they are.
  fs::create_directories(Prefix() / "dosdevices");
  fs::create_symlink("../drive_c", Prefix() / "dosdevices/c:");
  fs::create_symlink(dir_ / "elsewhere", Prefix() / "dosdevices/d:");
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Fenwyck\\XT\\ARKAN", "Path"),
            (Prefix() / "drive_c/Games/Arkan").string());
  EXPECT_EQ(reg.ReadString("\\SOFTWARE\\Quenbrook\\Arkan2", "Other"),
            (dir_ / "elsewhere/games").string());
  EXPECT_EQ(reg.MapWindowsPath("D:"), (dir_ / "elsewhere").string());
  EXPECT_EQ(reg.MapWindowsPath("c:\\..\\..\\GAMES\\New Folder"),
            (Prefix() / "drive_c/Games/New Folder").string());
  EXPECT_EQ(reg.MapWindowsPath("\\\\?\\C:\\games"), (Prefix() / "drive_c/Games").string());
  EXPECT_EQ(reg.MapWindowsPath("games\\x"), "");
}

TEST(WineRegistryPrefix, ComesFromTheEnvironmentOrHome) {
  EXPECT_EQ(WineRegistry::ChoosePrefix("/p/wine", "/home/u"), fs::path("/p/wine"));
  EXPECT_EQ(WineRegistry::ChoosePrefix("", "/home/u"), fs::path("/home/u/.wine"));
  EXPECT_EQ(WineRegistry::ChoosePrefix(nullptr, "/home/u"), fs::path("/home/u/.wine"));
  EXPECT_EQ(WineRegistry::ChoosePrefix(nullptr, nullptr), fs::path());
  EXPECT_EQ(WineRegistry(fs::path()).ReadString("Software\\X", "Path"), "");
}

}  // namespace
}  // namespace vey::platform
