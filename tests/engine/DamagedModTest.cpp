// A mod is input from a stranger: names with control characters are refused
// in every list, long sections are read whole, and damaged soundsets,
// compiled scripts and archives are reported instead of passing silently.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "EngineFixture.h"
#include "common/StrFormat.h"
#include "formats/UERFHandler.h"
#include "support/SmallArchive.h"

namespace vey::test {
namespace {


bool AnyNameHasControls(const std::filesystem::path& folder) {
  if (!std::filesystem::exists(folder)) return false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
      return true;
  }
  return false;
}

struct NameCase {
  std::string list;     // instruction-file text naming the bad file
  std::string onDisk;   // the data-folder file of that name, so only the refusal stops it
  std::string refusal;  // the error line
};

TEST(ControlCharacterNames, AreRefusedInEveryListWithTheCharacterShown) {
  const std::vector<NameCase> cases = {
      {"[2DAList]\nTable0=evil<#LF#>name.2da\n[evil<#LF#>name.2da]\nAddRow0=r\n[r]\nx=1\n", "evil\nname.2da",
       "Refusing the file name \"evil<0A>name.2da\": it holds a control character. Skipping..."},
      {"[InstallList]\nfolder0=override\n[folder0]\nFile0=bad\x01.txt\n", "bad\x01.txt",
       "Refusing to install \"bad<01>.txt\": the name \"bad<01>.txt\" holds a control character. Skipping..."},
      {"[HACKList]\nFile0=k\x02.ncs\n[k\x02.ncs]\n0=1\n", "k\x02.ncs",
       "Refusing the file name \"k<02>.ncs\": it holds a control character. Skipping..."},
      {"[SSFList]\nFile0=v\x7F.ssf\n[v\x7F.ssf]\nDeath=1\n", "v\x7F.ssf",
       "Refusing the file name \"v<7F>.ssf\": it holds a control character. Skipping..."},
      {"[InstallList]\nfolder0=override\n[folder0]\nFile0=unit\x1F.txt\n", "unit\x1F.txt",
       "Refusing to install \"unit<1F>.txt\": the name \"unit<1F>.txt\" holds a control character. Skipping..."},
      {"[2DAList]\nTable0=unit\x1F.2da\n[unit\x1F.2da]\nAddRow0=r\n[r]\nx=1\n", "unit\x1F.2da",
       "Refusing the file name \"unit<1F>.2da\": it holds a control character. Skipping..."},
      {"[CompileList]\nScript0=s\x1B.nss\n", "s\x1B.nss",
       "Refusing to compile \"s<1B>.nss\": the name \"s<1B>.nss\" holds a control character. Skipping..."},
      {"[GFFList]\nFile0=g.utc\n[g.utc]\n!SaveAs=g<#LF#>.utc\nTag=x\n", "g.utc",
       "Invalid !SaveAs value \"g<0A>.utc\" for GFF file g.utc: it holds a control character, skipping..."},
  };
  for (const NameCase& c : cases) {
    EngineFixture f;
    f.Ini(std::string(kInstaller) + c.list);
    f.MakeGame();
    f.WriteFile(f.Data() + c.onDisk, ToBytes("content"));
    // A compiler that looks like a Windows program, so that the script step
    // gets as far as its entries.
    f.WriteFile(f.Data() + "nwnnsscomp.exe", Bytes().Ascii("MZ").Zeros(58).U32(64).Ascii("PE").Zeros(2));
    TRunResult result;
    try {
      f.Engine().Run(result);
    } catch (const Exception& e) {
      ADD_FAILURE() << c.refusal << ": the run ended: " << e.what();
    }
    EXPECT_TRUE(f.Logged(" [Error] \t" + c.refusal)) << c.refusal;
    EXPECT_GE(result.Errors, 1) << c.refusal;
    EXPECT_FALSE(AnyNameHasControls(f.Game())) << c.refusal;
    for (const std::string& line : f.lines)
      EXPECT_FALSE(HasControlCharacter(line.substr(line.find('\t') + 1))) << line;
  }
}

// 3,000 patches whose key names take far more than 16,384 bytes: every one
// is applied and the section is named once in a warning.
TEST(LongSections, EveryKeyIsAppliedAndTheSectionIsReported) {
  std::string ini = std::string(kInstaller) + "[HACKList]\nFile0=big.ncs\n[big.ncs]\n";
  for (int i = 0; i < 3000; ++i) {
    std::string offset = std::to_string(4 * i);
    ini += std::string(12 - offset.size(), '0') + offset + "=" + std::to_string(i) + "\n";
  }
  EngineFixture f;
  f.Ini(ini);
  f.MakeGame();
  f.WriteFile(f.Data() + "big.ncs", std::vector<std::uint8_t>(12000, 0xEE));
  TVEYPatcher& e = f.Engine();
  e.ProcessHACKList();
  const std::string out = f.ReadFile(f.Game() + "override/big.ncs");
  ASSERT_EQ(out.size(), 12000u);
  int applied = 0;
  for (int i = 0; i < 3000; ++i) {
    const auto at = static_cast<std::size_t>(4 * i);
    const int value = (static_cast<unsigned char>(out[at + 2]) << 8) | static_cast<unsigned char>(out[at + 3]);
    if (out[at] == 0 && out[at + 1] == 0 && value == i) ++applied;
  }
  EXPECT_EQ(applied, 3000);
  EXPECT_EQ(f.CountContaining("Section [big.ncs] holds more than 16,384 bytes of key names."), 1u);
  EXPECT_EQ(e.WarningCount(), 1);
}

// The warning starts one byte past the limit, and names each long section
// once however often it is read.
TEST(LongSections, WarnedOncePastTheLimitAndOnlyThen) {
  // 163 offsets written with 99 digits take 16,300 bytes with their zeros;
  // a last name of tail digits brings the list to 16,300 + tail + 1 bytes.
  auto section = [](const std::string& name, std::size_t tail) {
    std::string text = "[" + name + "]\n";
    for (int i = 0; i < 163; ++i) {
      const std::string offset = std::to_string(4 * i);
      text += std::string(99 - offset.size(), '0') + offset + "=1\n";
    }
    return text + std::string(tail - 3, '0') + "700=2\n";
  };
  const struct {
    const char* name;
    std::size_t tail;
    std::string list;
    std::size_t warnings;
  } cases[] = {
      {"16,383 bytes of names", 82, "File0=big.ncs\n", 0},
      {"16,384 bytes of names", 83, "File0=big.ncs\n", 1},
      {"listed twice", 83, "File0=big.ncs\nFile1=big.ncs\n", 1},
      {"two long sections", 83, "File0=big.ncs\nFile1=big2.ncs\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineFixture f;
    f.Ini(std::string(kInstaller) + "[HACKList]\n" + c.list + section("big.ncs", c.tail) + section("big2.ncs", c.tail));
    f.MakeGame();
    f.WriteFile(f.Data() + "big.ncs", std::vector<std::uint8_t>(1000, 0xEE));
    f.WriteFile(f.Data() + "big2.ncs", std::vector<std::uint8_t>(1000, 0xEE));
    f.Engine().ProcessHACKList();
    EXPECT_EQ(f.CountContaining("holds more than 16,384 bytes of key names"), c.warnings);
    EXPECT_EQ(f.ReadFile(f.Game() + "override/big.ncs").substr(700, 4), std::string("\0\0\0\x02", 4));
  }
}

TEST(DamagedFiles, ASoundsetCutShortIsRefusedAndLeftAsItWas) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[SSFList]\nFile0=cut.ssf\n[cut.ssf]\nDeath=5\n");
  f.MakeGame();
  Bytes cut;
  cut.Ascii("SSF V1.1").U32(12);
  for (int i = 0; i < 30; ++i) cut.I32(i);
  f.WriteFile(f.Game() + "override/cut.ssf", cut);
  f.Engine().ProcessSSFList();
  const std::string path = f.Game() + "override/cut.ssf";
  EXPECT_TRUE(f.Logged(" [Error] \tSelected file \"" + path +
                       "\" is not a valid SSF v1.1 file! Its entry table ends past the end of the file. [1] - file "
                       "skipped!"));
  EXPECT_EQ(f.ReadFile(path).size(), 12u + 120u);
}

TEST(DamagedFiles, ARimCutShortEndsTheRunWithTheArchivesOwnMessageAndCode) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[InstallList]\nfolder0=modules\\cut.rim\n[folder0]\nFile0=a.txt\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "a.txt", ToBytes("a"));
  std::vector<std::uint8_t> rim = MakeArchive({{"one", "txt", "1"}, {"two", "txt", "2"}}, "RIM ");
  rim.resize(130);  // the key list is cut off
  f.WriteFile(f.Game() + "modules/cut.rim", rim);
  TRunResult result;
  EXPECT_THROW(f.Engine().Run(result), EERFError);
  const std::string path = f.Game() + "modules/cut.rim";
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to load file \"" + path + "\", its key list lies outside the file! (ERF-17)"))
      << f.lines.back();
  EXPECT_EQ(f.CountContaining("Unhandled"), 0u);
}

}  // namespace
}  // namespace vey::test
