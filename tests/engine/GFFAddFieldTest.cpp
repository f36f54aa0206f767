// AddField sections: nested subtrees with list indexes and stored paths, the
// modify-instead rules, new fields of each kind, and the mended faults
// (cycles, lone minus signs, labels cut to 16, one-character labels).
#include <gtest/gtest.h>

#include "GFFTestSupport.h"

namespace vey::test {
namespace {

// Runs the GFF step on orc.utc (the creature document in override) with the
// given keys for it and further sections.
void RunOn(GffFixture& f, std::string_view keys, std::string_view sections) {
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nFile0=orc.utc\n[orc.utc]\n" + std::string(keys) + std::string(sections));
  f.Engine().PatchGFFFiles();
}

TEST(AddGFFFieldNested, StructInListInStructWithListIndexAndStoredPath) {
  GffFixture f;
  RunOn(f, "AddField0=add_outer\nAddField1=add_item\n2DAMEMORY2=wrapped\n",
        "[add_outer]\nFieldType=Struct\nLabel=Outer\nTypeId=5\nAddField1=add_items\n"
        "[add_items]\nFieldType=List\nLabel=Items\nAddField1=add_elem\nAddField2=add_elem\n"
        "[add_elem]\nFieldType=Struct\nTypeId=listindex\n2DAMEMORY1=listindex\nAddField1=add_tag\n"
        "[add_tag]\nFieldType=ExoString\nLabel=Tag\nValue=2DAMEMORY1\n2DAMEMORY2=!fieldpath\n"
        "[add_item]\nFieldType=Struct\nPath=ItemList\nTypeId=LISTINDEX\n2DAMEMORY3=listindex\n");
  auto doc = f.Saved("override/orc.utc");
  EXPECT_EQ(doc->GetField("Outer")->As<TGFFStruct>()->StructType(), 5u);
  const auto* items = doc->GetField("Outer\\Items")->As<TGFFList>();
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->GetStruct(1)->StructType(), 1u);
  EXPECT_EQ(doc->GetField("Outer\\Items\\0\\Tag")->As<TGFF_CExoString>()->Value(), "0");
  // The last stored path (the second element's Tag) was then used as a key.
  EXPECT_EQ(doc->GetField("Outer\\Items\\1\\Tag")->As<TGFF_CExoString>()->Value(), "wrapped");
  EXPECT_EQ(doc->GetField("ItemList")->As<TGFFList>()->GetStruct(2)->StructType(), 2u);
  EXPECT_EQ(f.Engine().Memory, (TMemory{"1", "\\Outer\\Items\\1\\Tag", "2"}));

  EXPECT_TRUE(f.Logged(" [Debug] \tAdded Struct field \"Outer\" at position \"root\""));
  EXPECT_TRUE(f.Logged(" [Debug] \tAdded List field \"Items\" at position \"\\Outer\""));
  EXPECT_TRUE(f.Logged(" [Debug] \tAdded Struct, index 1, at position \"\\Outer\\Items\""));
  EXPECT_TRUE(f.Logged(" [Debug] \tProcessing new sub-fields at \\Outer\\Items\\0."));
  EXPECT_TRUE(f.Logged(" [Debug] \tFound a 2DAMEMORY3 token! Storing ListIndex \"2\" from GFF to memory..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tFound a 2DAMEMORY2 token! Storing Field Path \"\\Outer\\Items\\1\\Tag\" from GFF "
                       "to memory..."));
  EXPECT_EQ(f.CountContaining("Added new field to GFF file orc.utc..."), 2u);
  EXPECT_TRUE(f.Logged(" [Debug] \tModified 3 fields in \"orc.utc\"..."));
}

TEST(AddGFFFieldModify, ExistingFieldsChangeWhenTypeAndValueFit) {
  GffFixture f;
  RunOn(f, "AddField0=value\nAddField1=tag_as_int\nAddField2=name\nAddField3=items\nAddField4=facing\n",
        "[value]\nFieldType=Int\nLabel=Value\nValue=-7\n"
        "[tag_as_int]\nFieldType=Int\nLabel=Tag\nValue=1\n"
        "[name]\nFieldType=ExoLocString\nLabel=Name\nlang0=Neu\nlang2=Zwei\n"
        "[items]\nFieldType=List\nLabel=ItemList\nAddField1=item\n"
        "[item]\nFieldType=Struct\nTypeId=listindex\n"
        "[facing]\nFieldType=Orientation\nLabel=Facing\nValue=1|2|3\n");
  auto doc = f.Saved("override/orc.utc");
  EXPECT_EQ(doc->GetField("Value")->As<TGFF_SInt>()->Value(), -7);
  const auto* name = doc->GetField("Name")->As<TGFF_CExoLocString>();
  EXPECT_EQ(name->StringRef(), TGFF_CExoLocString::kNoStrRef);  // no StrRef key: its default -1
  EXPECT_EQ(*name->LanguageText(0), "Neu");
  EXPECT_EQ(*name->LanguageText(2), "Zwei");
  const auto* items = doc->GetField("ItemList")->As<TGFFList>();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->GetStruct(2)->StructType(), 2u);
  EXPECT_EQ(doc->GetField("Facing")->As<TGFF_COrientation>()->Value(), (std::array<float, 4>{1, 2, 3, 4}));

  EXPECT_TRUE(f.Logged(" [Install] \tA Field with the label \"Value\" already exists at \"root\", modifying instead..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tA Field with the label \"Tag\" already exists at \"root\", skipping it..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tAdded Struct, index 2, at position \"\\ItemList\""));
  // A vector value of the wrong size changes nothing and says so.
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to store value \"1|2|3\" in field \"Facing\" in orc.utc, the field's "
                       "type cannot take it. Skipping..."));
  // Modified fields count, so the document is saved; only attached ones log "Added new field".
  EXPECT_TRUE(f.Logged(" [Debug] \tModified 3 fields in \"orc.utc\"..."));
  EXPECT_EQ(f.CountContaining("Added new field to GFF file"), 0u);
}

TEST(AddGFFFieldModify, ModificationAloneIsSavedAndCharTakesEmptyValue) {
  GffFixture f;
  TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<TGFF_SChar>("C", 'x'), "");
  doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "");
  f.OverrideFile("c.utc", doc.SaveToBytes());
  f.Instructions("[GFFList]\nF=c.utc\n[c.utc]\nAddField0=c\nAddField1=b\n"
                 "[c]\nFieldType=Char\nLabel=C\n[b]\nFieldType=Byte\nLabel=B\nValue=abc\n");
  f.Engine().PatchGFFFiles();
  EXPECT_EQ(f.Saved("override/c.utc")->GetField("C")->As<TGFF_SChar>()->Value(), '\0');
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to store value \"abc\" in field \"B\" in c.utc, the field's type cannot "
                       "take it. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Debug] \tModified 1 fields in \"c.utc\"..."));
}

TEST(AddGFFFieldCreate, TypeNamesAndValueTests) {
  GffFixture f;
  RunOn(f,
        "AddField0=lower\nAddField1=word\nAddField2=int\nAddField3=minus\nAddField4=char\nAddField5=short\n"
        "AddField6=dword\nAddField7=pos\nAddField8=badpos\nAddField9=resref\n",
        "[lower]\nFieldType=byte\nLabel=L\nValue=1\n"
        "[word]\nFieldType=Word\nLabel=W\nValue=-5\n"
        "[int]\nFieldType=Int\nLabel=I\nValue=-5\n"
        "[minus]\nFieldType=Int\nLabel=M\nValue=-\n"
        "[char]\nFieldType=Char\nLabel=C\n"
        "[short]\nFieldType=Short\nLabel=S\nValue=-300\n"
        "[dword]\nFieldType=DWORD\nLabel=D\nValue=4294967295\n"
        "[pos]\nFieldType=Position\nLabel=P\nValue=1.5|2\n"
        "[badpos]\nFieldType=Position\nLabel=Q\nValue=1|x|3\n"
        "[resref]\nFieldType=ResRef\nLabel=R\nValue=Some_Long_Name_Of_20\n");
  auto doc = f.Saved("override/orc.utc");
  EXPECT_EQ(doc->GetField("I")->As<TGFF_SInt>()->Value(), -5);
  EXPECT_EQ(doc->GetField("S")->As<TGFF_SShort>()->Value(), -300);
  EXPECT_EQ(doc->GetField("D")->As<TGFF_SDWORD>()->Value(), 0xFFFFFFFFu);
  EXPECT_EQ(doc->GetField("P")->As<TGFF_CPosition>()->Value(), (std::array<float, 3>{1.5f, 2, 0}));
  EXPECT_EQ(doc->GetField("R")->As<TGFF_CResRef>()->Value(), "some_long_name_o");
  for (const char* absent : {"L", "W", "M", "C", "Q"}) EXPECT_EQ(doc->GetField(absent), nullptr) << absent;
  for (const char* section : {"lower", "word", "minus", "char", "badpos"})
    EXPECT_EQ(f.CountContaining(std::string("specified in section \"") + section + "\" when trying to add fields to "
                                "orc.utc, skipping..."),
              1u)
        << section;
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid field type \"byte\" or data specified in section \"lower\" when trying "
                       "to add fields to orc.utc, skipping..."));
}

TEST(AddGFFFieldCreate, LocalizedStringKeysAndStrRef) {
  GffFixture f;
  RunOn(f, "AddField0=desc\nAddField1=bad\n",
        "[desc]\nFieldType=ExoLocString\nLabel=Desc\nStrRef=StrRef4\nlang0=Zero\nlang3=Three\nlang=no\nlangx=no\n"
        "[bad]\nFieldType=ExoLocString\nLabel=Bad\nStrRef=xyz\n");
  auto doc = f.Saved("override/orc.utc");
  ASSERT_NE(doc->GetField("Desc"), nullptr);
  const auto* desc = doc->GetField("Desc")->As<TGFF_CExoLocString>();
  ASSERT_EQ(desc->SubstringCount(), 2);
  EXPECT_EQ(desc->Substrings()[0].LanguageId(), 0);
  EXPECT_EQ(desc->Substrings()[1].LanguageId(), 3);
  EXPECT_EQ(*desc->LanguageText(3), "Three");
  // StrRef4 is not in the (empty) token table: it resolves to 0 with a warning.
  EXPECT_EQ(desc->StringRef(), 0u);
  EXPECT_EQ(doc->GetField("Bad")->As<TGFF_CExoLocString>()->StringRef(), TGFF_CExoLocString::kNoStrRef);
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid StrRef value \"xyz\" when attempting to add ExoLocString. Defaulting to "
                       "-1..."));
}

TEST(AddGFFFieldCreate, ParentAndLabelProblemsWarn) {
  GffFixture f;
  RunOn(f, "AddField0=nosuch\nAddField1=noparent\nAddField2=nolabel\nAddField3=tagparent\nAddField4=\n",
        "[noparent]\nFieldType=Byte\nPath=Missing\nLabel=X\nValue=1\n"
        "[nolabel]\nFieldType=Byte\nValue=1\n"
        "[tagparent]\nFieldType=Byte\nPath=Tag\nLabel=X\nValue=1\n");
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to locate section \"nosuch\" when attempting to add GFF Field, skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tParent field at \"Missing\" does not exist or is not a LIST or STRUCT! Unable to "
                       "add new Field \"X\"..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tParent field at \"Tag\" does not exist or is not a LIST or STRUCT! Unable to "
                       "add new Field \"X\"..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo field label has been specified for new field in section \"nolabel\"! Unable "
                       "to create field..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tBlank value encountered for GFF field label AddField4, skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo changes could be applied to GFF file orc.utc."));
}

TEST(AddGFFFieldCreate, NonStructUnderListEndsTheRun) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nF=orc.utc\n[orc.utc]\nAddField0=b\n[b]\nFieldType=Byte\nPath=ItemList\nLabel=X\nValue=1\n");
  ExpectFailure<EGFFError>([&] { f.Engine().PatchGFFFiles(); }, 0,
                           "Unable to add new field to the LIST ItemList since the field X is not a STRUCT!");
}

TEST(AddGFFFieldNested, KeyExactlyAddFieldIsIgnoredBelowTheTop) {
  GffFixture f;
  RunOn(f, "AddField=outer\n",
        "[outer]\nFieldType=Struct\nLabel=Outer\nAddField=inner\n[inner]\nFieldType=Byte\nLabel=X\nValue=1\n");
  auto doc = f.Saved("override/orc.utc");
  EXPECT_NE(doc->GetField("Outer"), nullptr);
  EXPECT_EQ(doc->GetField("Outer\\X"), nullptr);
}

TEST(AddGFFFieldMended, SectionsThatNameThemselvesStop) {
  GffFixture f;
  RunOn(f, "AddField0=self\nAddField1=ping\n",
        "[self]\nFieldType=Struct\nLabel=Self\nAddField1=SELF\n"
        "[ping]\nFieldType=Struct\nLabel=Ping\nAddField1=pong\n"
        "[pong]\nFieldType=Struct\nLabel=Pong\nAddField1=ping\nAddField2=leaf\n"
        "[leaf]\nFieldType=Byte\nLabel=Leaf\nValue=1\n");
  auto doc = f.Saved("override/orc.utc");
  EXPECT_NE(doc->GetField("Self"), nullptr);
  EXPECT_EQ(doc->GetField("Self")->As<TGFFStruct>()->FieldCount(), 0);
  EXPECT_NE(doc->GetField("Ping\\Pong\\Leaf"), nullptr);
  EXPECT_EQ(doc->GetField("Ping\\Pong\\Ping"), nullptr);
  EXPECT_TRUE(f.Logged(" [Warning] \tSection \"SELF\" adds fields inside itself through its AddField keys, skipping "
                       "it..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tSection \"ping\" adds fields inside itself through its AddField keys, skipping "
                       "it..."));
  // The same section used twice side by side is no cycle.
  EXPECT_EQ(f.CountContaining("adds fields inside itself"), 2u);
}

TEST(AddGFFFieldMended, ChainsDeeperThanADocumentCanHoldStop) {
  GffFixture f;
  std::string sections;
  for (int i = 0; i < 600; ++i)
    sections += "[s" + std::to_string(i) + "]\nFieldType=Struct\nLabel=S\nAddField1=s" + std::to_string(i + 1) + "\n";
  RunOn(f, "AddField0=s0\n", sections);
  EXPECT_TRUE(f.Logged(" [Warning] \tSection \"s512\" is nested too deeply to add fields, skipping it..."));
  // The saved document reads back.
  std::string path = "S";
  for (int i = 1; i < 512; ++i) path += "\\S";
  EXPECT_NE(f.Saved("override/orc.utc")->GetField(path), nullptr);
}

TEST(AddGFFFieldMended, CutLabelThatCollidesIsNotReportedAsAdded) {
  GffFixture f;
  RunOn(f, "AddField0=a\nAddField1=b\n",
        "[a]\nFieldType=Byte\nLabel=ABCDEFGHIJKLMNOP\nValue=1\n"
        "[b]\nFieldType=Byte\nLabel=ABCDEFGHIJKLMNOPQ\nValue=2\n");
  EXPECT_EQ(f.Saved("override/orc.utc")->GetField("ABCDEFGHIJKLMNOP")->As<TGFF_SByte>()->Value(), 1);
  EXPECT_TRUE(f.Logged(" [Warning] \tA Field with the label \"ABCDEFGHIJKLMNOPQ\" already exists at \"root\", skipping "
                       "it..."));
  EXPECT_EQ(f.CountContaining("Added new field to GFF file"), 1u);
}

TEST(AddGFFFieldMended, OneCharacterLabelAtTopGivesAResolvablePath) {
  GffFixture f;
  RunOn(f, "AddField0=a\n",
        "[a]\nFieldType=Struct\nLabel=A\nAddField1=b\n2DAMEMORY1=!fieldpath\n"
        "[b]\nFieldType=Byte\nLabel=B\nValue=4\n");
  EXPECT_EQ(f.Saved("override/orc.utc")->GetField("A\\B")->As<TGFF_SByte>()->Value(), 4);
  EXPECT_EQ(f.Engine().Memory, (TMemory{"A"}));
}

}  // namespace
}  // namespace vey::test
