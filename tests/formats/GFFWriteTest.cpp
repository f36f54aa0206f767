// GFF writer: byte-exact layout, stable round trips, and repaired sizes.
#include <gtest/gtest.h>

#include "GFFTestSupport.h"
#include "common/ByteReader.h"
#include "formats/UGFFFile.h"

namespace vey {
namespace {

using test::AllTypes;
using test::ExpectFailure;
using test::GffImage;

TEST(TGFFFileSave, EmptyTopLevelStructIsOneEntryAndEmptyBlocks) {
  TGFFFile doc;
  doc.New("UTI ");
  GffImage expected;
  expected.type = "UTI ";
  expected.structs = {{0, 0xFFFFFFFF, 0}};
  EXPECT_SAME_BYTES(doc.SaveToBytes(), expected.Build());
}

TEST(TGFFFileSave, LaysTheTreeOutDepthFirstWithLabelsStoredOnce) {
  TGFFFile doc;
  doc.New("DLG ");
  auto* root = doc.RootStruct();
  root->AddField(std::make_unique<TGFF_CExoString>("Tag", "ab"));
  auto sub = std::make_unique<TGFFStruct>("Sub");
  sub->SetStructType(5);
  sub->AddField(std::make_unique<TGFF_SByte>("V", 200));
  sub->AddField(std::make_unique<TGFF_CExoString>("Tag", "c"));
  root->AddField(std::move(sub));
  auto list = std::make_unique<TGFFList>("List");
  auto e0 = std::make_unique<TGFFStruct>();
  e0->SetStructType(1);
  e0->AddField(std::make_unique<TGFF_SByte>("V", 1));
  list->AddStruct(std::move(e0));
  auto e1 = std::make_unique<TGFFStruct>();
  e1->SetStructType(2);
  list->AddStruct(std::move(e1));
  root->AddField(std::move(list));
  root->AddField(std::make_unique<TGFF_SWord>("V", 0x1234));

  GffImage expected;
  expected.type = "DLG ";
  expected.labels = {"Tag", "Sub", "V", "List"};
  expected.structs = {{0, 0, 4}, {5, 16, 2}, {1, 5, 1}, {2, 0xFFFFFFFF, 0}};
  expected.fields = {{10, 0, 0}, {14, 1, 1}, {0, 2, 200}, {10, 0, 6}, {15, 3, 0}, {0, 2, 1}, {2, 2, 0x1234}};
  expected.data.U32(2).Ascii("ab").U32(1).Ascii("c");
  expected.fieldIndices.U32(0).U32(1).U32(4).U32(6).U32(2).U32(3);
  expected.listIndices.U32(2).U32(2).U32(3);
  EXPECT_SAME_BYTES(doc.SaveToBytes(), expected.Build());
}

// A character above 0x7F is negative as a char: widening it with its sign
// would fill the three bytes after it with 0xFF.
TEST(TGFFFileSave, CharsAndBytesOfTheUpperHalfFillTheirSlotWithZeros) {
  TGFFFile doc;
  doc.New("UTC ");
  doc.RootStruct()->AddField(std::make_unique<TGFF_SChar>("C", static_cast<char>(0xE9)));
  doc.RootStruct()->AddField(std::make_unique<TGFF_SChar>("D", static_cast<char>(0x80)));
  doc.RootStruct()->AddField(std::make_unique<TGFF_SByte>("B", 0xFF));
  GffImage expected;
  expected.labels = {"C", "D", "B"};
  expected.structs = {{0, 0, 3}};
  expected.fields = {{1, 0, 0xE9}, {1, 1, 0x80}, {0, 2, 0xFF}};
  expected.fieldIndices.U32(0).U32(1).U32(2);
  EXPECT_SAME_BYTES(doc.SaveToBytes(), expected.Build());
  TGFFFile back;
  back.LoadFromBytes(doc.SaveToBytes());
  EXPECT_EQ(back.GetField("C")->As<TGFF_SChar>()->Value(), static_cast<char>(0xE9));
}

TEST(TGFFFileSave, RoundTripGivesTheSameTreeAndTheSameBytes) {
  TGFFFile doc;
  doc.LoadFromBytes(AllTypes().Build());
  std::string tree = test::DumpTree(*doc.RootStruct());
  auto first = doc.SaveToBytes();

  TGFFFile again;
  again.LoadFromBytes(first);
  EXPECT_EQ(test::DumpTree(*again.RootStruct()), tree);
  EXPECT_EQ(again.FileType(), "UTC ");
  EXPECT_SAME_BYTES(again.SaveToBytes(), first);

  // Edits survive the same way.
  EXPECT_EQ(again.SetFieldValue("List\\1\\B", "9"), TGFFSetResult::Stored);
  again.AddField(std::make_unique<TGFFStruct>(), "List");
  auto edited = again.SaveToBytes();
  TGFFFile third;
  third.LoadFromBytes(edited);
  EXPECT_EQ(test::DumpTree(*third.RootStruct()), test::DumpTree(*again.RootStruct()));
  EXPECT_SAME_BYTES(third.SaveToBytes(), edited);
}

TEST(TGFFFileSave, LocalizedStringSizeIsRecomputed) {
  TGFFFile doc;
  doc.LoadFromBytes(AllTypes().Build());
  auto bytes = doc.SaveToBytes();
  TGFFFile again;
  again.LoadFromBytes(bytes);
  auto* loc = again.RootStruct()->FindField("Loc")->As<TGFF_CExoLocString>();
  // 8 + (8 + "hi") + (8 + ""), not the 999 the damaged file held.
  EXPECT_EQ(loc->TotalSize(), 26u);
  EXPECT_EQ(loc->SubstringCount(), 2);
  // The data block holds exactly the fields' data, nothing reserved beyond.
  std::uint32_t dataCount = LoadU32(bytes.data() + 36);
  EXPECT_EQ(dataCount, 8u + 8 + 8 + 9 + 7 + 30 + 7 + 16 + 12);
}

TEST(TGFFFileSave, FieldWithAnEmptyLabelKeepsIt) {
  TGFFFile doc;
  doc.New("UTC ");
  doc.RootStruct()->AddField(std::make_unique<TGFF_SByte>("Tag", 1));
  doc.RootStruct()->AddField(std::make_unique<TGFF_SByte>("", 2));
  TGFFFile again;
  again.LoadFromBytes(doc.SaveToBytes());
  ASSERT_EQ(again.RootStruct()->FieldCount(), 2);
  EXPECT_EQ(again.RootStruct()->GetFieldByIndex(1)->Label(), "");
}

TEST(TGFFFileSave, RefusesWithoutALoadedDocument) {
  TGFFFile doc;
  ExpectFailure<EGFFError>([&] { doc.SaveToBytes(); }, 0, "Unable to save, no file has been loaded that can be saved!");
  auto bad = AllTypes();
  bad.version = "V1.0";
  EXPECT_THROW(doc.LoadFromBytes(bad.Build()), EGFFError);
  ExpectFailure<EGFFError>([&] { doc.SaveToBytes(); }, 0, "Unable to save, no file has been loaded that can be saved!");
}

TEST(TGFFFileSave, SavesToItsOwnFileOrAnother) {
  test::TempDir dir;
  auto path = dir.Write("a.utc", AllTypes().Build());
  TGFFFile doc;
  doc.LoadFromFile(path);
  doc.SetFieldValue("Str", "changed");
  doc.SaveToFile(dir / "b.utc");
  EXPECT_EQ(doc.FileName(), path);
  doc.SaveToFile();
  EXPECT_TRUE(doc.Loaded());
  for (const char* name : {"a.utc", "b.utc"}) {
    TGFFFile check;
    check.LoadFromFile(dir / name);
    EXPECT_EQ(check.RootStruct()->FindField("Str")->As<TGFF_CExoString>()->Value(), "changed");
  }
}

// The file's own bytes stay in the document's buffer after loading, and the
// save writes over them: every byte the stored file leaves as junk (the bytes
// above a narrow value, an empty struct's offset) must come out canonical.
TEST(TGFFFileSave, OverwritesJunkOfTheLoadedFileWhenSavingInPlace) {
  GffImage junk;
  junk.labels = {"B", "C", "W", "S", "L"};
  junk.structs = {{0, 0, 5}, {4, 0xDEADBEEF, 0}};
  junk.fields = {{0, 0, 0xABCDEF07}, {1, 1, 0x99887766}, {2, 2, 0xDEAD1234}, {3, 3, 0xBEEF8001}, {15, 4, 0}};
  for (std::uint32_t i = 0; i < 5; ++i) junk.fieldIndices.U32(i);
  junk.listIndices.U32(1).U32(1);
  GffImage clean = junk;
  clean.structs[1][1] = 0xFFFFFFFF;
  clean.fields = {{0, 0, 0x07}, {1, 1, 0x66}, {2, 2, 0x1234}, {3, 3, 0x8001}, {15, 4, 0}};

  test::TempDir dir;
  auto path = dir.Write("a.utc", junk.Build());
  TGFFFile doc;
  doc.LoadFromFile(path);
  doc.SaveToFile();
  EXPECT_SAME_BYTES(test::ToBytes(dir.Read("a.utc")), clean.Build());
}

}  // namespace
}  // namespace vey
