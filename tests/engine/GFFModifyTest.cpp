// The GFFList step: fields set by path (list indexes, localized-string
// suffixes, keys that are memory tokens), reserved keys and counting, values
// a field cannot take, and values that would lead outside their folder.
#include <gtest/gtest.h>

#include "GFFTestSupport.h"

namespace vey::test {
namespace {

std::string Str(const TGFFFile& doc, std::string_view path) {
  return doc.GetField(path)->As<TGFF_CExoString>()->Value();
}

TEST(PatchGFFPaths, ListIndexesAndLocalizedSuffixesReachTheirFields) {
  GffFixture f;
  f.ModFile("orc.utc", CreatureGff());
  f.Instructions(
      "[GFFList]\nFile0=orc.utc\n"
      "[orc.utc]\nItemList\\1\\Tag=buckler\nName(strref)=StrRef4\nName(lang0)=New\nTag=2DAMEMORY1\n");
  f.Engine().StrRefTable.push_back({4, 1234});
  f.Engine().Memory = {"chief"};
  f.Engine().PatchGFFFiles();

  auto doc = f.Saved("override/orc.utc");
  EXPECT_EQ(Str(*doc, "ItemList\\1\\Tag"), "buckler");
  EXPECT_EQ(Str(*doc, "ItemList\\0\\Tag"), "sword");
  const auto* name = doc->GetField("Name")->As<TGFF_CExoLocString>();
  EXPECT_EQ(name->StringRef(), 1234u);
  EXPECT_EQ(*name->LanguageText(0), "New");
  EXPECT_EQ(Str(*doc, "Tag"), "chief");
  EXPECT_TRUE(f.Logged(" [Debug] \tModified value \"1234\" to field \"Name(strref)\" in orc.utc."));
  EXPECT_TRUE(f.Logged(" [Debug] \tModified 4 fields in \"orc.utc\"..."));
  EXPECT_TRUE(f.InOrder({"Modifying GFF format files...", "Copying file orc.utc to Override folder...",
                         "Modifying GFF file orc.utc...", "Finished updating GFF file \"orc.utc\"..."}));
  EXPECT_EQ(f.Engine().ProgressCount(), 1);
}

TEST(PatchGFFPaths, MemoryTokenKeyNamesTheStoredFieldPath) {
  GffFixture f;
  f.ModFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nFile0=orc.utc\n[orc.utc]\n2DAMEMORY2=dagger\n");
  f.Engine().Memory = {"unused", "ItemList\\0\\Tag"};
  f.Engine().PatchGFFFiles();
  EXPECT_EQ(Str(*f.Saved("override/orc.utc"), "ItemList\\0\\Tag"), "dagger");
  EXPECT_TRUE(f.Logged(" [Debug] \tModified value \"dagger\" to field \"ItemList\\0\\Tag\" in orc.utc."));
}

TEST(PatchGFFPaths, MissingLanguageAndUnknownPathDoNotCount) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nFile0=orc.utc\n[orc.utc]\nName(lang3)=Neu\nNoSuchField=1\n");
  f.Engine().PatchGFFFiles();
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to store value \"Neu\" in field \"Name(lang3)\" in orc.utc, the "
                       "field's type cannot take it. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to find a field label matching \"NoSuchField\" in orc.utc, skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo changes could be applied to GFF file orc.utc."));
  // Nothing counted: neither saved nor backed up.
  EXPECT_FALSE(f.Exists(f.App() + "backup/orc.utc"));
  const auto original = CreatureGff();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/orc.utc"), std::string(original.begin(), original.end()));
}

TEST(PatchGFFReservedKeys, AreNeverFieldPathsAndBlankValuesWarn) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions(
      "[GFFList]\nFile0=orc.utc\nFile1=nosection.utc\nFile2=orc.utc\n"
      "[orc.utc]\n!SAVEAS_extra=x\n!OverrideType=\n!Filename=\n!Destination=OVERRIDE\nTag=\n");
  f.Engine().PatchGFFFiles();
  EXPECT_TRUE(f.Logged(" [Error] \tNo instruction section found for file nosection.utc, skipping..."));
  EXPECT_EQ(f.CountContaining("Blank value encountered for GFF field label !OverrideType, skipping..."), 2u);
  EXPECT_EQ(f.CountContaining("Blank value encountered for GFF field label !Filename, skipping..."), 2u);
  EXPECT_EQ(f.CountContaining("Blank value encountered for GFF field label Tag, skipping..."), 2u);
  EXPECT_EQ(f.CountContaining("No changes could be applied to GFF file orc.utc."), 2u);
  EXPECT_EQ(f.CountContaining("Unable to find a field label"), 0u);
  // The capitalised override destination edited the file in override.
  EXPECT_EQ(f.CountContaining("Modifying file \"orc.utc\" found in Override folder..."), 2u);
}

TEST(PatchGFFReservedKeys, AddFieldPrefixIsCaseSensitive) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nFile0=orc.utc\n[orc.utc]\naddfield0=add_x\n[add_x]\nFieldType=Byte\nLabel=X\nValue=1\n");
  f.Engine().PatchGFFFiles();
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to find a field label matching \"addfield0\" in orc.utc, skipping..."));
  EXPECT_EQ(f.CountContaining("Added"), 0u);
}

TEST(PatchGFFMended, SignedFieldsTakeMinusAndUnfitValuesWarnWithoutCounting) {
  GffFixture f;
  TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<TGFF_SShort>("S", 1), "");
  doc.AddField(std::make_unique<TGFF_SInt>("I", 1), "");
  doc.AddField(std::make_unique<TGFF_CInt64>("L", 1), "");
  doc.AddField(std::make_unique<TGFF_SByte>("B", 1), "");
  doc.AddField(std::make_unique<TGFF_SWord>("W", 1), "");
  doc.AddField(std::make_unique<TGFF_SInt>("I2", 1), "");
  doc.AddField(std::make_unique<TGFF_SShort>("S2", 1), "");
  f.OverrideFile("n.utc", doc.SaveToBytes());
  f.Instructions(
      "[GFFList]\nFile0=n.utc\n"
      "[n.utc]\nS=-1\nI=-2147483648\nL=-9000000000\nB=-1\nW=-5\nI2=99999999999\nS2=-\n");
  f.Engine().PatchGFFFiles();
  auto saved = f.Saved("override/n.utc");
  EXPECT_EQ(saved->GetField("S")->As<TGFF_SShort>()->Value(), -1);
  EXPECT_EQ(saved->GetField("I")->As<TGFF_SInt>()->Value(), INT32_MIN);
  EXPECT_EQ(saved->GetField("L")->As<TGFF_CInt64>()->Value(), -9000000000LL);
  EXPECT_EQ(saved->GetField("B")->As<TGFF_SByte>()->Value(), 1);
  EXPECT_EQ(saved->GetField("W")->As<TGFF_SWord>()->Value(), 1);
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to store value \"-1\" in field \"B\" in n.utc, the field's type cannot "
                       "take it. Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tUnable to store value \"-\" in field \"S2\" in n.utc, the field's type cannot "
                       "take it. Skipping..."));
  EXPECT_EQ(f.CountContaining("the field's type cannot take it"), 4u);
  EXPECT_EQ(f.CountContaining("Modified value"), 3u);
  EXPECT_TRUE(f.Logged(" [Debug] \tModified 3 fields in \"n.utc\"..."));
  EXPECT_EQ(f.Engine().WarningCount(), 4);
}

TEST(PatchGFFMended, EscapingNamesAreRefusedNamingTheEntry) {
  GffFixture f;
  f.ModFile("orc.utc", CreatureGff());
  f.Instructions(
      "[GFFList]\nF0=a.utc\nF1=b.utc\nF2=c.utc\nF3=d.utc\nF4=e.utc\nF5=orc.utc\n"
      "[a.utc]\n!SaveAs=..\\..\\stolen.utc\nTag=x\n"
      "[b.utc]\n!SourceFile=/etc/passwd\nTag=x\n"
      "[c.utc]\n!Destination=..\\modules\\m.mod\nTag=x\n"
      "[d.utc]\n!Destination=C:\\game\\modules\\m.mod\nTag=x\n"
      "[e.utc]\n!Filename=sub\\orc.utc\nTag=x\n"
      "[orc.utc]\nTag=fine\n");
  f.Engine().PatchGFFFiles();
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid !SaveAs value \"..\\..\\stolen.utc\" for GFF file a.utc: it would lead "
                       "outside its folder, skipping..."));
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid !SourceFile value \"/etc/passwd\" for GFF file b.utc: it would lead "
                       "outside its folder, skipping..."));
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid !Destination value \"..\\modules\\m.mod\" for GFF file c.utc: it would "
                       "lead outside its folder, skipping..."));
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid !Destination value \"C:\\game\\modules\\m.mod\" for GFF file d.utc: it "
                       "would lead outside its folder, skipping..."));
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid !Filename value \"sub\\orc.utc\" for GFF file e.utc: it must be a plain "
                       "file name, skipping..."));
  EXPECT_EQ(f.Engine().ErrorCount(), 5);
  EXPECT_EQ(f.CountContaining("No valid"), 0u);
  EXPECT_FALSE(f.Exists((f.dir.Path() / "stolen.utc").string()));
  EXPECT_EQ(Str(*f.Saved("override/orc.utc"), "Tag"), "fine");
}

TEST(PatchGFFFailures, DocumentOfAnotherVersionEndsTheRun) {
  GffFixture f;
  auto bytes = CreatureGff();
  bytes[7] = '3';
  f.OverrideFile("bad.utc", bytes);
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nF0=bad.utc\nF1=orc.utc\n[bad.utc]\nTag=x\n[orc.utc]\nTag=x\n");
  ExpectFailure<EGFFError>([&] { f.Engine().PatchGFFFiles(); }, 1,
                           "Invalid file version. Loaded file is not in GFF V3.2 format!");
  EXPECT_EQ(Str(*f.Saved("override/orc.utc"), "Tag"), "orc");
}

TEST(PatchGFFBackups, FileEditedInOverrideIsBackedUpOnce) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nF0=orc.utc\nF1=orc.utc\n[orc.utc]\nValue=9\n");
  f.Engine().PatchGFFFiles();
  EXPECT_EQ(f.CountContaining("Saving unaltered backup copy of orc.utc file in " + f.App() + "backup/"), 1u);
  auto original = CreatureGff();
  EXPECT_EQ(f.ReadFile(f.App() + "backup/orc.utc"), std::string(original.begin(), original.end()));
  EXPECT_EQ(f.Saved("override/orc.utc")->GetField("Value")->As<TGFF_SInt>()->Value(), 9);
}

}  // namespace
}  // namespace vey::test
