// HACKList: integers written at byte offsets, big-endian in compiled scripts,
// with the file's bounds, refused offsets and values, and the replace flag.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "common/VeyException.h"

namespace vey::test {
namespace {


std::vector<std::uint8_t> Filler(std::size_t n) { return std::vector<std::uint8_t>(n, 0xEE); }

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(HACKListByteOrder, CompiledScriptsTakeBigEndianOtherFilesLittleEndian) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[HACKList]\nFile0=k_a.ncs\nFile1=k_b.NCS\nFile2=table.bin\n"
        "[k_a.ncs]\n10=258\n[k_b.NCS]\n10=258\n[table.bin]\n10=258\n");
  f.MakeGame();
  for (const char* name : {"k_a.ncs", "k_b.NCS", "table.bin"})
    f.WriteFile(f.Data() + name, Filler(16));
  TVEYPatcher& e = f.Engine();
  e.ProcessHACKList();
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/k_a.ncs").substr(9, 6)), "EE 00 00 01 02 EE");
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/k_b.NCS").substr(10, 4)), "00 00 01 02");
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/table.bin").substr(10, 4)), "02 01 00 00");
  // The mod's own copies stay as shipped.
  EXPECT_EQ(f.ReadFile(f.Data() + "k_a.ncs"), std::string(16, '\xEE'));
  EXPECT_TRUE(f.Logged(" [Install] \tModifying binary files..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tModifying binary file \"k_a.ncs\"..."));
  EXPECT_TRUE(
      f.Logged(" [Debug] \tModifying file k_a.ncs, setting value at offset \"10\" to \"258\"."));
  EXPECT_EQ(e.ProgressCount(), 3);
}

TEST(HACKListBounds, EndOfFileHexNegativeAndTokens) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[HACKList]\nFile0=k.ncs\n"
        "[k.ncs]\n16=1\n13=16909060\n4000=2\n0=$FF\n1=-1\n0x2=5\n4=StrRef3\n8=2DAMEMORY1\n12=\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "k.ncs", Filler(16));
  TVEYPatcher& e = f.Engine();
  e.StrRefTable.push_back({3, 0x0A0B0C0D});
  e.Memory = {"7"};
  e.ProcessHACKList();
  const std::string out = f.ReadFile(f.Game() + "override/k.ncs");
  // Offsets 16 (the size) and 4000 patch nothing and are reported as errors;
  // offset 13 lengthens the file by one byte.
  ASSERT_EQ(out.size(), 17u);
  EXPECT_EQ(Hex(out.substr(13)), "01 02 03 04");
  EXPECT_EQ(Hex(out.substr(0, 4)), "EE EE EE EE");
  EXPECT_EQ(Hex(out.substr(4, 4)), "0A 0B 0C 0D");
  EXPECT_EQ(Hex(out.substr(8, 4)), "00 00 00 07");
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to set value at offset \"16\" of file k.ncs: the file ends "
                       "at byte 16. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Error] \tUnable to set value at offset \"4000\" of file k.ncs: the file ends "
                       "at byte 17. Skipping..."));
  EXPECT_EQ(e.ErrorCount(), 2);
  for (const char* line : {"Invalid offset(0) or value($FF) modifier for file k.ncs. Skipping...",
                           "Invalid offset(1) or value(-1) modifier for file k.ncs. Skipping...",
                           "Invalid offset(0x2) or value(5) modifier for file k.ncs. Skipping...",
                           "Invalid offset(12) or value() modifier for file k.ncs. Skipping..."})
    EXPECT_TRUE(f.Logged(std::string(" [Warning] \t") + line)) << line;
}

TEST(HACKListBounds, ValueTooLargeEndsTheRunAfterWritingEarlierPatches) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) + "[k.ncs]\n0=1\n4=2147483648\n8=3\n");
  f.MakeGame();
  f.WriteFile(f.Data() + "k.ncs", Filler(12));
  TVEYPatcher& e = f.Engine();
  ExpectFailure<EConvertError>([&] { e.PatchBinaryFile("k.ncs"); }, 0,
                               "'2147483648' is not a valid integer value");
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/k.ncs")), "00 00 00 01 EE EE EE EE EE EE EE EE");
  EXPECT_EQ(e.ProgressCount(), 1);
}

TEST(HACKListReplace, FlagCountsOnlyAsFirstKeyOfALargerSection) {
  EngineFixture f;
  f.Ini(std::string(kInstaller) +
        "[HACKList]\nFile0=one.ncs\nFile1=two.ncs\nFile2=late.ncs\nFile3=none.ncs\nFile4=.ncs\n"
        "[one.ncs]\nReplaceFile=1\n"
        "[two.ncs]\nreplacefile=1\n0=9\n"
        "[late.ncs]\n0=9\nreplacefile=1\n");
  f.MakeGame();
  for (const char* name : {"one.ncs", "two.ncs", "late.ncs"}) {
    f.WriteFile(f.Game() + "override/" + name, {1, 1, 1, 1});
    f.WriteFile(f.Data() + name, {2, 2, 2, 2});
  }
  TVEYPatcher& e = f.Engine();
  e.ProcessHACKList();
  // A lone flag is not honoured: the file in override stays.
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/one.ncs")), "01 01 01 01");
  EXPECT_TRUE(f.Logged(
      " [Warning] \tA file named \"one.ncs\" already exists in the Override folder. Skipping..."));
  // First of two keys: the mod's copy replaces it and is patched; the old
  // one is kept in the backup folder.
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/two.ncs")), "00 00 00 09");
  EXPECT_EQ(Hex(f.ReadFile(f.App() + "backup/two.ncs")), "01 01 01 01");
  // As a later key the flag does nothing and is no patch either.
  EXPECT_EQ(Hex(f.ReadFile(f.Game() + "override/late.ncs")), "01 01 01 01");
  EXPECT_EQ(f.CountContaining("Invalid offset(replacefile)"), 0u);
  EXPECT_TRUE(f.Logged(" [Warning] \tNo offsets found for file none.ncs, skipping..."));
  EXPECT_EQ(f.CountContaining("\".ncs\""), 0u);  // four characters: skipped silently
  EXPECT_EQ(e.ProgressCount(), 1);
}

TEST(HACKListBackup, FilePickedByHandIsBackedUpBeforePatching) {
  // Installations only ever patch fresh copies; a file picked by hand is
  // patched where it is.
  EngineFixture g;
  g.Ini("[Settings]\nInstallerMode=0\nLogLevel=4\n[k.bin]\n0=5\n");
  g.WriteFile(g.dir.Path().string() + "/picked/k.bin", {1, 2, 3, 4, 5});
  g.fake.openDialog.answers.push_back(g.dir.Path().string() + "/picked/k.bin");
  g.Engine().PatchBinaryFile("k.bin");
  EXPECT_EQ(Hex(g.ReadFile(g.dir.Path().string() + "/picked/k.bin")), "05 00 00 00 05");
  EXPECT_EQ(Hex(g.ReadFile(g.App() + "backup/k.bin")), "01 02 03 04 05");
  EXPECT_TRUE(
      g.Logged(" [Install] \tSaving unaltered backup copy of k.bin in " + g.App() + "backup/."));
}

}  // namespace
}  // namespace vey::test
