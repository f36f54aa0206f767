// GFF path access: resolving paths, setting values from text, adding nodes.
#include <gtest/gtest.h>

#include "GFFTestSupport.h"
#include "formats/UGFFFile.h"

namespace vey {
namespace {

using test::ExpectFailure;
using R = TGFFSetResult;

// Top level: Tag, A, ItemList (five structs with Tag and Count), Desc
// (languages 0 and 2), Ori, Pos, Sub { Inner }.
class GFFPath : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.New("UTC ");
    auto* root = doc.RootStruct();
    root->AddField(std::make_unique<TGFF_CExoString>("Tag", "top"));
    root->AddField(std::make_unique<TGFF_SByte>("A", 1));
    auto list = std::make_unique<TGFFList>("ItemList");
    for (int i = 0; i < 5; ++i) {
      auto e = std::make_unique<TGFFStruct>();
      e->AddField(std::make_unique<TGFF_CExoString>("Tag", "item" + std::to_string(i)));
      e->AddField(std::make_unique<TGFF_SInt>("Count", i));
      list->AddStruct(std::move(e));
    }
    root->AddField(std::move(list));
    auto desc = std::make_unique<TGFF_CExoLocString>("Desc", 5);
    desc->AddSubstring(0, "zero");
    desc->AddSubstring(2, "two");
    root->AddField(std::move(desc));
    root->AddField(std::make_unique<TGFF_COrientation>("Ori", std::array<float, 4>{1, 2, 3, 4}));
    root->AddField(std::make_unique<TGFF_CPosition>("Pos", std::array<float, 3>{1, 2, 3}));
    auto sub = std::make_unique<TGFFStruct>("Sub");
    sub->AddField(std::make_unique<TGFF_SByte>("Inner", 7));
    root->AddField(std::move(sub));
  }
  template <class T>
  T& Field(std::string_view path) {
    TGFFField* f = doc.GetField(path);
    EXPECT_NE(f, nullptr) << path;
    return *f->As<T>();
  }

  TGFFFile doc;
};

TEST_F(GFFPath, BackslashesAroundComponentsDoNotMatterButCaseDoes) {
  TGFFField* tag = doc.GetField("Tag");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(doc.GetField("\\Tag"), tag);
  EXPECT_EQ(doc.GetField("Tag\\\\"), tag);
  EXPECT_EQ(doc.GetField("Sub\\\\Inner"), doc.GetField("\\Sub\\Inner\\"));
  EXPECT_EQ(doc.GetField("tag"), nullptr);
  EXPECT_EQ(doc.GetField("Nope\\Tag"), nullptr);
  EXPECT_EQ(doc.GetField("Sub\\Nope"), nullptr);
}

TEST_F(GFFPath, PathsOfOneOrTwoCharactersAreTakenWhole) {
  ASSERT_NE(doc.GetField("A"), nullptr);
  EXPECT_EQ(doc.GetField("\\A"), nullptr);
  EXPECT_EQ(doc.GetField("A\\"), nullptr);
  EXPECT_EQ(doc.GetField("\\\\"), nullptr);
  ExpectFailure<EGFFError>([&] { doc.GetField("\\\\\\"); }, 0,
                           "Invalid field path \\\\\\ encountered! Unable to load specified field.");
}

TEST_F(GFFPath, ListIndexesSelectElements) {
  TGFFField* second = doc.GetField("ItemList\\1");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second, doc.RootStruct()->FindField("ItemList")->As<TGFFList>()->GetStruct(1));
  EXPECT_EQ(Field<TGFF_CExoString>("ItemList\\4\\Tag").Value(), "item4");
  EXPECT_EQ(doc.GetField("ItemList\\5"), nullptr);
  EXPECT_EQ(doc.GetField("ItemList\\99999999999999999999"), nullptr);
  EXPECT_EQ(doc.GetField("ItemList\\0\\Nope"), nullptr);
}

TEST_F(GFFPath, DescendingIntoValuesOrBadIndexesFails) {
  ExpectFailure<EGFFError>([&] { doc.GetField("ItemList\\x"); }, 0,
                           "Unable to retrieve struct at path ItemList\\x, x is not a valid list index!");
  ExpectFailure<EGFFError>([&] { doc.GetField("ItemList\\-1"); }, 0,
                           "Unable to retrieve struct at path ItemList\\-1, -1 is not a valid list index!");
  ExpectFailure<EGFFError>([&] { doc.GetField("Tag\\x"); }, 0,
                           "Unable to retrieve field at path Tag\\x, the field Tag is not a LIST or STRUCT!");
  ExpectFailure<EGFFError>([&] { doc.GetField("ItemList\\0\\Tag\\x"); }, 1,
                           "Unable to retrieve struct field at path ItemList\\0\\Tag\\x, the field Tag is not a "
                           "LIST or STRUCT!");
  ExpectFailure<EGFFError>([&] { doc.GetField("\\Sub\\Inner\\x\\y"); }, 1,
                           "Unable to retrieve struct field at path \\Sub\\Inner\\x\\y, the field Inner is not a "
                           "LIST or STRUCT!");
}

TEST_F(GFFPath, IntegersFromTextKeepLowBitsAndAcceptSignsOnlyWhereSigned) {
  auto* root = doc.RootStruct();
  root->AddField(std::make_unique<TGFF_SWord>("W", 0));
  root->AddField(std::make_unique<TGFF_SShort>("S", 0));
  root->AddField(std::make_unique<TGFF_SDWORD>("D", 0));
  root->AddField(std::make_unique<TGFF_CInt64>("I64", 0));
  root->AddField(std::make_unique<TGFF_CDWORD64>("D64", 5));

  EXPECT_EQ(doc.SetFieldValue("A", "300"), R::Stored);
  EXPECT_EQ(Field<TGFF_SByte>("A").Value(), 44);
  EXPECT_EQ(doc.SetFieldValue("A", "-5"), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("W", "70000"), R::Stored);
  EXPECT_EQ(Field<TGFF_SWord>("W").Value(), 4464);
  EXPECT_EQ(doc.SetFieldValue("S", "-2"), R::Stored);
  EXPECT_EQ(Field<TGFF_SShort>("S").Value(), -2);
  EXPECT_EQ(doc.SetFieldValue("ItemList\\2\\Count", "-5"), R::Stored);
  EXPECT_EQ(Field<TGFF_SInt>("ItemList\\2\\Count").Value(), -5);
  EXPECT_EQ(doc.SetFieldValue("I64", "-9223372036854775808"), R::Stored);
  EXPECT_EQ(Field<TGFF_CInt64>("I64").Value(), INT64_MIN);
  EXPECT_EQ(doc.SetFieldValue("D", "4294967295"), R::Stored);
  EXPECT_EQ(Field<TGFF_SDWORD>("D").Value(), 0xFFFFFFFFu);
  EXPECT_EQ(doc.SetFieldValue("D", "3000000000"), R::Stored);
  EXPECT_EQ(Field<TGFF_SDWORD>("D").Value(), 3000000000u);

  // Unusable texts leave the field as it was and say so.
  for (const char* bad : {"-", "", "1.5", "+3", "2147483648", "-2147483649", "12a"}) {
    EXPECT_EQ(doc.SetFieldValue("ItemList\\2\\Count", bad), R::Rejected) << bad;
  }
  EXPECT_EQ(doc.SetFieldValue("D", "4294967296"), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("I64", "9223372036854775808"), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("D64", "7"), R::Rejected);
  EXPECT_EQ(Field<TGFF_SInt>("ItemList\\2\\Count").Value(), -5);
  EXPECT_EQ(Field<TGFF_CDWORD64>("D64").Value(), 5u);
  EXPECT_EQ(doc.SetFieldValue("Nope", "1"), R::NoField);
}

TEST_F(GFFPath, RealsAndCharactersFromText) {
  doc.RootStruct()->AddField(std::make_unique<TGFF_SFloat>("F", 0));
  doc.RootStruct()->AddField(std::make_unique<TGFF_CDouble>("Dbl", 0));
  doc.RootStruct()->AddField(std::make_unique<TGFF_SChar>("C", 'a'));
  EXPECT_EQ(doc.SetFieldValue("F", "-0,5"), R::Stored);
  EXPECT_EQ(Field<TGFF_SFloat>("F").Value(), -0.5f);
  EXPECT_EQ(doc.SetFieldValue("Dbl", "12.25"), R::Stored);
  EXPECT_EQ(Field<TGFF_CDouble>("Dbl").Value(), 12.25);
  for (const char* bad : {"1.2.3", ".5", "1.", "1e", "E5", "inf", "-"}) {
    EXPECT_EQ(doc.SetFieldValue("Dbl", bad), R::Rejected) << bad;
  }
  EXPECT_EQ(Field<TGFF_CDouble>("Dbl").Value(), 12.25);
  // Real instruction files write exponents.
  EXPECT_EQ(doc.SetFieldValue("Dbl", "-8.4E-7"), R::Stored);
  EXPECT_EQ(Field<TGFF_CDouble>("Dbl").Value(), -8.4e-7);
  EXPECT_EQ(doc.SetFieldValue("Dbl", "12.25"), R::Stored);
  EXPECT_EQ(doc.SetFieldValue("C", ""), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("C", "xyz"), R::Stored);
  EXPECT_EQ(Field<TGFF_SChar>("C").Value(), 'x');
}

TEST_F(GFFPath, StringsAndResRefs) {
  doc.RootStruct()->AddField(std::make_unique<TGFF_CResRef>("Ref", ""));
  EXPECT_EQ(doc.SetFieldValue("Ref", "ABCdefGHIjklMNOpqR"), R::Stored);
  EXPECT_EQ(Field<TGFF_CResRef>("Ref").Value(), "abcdefghijklmnop");
  EXPECT_EQ(doc.SetFieldValue("Tag", ""), R::Stored);
  EXPECT_EQ(Field<TGFF_CExoString>("Tag").Value(), "");
  // A suffix is cut off for every type.
  EXPECT_EQ(doc.SetFieldValue("Tag(strref)", "x"), R::Stored);
  EXPECT_EQ(Field<TGFF_CExoString>("Tag").Value(), "x");
}

TEST_F(GFFPath, LocalizedStringSuffixes) {
  auto& desc = Field<TGFF_CExoLocString>("Desc");
  EXPECT_EQ(doc.SetFieldValue("Desc(strref)", "-1"), R::Stored);
  EXPECT_EQ(desc.StringRef(), 0xFFFFFFFFu);
  EXPECT_EQ(doc.SetFieldValue("Desc(strref)", "123"), R::Stored);
  EXPECT_EQ(desc.StringRef(), 123u);
  EXPECT_EQ(doc.SetFieldValue("Desc(strref)", "-2"), R::Rejected);
  EXPECT_EQ(desc.StringRef(), 123u);

  EXPECT_EQ(doc.SetFieldValue("Desc(lang2)", "deux!"), R::Stored);
  EXPECT_EQ(*desc.LanguageText(2), "deux!");
  EXPECT_EQ(desc.TotalSize(), 8u + 8 + 4 + 8 + 5);
  // Only existing languages change; other suffixes and none change nothing.
  for (const char* path : {"Desc(lang1)", "Desc", "Desc(langx)", "Desc(lang)", "Desc(Lang0)", "Desc(other)"}) {
    EXPECT_EQ(doc.SetFieldValue(path, "new"), R::Rejected) << path;
  }
  EXPECT_EQ(desc.SubstringCount(), 2);
  EXPECT_EQ(*desc.LanguageText(0), "zero");
  // ")" before "(": no suffix, and the path ends before "(".
  EXPECT_EQ(doc.SetFieldValue("Desc)x(lang0", "new"), R::NoField);
}

TEST_F(GFFPath, OrientationAndPositionNeedAllTheirParts) {
  EXPECT_EQ(doc.SetFieldValue("Ori", "5|6|7"), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("Ori", "5|x|7|8"), R::PartlyStored);
  EXPECT_EQ(Field<TGFF_COrientation>("Ori").Value(), (std::array<float, 4>{5, 2, 7, 8}));
  EXPECT_EQ(doc.SetFieldValue("Pos", "0,5|-1|2.25"), R::Stored);
  EXPECT_EQ(Field<TGFF_CPosition>("Pos").Value(), (std::array<float, 3>{0.5f, -1, 2.25f}));
  EXPECT_EQ(doc.SetFieldValue("Pos", "1||2|3"), R::Rejected);
  EXPECT_EQ(doc.SetFieldValue("Pos", "a|b|c"), R::Rejected);
}

TEST_F(GFFPath, AddFieldAttachesUnderStructsAndLists) {
  TGFFField* added = doc.AddField(std::make_unique<TGFF_SByte>("New", 3), "");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(doc.GetField("New"), added);
  EXPECT_EQ(doc.AddField(std::make_unique<TGFF_SByte>("New", 4), ""), nullptr);
  EXPECT_EQ(Field<TGFF_SByte>("New").Value(), 3);
  ASSERT_NE(doc.AddField(std::make_unique<TGFF_SByte>("Deep", 3), "ItemList\\1"), nullptr);
  EXPECT_NE(doc.GetField("ItemList\\1\\Deep"), nullptr);

  TGFFField* element = doc.AddField(std::make_unique<TGFFStruct>("Labelled"), "ItemList");
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->Label(), "");
  EXPECT_EQ(doc.GetField("ItemList\\5"), element);

  ExpectFailure<EGFFError>([&] { doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "ItemList"); }, 0,
                           "Unable to add new field to the LIST ItemList since the field B is not a STRUCT!");
  ExpectFailure<EGFFError>([&] { doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "Tag"); }, 0,
                           "Unable to add new field at path Tag since the field Tag is not a LIST or STRUCT!");
  ExpectFailure<EGFFError>([&] { doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "Sub\\Nope"); }, 0,
                           "Unable to add new field at path Sub\\Nope since the specified parent field could not "
                           "be found.");
}

// The index one past the last element is the easiest to get wrong: it must
// find nothing through every way a path is used, never the memory after the list.
TEST_F(GFFPath, ListIndexEqualToTheCountFindsNothing) {
  EXPECT_EQ(doc.GetField("ItemList\\5"), nullptr);
  EXPECT_EQ(doc.GetField("ItemList\\5\\Tag"), nullptr);
  EXPECT_EQ(doc.SetFieldValue("ItemList\\5\\Count", "1"), R::NoField);
  ExpectFailure<EGFFError>([&] { doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "ItemList\\5"); }, 0,
                           "Unable to add new field at path ItemList\\5 since the specified parent field could "
                           "not be found.");
  auto* list = doc.GetField("ItemList")->As<TGFFList>();
  ExpectFailure<EGFFError>([&] { list->GetStruct(5); }, 0,
                           "Out of bounds index 5 when trying to get STRUCT from LIST ItemList!");
}

TEST(TGFFModel, NodeRulesAndErrors) {
  int big = 300;
  TGFF_SByte b("ABCDEFGHIJKLMNOPQRS", big);
  EXPECT_EQ(b.Label(), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(b.Value(), 44);
  TGFFList list("L");
  ExpectFailure<EGFFError>([&] { list.GetStruct(0); }, 0, "Out of bounds index 0 when trying to get STRUCT from LIST L!");
  TGFF_CExoLocString loc("Loc", 1);
  EXPECT_EQ(loc.TotalSize(), 8u);
  ExpectFailure<EGFFError>([&] { loc.SetSubstringText(0, "x"); }, 21,
                           "Invalid substring index when setting CExoLocString text!");
  ExpectFailure<EGFFError>([&] { loc.AddSubstring(-1, "x"); }, 23,
                           "Invalid Language ID specified when adding CExoLocString substring!");
  loc.AddSubstring(4, "abc");
  loc.AddSubstring(4, "abcd");  // replaces rather than appends
  EXPECT_EQ(loc.SubstringCount(), 1);
  EXPECT_EQ(loc.TotalSize(), 8u + 8 + 4);
  EXPECT_TRUE(loc.SetLanguageText(6, "x", true));
  EXPECT_EQ(loc.SubstringCount(), 2);
}

}  // namespace
}  // namespace vey
