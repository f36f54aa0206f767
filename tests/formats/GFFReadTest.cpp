// GFF reader: field types, labels, and refusal of damaged or hostile files.
#include <gtest/gtest.h>

#include "GFFTestSupport.h"
#include "common/ByteReader.h"
#include "formats/UGFFFile.h"

namespace vey {
namespace {

using test::ExpectFailure;
using test::AllTypes;
using test::GffImage;

TEST(TGFFFileLoad, ReadsEveryFieldType) {
  TGFFFile doc;
  doc.LoadFromBytes(AllTypes().Build());
  ASSERT_TRUE(doc.Loaded());
  EXPECT_EQ(doc.FileType(), "UTC ");
  EXPECT_EQ(doc.FileVersion(), "V3.2");
  const TGFFStruct& root = *doc.RootStruct();
  EXPECT_EQ(root.StructType(), 7u);
  EXPECT_EQ(root.Label(), "");
  ASSERT_EQ(root.FieldCount(), 18);
  EXPECT_EQ(root.FindField("B")->As<TGFF_SByte>()->Value(), 200);
  EXPECT_EQ(root.FindField("C")->As<TGFF_SChar>()->Value(), 'x');
  EXPECT_EQ(root.FindField("W")->As<TGFF_SWord>()->Value(), 65535);
  EXPECT_EQ(root.FindField("S")->As<TGFF_SShort>()->Value(), -2);
  EXPECT_EQ(root.FindField("D")->As<TGFF_SDWORD>()->Value(), 0xFFFFFFFFu);
  EXPECT_EQ(root.FindField("I")->As<TGFF_SInt>()->Value(), -5);
  EXPECT_EQ(root.FindField("D64")->As<TGFF_CDWORD64>()->Value(), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(root.FindField("I64")->As<TGFF_CInt64>()->Value(), -3);
  EXPECT_EQ(root.FindField("F")->As<TGFF_SFloat>()->Value(), 1.5f);
  EXPECT_EQ(root.FindField("Dbl")->As<TGFF_CDouble>()->Value(), 2.5);
  EXPECT_EQ(root.FindField("Str")->As<TGFF_CExoString>()->Value(), "hello");
  EXPECT_EQ(root.FindField("Ref")->As<TGFF_CResRef>()->Value(), "MyItem");
  auto* loc = root.FindField("Loc")->As<TGFF_CExoLocString>();
  ASSERT_NE(loc, nullptr);
  EXPECT_EQ(loc->TotalSize(), 999u);  // kept as read
  EXPECT_EQ(loc->StringRef(), 42u);
  ASSERT_EQ(loc->SubstringCount(), 2);
  EXPECT_EQ(loc->Substrings()[0].Text(), "hi");
  EXPECT_EQ(loc->Substrings()[1].LanguageId(), 3);
  EXPECT_EQ(loc->Substrings()[1].Text(), "");
  EXPECT_EQ(root.FindField("Void")->As<TGFF_CVoid>()->Data(), "\x01\x02\x03");
  EXPECT_EQ(root.FindField("Ori")->As<TGFF_COrientation>()->Value(), (std::array<float, 4>{1, 2, 3, 4}));
  EXPECT_EQ(root.FindField("Pos")->As<TGFF_CPosition>()->Value(), (std::array<float, 3>{5, 6, 7}));

  // A struct reached through a field carries the field's label; list
  // elements carry none, and a struct without fields ignores its offset.
  auto* child = root.FindField("Child")->As<TGFFStruct>();
  EXPECT_EQ(child->Label(), "Child");
  EXPECT_EQ(child->StructType(), 3u);
  EXPECT_EQ(child->FindField("B")->As<TGFF_SByte>()->Value(), 1);
  auto* list = root.FindField("List")->As<TGFFList>();
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->GetStruct(0)->FieldCount(), 0);
  EXPECT_EQ(list->GetStruct(1)->Label(), "");
  EXPECT_EQ(list->GetStruct(1)->StructType(), 9u);
}

TEST(TGFFFileLoad, LabelsAreStoredBytesWithZerosSkippedAndFirstDuplicateWins) {
  GffImage g;
  g.labels = {"ABCDEFGHIJKLMNOP", std::string("Ta\0g", 4), "Tag"};
  g.structs = {{0, 0, 3}};
  g.fields = {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}};
  g.fieldIndices.U32(0).U32(1).U32(2);
  TGFFFile doc;
  doc.LoadFromBytes(g.Build());
  const auto& root = *doc.RootStruct();
  ASSERT_EQ(root.FieldCount(), 2);
  EXPECT_EQ(root.GetFieldByIndex(0)->Label(), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(root.GetFieldByIndex(1)->Label(), "Tag");
  EXPECT_EQ(root.GetFieldByIndex(1)->As<TGFF_SByte>()->Value(), 2);
  // The raw bytes survive for writing back.
  EXPECT_EQ(root.GetFieldByIndex(1)->RawLabel()[2], '\0');
  ExpectFailure<EGFFError>([&] { root.GetFieldByIndex(2); }, 0,
                           "Out of bounds index encountered when attempting to retrieve field from struct !");
}

TEST(TGFFFileLoad, DuplicateLabelsInALargeStructKeepTheFirst) {
  GffImage g;
  g.labels = {"A", "B"};
  g.structs = {{0, 0, 40}};
  for (std::uint32_t i = 0; i < 40; ++i) {
    g.fields.push_back({0, i % 2, i});
    g.fieldIndices.U32(i);
  }
  TGFFFile doc;
  doc.LoadFromBytes(g.Build());
  ASSERT_EQ(doc.RootStruct()->FieldCount(), 2);
  EXPECT_EQ(doc.RootStruct()->FindField("B")->As<TGFF_SByte>()->Value(), 1);
}

TEST(TGFFFileLoad, RefusesOtherVersionsAndLeavesTheDocumentEmpty) {
  TGFFFile doc;
  for (const char* version : {"V3.3", "v3.2", "V3,2"}) {
    doc.LoadFromBytes(AllTypes().Build());
    GffImage g = AllTypes();
    g.version = version;
    ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(g.Build()); }, 1,
                             "Invalid file version. Loaded file is not in GFF V3.2 format!");
    EXPECT_FALSE(doc.Loaded());
    EXPECT_EQ(doc.RootStruct(), nullptr);
    EXPECT_EQ(doc.FileType(), std::string(4, '\0'));
  }
}

TEST(TGFFFileLoad, ResRefOfSeventeenBytesAndUnknownTypeAreRefused) {
  GffImage g;
  g.labels = {"R"};
  g.structs = {{0, 0, 1}};
  g.fields = {{11, 0, 0}};
  g.data.U8(16).Ascii(std::string(16, 'a'));
  TGFFFile doc;
  doc.LoadFromBytes(g.Build());
  EXPECT_EQ(doc.RootStruct()->FindField("R")->As<TGFF_CResRef>()->Length(), 16);

  g.data = test::Bytes().U8(17).Ascii(std::string(17, 'a'));
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(g.Build()); }, 8, "Error loading CResRef field, string is too long!");
  EXPECT_FALSE(doc.Loaded());

  g.fields = {{18, 0, 0}};
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(g.Build()); }, 5,
                           "Invalid field type encountered when reading field 18 data!");
}

TEST(TGFFFileLoad, MissingFileKeepsTheDocument) {
  test::TempDir dir;
  TGFFFile doc;
  auto path = dir.Write("a.utc", AllTypes().Build());
  doc.LoadFromFile(path);
  EXPECT_EQ(doc.FileName(), path);
  auto missing = dir / "none.utc";
  ExpectFailure<EGFFError>([&] { doc.LoadFromFile(missing); }, 0,
                           "Specified file " + missing.string() + " could not be found to be opened!");
  EXPECT_TRUE(doc.Loaded());
  EXPECT_EQ(doc.FileName(), path);
}

// Damaged files: each reference that leaves its block is named in the message.
TEST(TGFFFileLoadDamaged, RefusesReferencesOutsideTheirBlocks) {
  struct Case {
    const char* what;
    std::function<void(GffImage&)> damage;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"no structs", [](GffImage& g) { g.structs.clear(); }, "struct index 0 is outside the struct array"},
      {"child struct", [](GffImage& g) { g.fields[14][2] = 4; }, "struct index 4 is outside the struct array"},
      {"single field", [](GffImage& g) { g.structs[1][1] = 19; }, "field index 19 is outside the field array"},
      {"indexed field", [](GffImage& g) { g.fieldIndices = test::Bytes().U32(0x7FFFFFFF).U32(0); g.structs[0][2] = 2; },
       "field index 2147483647 is outside the field array"},
      {"field indices", [](GffImage& g) { g.structs[0][1] = 4; },
       "the field indices at offset 4 lie outside the field indices block"},
      {"huge field count", [](GffImage& g) { g.structs[0][2] = 0xFFFFFFFF; },
       "the field indices at offset 0 lie outside the field indices block"},
      {"label", [](GffImage& g) { g.fields[0][1] = 18; }, "label index 18 is outside the label array"},
      {"list offset", [](GffImage& g) { g.fields[15][2] = 9; },
       "the list at offset 9 lies outside the list indices block"},
      {"list count", [](GffImage& g) { g.listIndices = test::Bytes().U32(3).U32(2).U32(3); },
       "the list at offset 0 lies outside the list indices block"},
      {"list element", [](GffImage& g) { g.listIndices = test::Bytes().U32(2).U32(2).U32(77); },
       "struct index 77 is outside the struct array"},
      {"data offset", [](GffImage& g) { g.fields[9][2] = 110; },
       "the field data at offset 110 lies outside the field data block"},
      {"string length", [](GffImage& g) { g.fields[10][2] = 93; },
       "the field data at offset 93 lies outside the field data block"},
      {"substring count", [](GffImage& g) { g.fields[12][2] = 0; },
       "the field data at offset 0 lies outside the field data block"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GffImage g = AllTypes();
    c.damage(g);
    TGFFFile doc;
    ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(g.Build()); }, kGFFErrBadReference,
                             std::string("Error loading GFF file, ") + c.message + "!");
    EXPECT_FALSE(doc.Loaded());
  }
}

TEST(TGFFFileLoadDamaged, EveryTruncationIsRefused) {
  auto whole = AllTypes().Build();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    TGFFFile doc;
    try {
      doc.LoadFromBytes(part);
      ADD_FAILURE() << "loaded a file cut at " << n;
    } catch (const EGFFError& e) {
      EXPECT_EQ(e.Code(), kGFFErrTruncated) << n;
    }
  }
  TGFFFile doc;
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(std::vector<std::uint8_t>(whole.begin(), whole.end() - 1)); },
                           kGFFErrTruncated, "Error loading GFF file, the file ends inside its list indices block!");
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(std::vector<std::uint8_t>(whole.begin(), whole.begin() + 20)); },
                           kGFFErrTruncated, "Error loading GFF file, the file ends inside its header!");
}

// Struct i holds one Struct field leading to next(i), for n structs.
GffImage Chain(std::uint32_t n, const std::function<std::uint32_t(std::uint32_t)>& next) {
  GffImage g;
  g.labels = {"Next"};
  for (std::uint32_t i = 0; i < n; ++i) {
    g.structs.push_back({i, i, 1});
    g.fields.push_back({14, 0, next(i)});
  }
  return g;
}

TEST(TGFFFileLoadDamaged, LoopsAreRefusedWithoutRecursingForever) {
  TGFFFile doc;
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(Chain(3, [](std::uint32_t i) { return (i + 1) % 3; }).Build()); },
                           kGFFErrCycle, "Error loading GFF file, struct 0 contains itself!");
  // A list element that leads back to the struct holding the list.
  GffImage g;
  g.labels = {"L"};
  g.structs = {{0, 0, 1}, {0, 0xFFFFFFFF, 0}};
  g.fields = {{15, 0, 0}};
  g.listIndices.U32(2).U32(1).U32(0);
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(g.Build()); }, kGFFErrCycle,
                           "Error loading GFF file, struct 0 contains itself!");
}

TEST(TGFFFileLoadDamaged, NestingIsLimitedFarBeyondRealDocuments) {
  // The last struct of a chain ends it by holding a Byte.
  auto chain = [](std::uint32_t n) {
    GffImage g = Chain(n, [](std::uint32_t i) { return i + 1; });
    g.fields.back() = {0, 0, 0};
    return g.Build();
  };
  TGFFFile doc;
  doc.LoadFromBytes(chain(kGFFMaxDepth + 1));
  const TGFFStruct* s = doc.RootStruct();
  std::size_t depth = 0;
  while (auto* next = s->GetFieldByIndex(0)->As<TGFFStruct>()) {
    s = next;
    ++depth;
  }
  EXPECT_EQ(depth, kGFFMaxDepth);
  ExpectFailure<EGFFError>([&] { doc.LoadFromBytes(chain(kGFFMaxDepth + 2)); }, kGFFErrTooDeep,
                           "Error loading GFF file, structs are nested more than 512 levels deep!");
}

TEST(TGFFFileLoadDamaged, SharedStructsBecomeIndependentCopies) {
  GffImage g;
  g.labels = {"A", "B", "V"};
  g.structs = {{0, 0, 2}, {5, 2, 1}};
  g.fields = {{14, 0, 1}, {14, 1, 1}, {0, 2, 9}};
  g.fieldIndices.U32(0).U32(1);
  TGFFFile doc;
  doc.LoadFromBytes(g.Build());
  auto* a = doc.RootStruct()->FindField("A")->As<TGFFStruct>();
  auto* b = doc.RootStruct()->FindField("B")->As<TGFFStruct>();
  ASSERT_NE(a, b);
  a->FindField("V")->As<TGFF_SByte>()->SetValue(1);
  EXPECT_EQ(b->FindField("V")->As<TGFF_SByte>()->Value(), 9);
  // Saved as a plain tree: three structs, the shared one written twice.
  auto saved = doc.SaveToBytes();
  EXPECT_EQ(LoadU32(saved.data() + 12), 3u);
}

TEST(TGFFFileLoadDamaged, SharingThatMultipliesTheTreeIsRefused) {
  // Each struct refers to the next one twice: 2^40 copies if followed blindly.
  GffImage g;
  g.labels = {"A", "B"};
  for (std::uint32_t i = 0; i < 40; ++i) {
    g.structs.push_back({0, 8 * i, 2});
    g.fields.push_back({14, 0, i + 1});
    g.fields.push_back({14, 1, i + 1});
    g.fieldIndices.U32(2 * i).U32(2 * i + 1);
  }
  g.structs.push_back({0, 0xFFFFFFFF, 0});
  TGFFFile doc;
  try {
    doc.LoadFromBytes(g.Build());
    ADD_FAILURE() << "loaded";
  } catch (const EGFFError& e) {
    EXPECT_EQ(e.Code(), kGFFErrTooLarge);
  }
}

}  // namespace
}  // namespace vey
