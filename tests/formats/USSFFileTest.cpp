// TSSFFile: the 172-byte writer, table offsets, labels and failures.
#include <gtest/gtest.h>

#include "formats/USSFFile.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using test::Bytes;
using test::ExpectFailure;

Bytes Header(std::uint32_t tableOffset) {
  Bytes b;
  b.Ascii("SSF ").Ascii("V1.1").U32(tableOffset);
  return b;
}

void LoadBytes(TSSFFile& f, const std::vector<std::uint8_t>& data, const char* name = "x.ssf") {
  f.LoadFromBytes(data, name);
}

TEST(TSSFFileSave, Writes172BytesAndRoundTrips) {
  Bytes b = Header(12);
  for (int i = 0; i < 40; ++i) b.I32(i == 39 ? -1 : 1000 + i);
  TSSFFile f;
  LoadBytes(f, b);
  EXPECT_EQ(f.Value(1), 1000);
  EXPECT_EQ(f.Value(40), -1);
  auto out = f.SaveToBytes();
  EXPECT_EQ(out.size(), TSSFFile::kFileSize);
  EXPECT_EQ(out.size(), 172u);
  EXPECT_SAME_BYTES(out, b.Build());
}

TEST(TSSFFileLoad, ReadsTheTableWhereTheHeaderPutsIt) {
  Bytes b = Header(20);
  b.Ascii("padding!");
  for (int i = 0; i < 40; ++i) b.I32(i);
  TSSFFile f;
  LoadBytes(f, b);
  EXPECT_EQ(f.Value(1), 0);
  EXPECT_EQ(f.Value(40), 39);
  Bytes expected = Header(12);
  for (int i = 0; i < 40; ++i) expected.I32(i);
  EXPECT_SAME_BYTES(f.SaveToBytes(), expected.Build());

}

// A table that the file does not hold in full is refused, whatever makes it
// so, and the refusal leaves nothing loaded that could be saved back.
TEST(TSSFFileLoad, RefusesATableThatEndsPastTheFile) {
  const std::string why = "\" is not a valid SSF v1.1 file! Its entry table ends past the end of the file.";
  Bytes cutShort = Header(12);
  for (int i = 0; i < 39; ++i) cutShort.I32(i);
  Bytes lastByteMissing = Header(12);
  for (int i = 0; i < 39; ++i) lastByteMissing.I32(i);
  lastByteMissing.U16(7).U8(0);
  Bytes offsetTooFar = Header(16);
  for (int i = 0; i < 40; ++i) offsetTooFar.I32(i);
  for (const auto& bad : {cutShort.Build(), lastByteMissing.Build(), offsetTooFar.Build(),
                          Header(0xFFFFFFF0u).Build(), Header(12).Build()}) {
    TSSFFile f;
    ExpectFailure<ESSFError>([&] { LoadBytes(f, bad, "short.ssf"); }, 1, "Selected file \"short.ssf" + why);
    EXPECT_FALSE(f.Loaded());
    EXPECT_EQ(f.Value(1), -1);
  }
  // Exactly the table's length after its offset is enough.
  Bytes exact = Header(16).U32(0);
  for (int i = 0; i < 40; ++i) exact.I32(i);
  TSSFFile f;
  LoadBytes(f, exact);
  EXPECT_EQ(f.Value(40), 39);
}

TEST(TSSFFileEntries, SetsByLabelInAnyCase) {
  TSSFFile f;
  EXPECT_EQ(f.Label(1), "Battlecry 1");
  EXPECT_EQ(f.Label(23), "Pick lock start");
  EXPECT_EQ(f.Label(40), "Unknown(40)");
  f.SetEntry("battlecry 1", 11);
  EXPECT_EQ(f.Value(1), 11);
  f.SetEntry("BATTLECRY 1", 12);
  EXPECT_EQ(f.Value(1), 12);
  f.SetEntry("unknown(29)", 29);
  EXPECT_EQ(f.Value(29), 29);
  ExpectFailure<ESSFError>([&] { f.SetEntry("Battlecry1", 1); }, 2,
                           "Unable to change value in SSF file, label \"Battlecry1\" is not a valid entry label!");
  ExpectFailure<ESSFError>([&] { f.SetEntry("Battlecry 1 ", 1); }, 2,
                           "Unable to change value in SSF file, label \"Battlecry 1 \" is not a valid entry label!");
}

TEST(TSSFFileLoad, RefusesOtherFilesAndClears) {
  test::TempDir dir;
  TSSFFile f;
  auto missing = dir / "none.ssf";
  ExpectFailure<ESSFError>([&] { f.LoadFromFile(missing); }, 5,
                           "Selected file \"" + missing.string() + "\" does not exist! Unable to load it.");
  ExpectFailure<ESSFError>([&] { f.SaveToBytes(); }, 6, "No file has been loaded! Unable to save.");
  ExpectFailure<ESSFError>([&] { f.SaveToFile(dir / "out.ssf"); }, 6, "No file has been loaded! Unable to save.");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.ssf"));

  Bytes good = Header(12);
  for (int i = 0; i < 40; ++i) good.I32(i);
  for (const auto& bad : {Bytes().Ascii("SSF V1.0").U32(12).Zeros(160).Build(),
                          Bytes().Ascii("ssf V1.1").U32(12).Zeros(160).Build(),
                          Bytes().Ascii("SSF V1.1").U16(12).Build()}) {
    LoadBytes(f, good);
    auto path = dir.Write("bad.ssf", bad);
    ExpectFailure<ESSFError>([&] { f.LoadFromFile(path); }, 1,
                             "Selected file \"" + path.string() + "\" is not a valid SSF v1.1 file!");
    EXPECT_FALSE(f.Loaded());
    EXPECT_EQ(f.Value(1), -1);
    EXPECT_EQ(f.FileName(), path);
  }
}

TEST(TSSFFileFile, SavesBackToTheLoadedFile) {
  test::TempDir dir;
  Bytes b = Header(40).Zeros(28);
  for (int i = 0; i < 40; ++i) b.I32(-1);
  auto path = dir.Write("s.ssf", b);
  TSSFFile f;
  f.LoadFromFile(path);
  f.SetEntry("Death", 42);
  f.SaveToFile();
  TSSFFile back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Value(16), 42);
  EXPECT_EQ(std::filesystem::file_size(path), 172u);
}

}  // namespace
}  // namespace vey
