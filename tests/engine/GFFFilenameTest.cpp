// GFFList entries whose section names the patched file through "!Filename":
// the file name everywhere a file is named, the entry's own section for every
// other key, and refused values.
#include <gtest/gtest.h>

#include "GFFTestSupport.h"

namespace vey::test {
namespace {

std::string DocumentTag(const TGFFFile& doc) { return doc.GetField("Tag")->As<TGFF_CExoString>()->Value(); }

TEST(PatchGFFFilename, LabelThatNamesNoFileLocatesTheNamedOne) {
  GffFixture f;
  f.ModFile("orc.utc", CreatureGff());
  // A section named like the file exists too, but it is not this entry's.
  f.Instructions(
      "[GFFList]\nF0=ghost.utc\n"
      "[ghost.utc]\n!filename=orc.utc\nTag=through_label\n"
      "[orc.utc]\n!SaveAs=other.utc\n");
  f.Engine().PatchGFFFiles();
  EXPECT_EQ(DocumentTag(*f.Saved("override/orc.utc")), "through_label");
  EXPECT_FALSE(f.Exists(f.Game() + "override/other.utc"));
  EXPECT_FALSE(f.Exists(f.Game() + "override/ghost.utc"));
  EXPECT_TRUE(f.InOrder({"Copying file orc.utc to Override folder...", "Modifying GFF file orc.utc...",
                         "Modified value \"through_label\" to field \"Tag\" in orc.utc.",
                         "Finished updating GFF file \"orc.utc\"..."}));
  EXPECT_EQ(f.Engine().CurrentFile(), "orc.utc");
  EXPECT_EQ(f.CountContaining("ghost"), 0u);
}

TEST(PatchGFFFilename, SourceAndSaveAsComeFromTheEntrySection) {
  GffFixture f;
  f.ModFile("orc_src.utc", CreatureGff());
  f.Instructions("[GFFList]\nF0=lbl\n[lbl]\n!Filename=orc.utc\n!SourceFile=orc_src.utc\n!SaveAs=orc2.utc\nTag=x\n");
  f.Engine().PatchGFFFiles();
  EXPECT_TRUE(f.Logged(" [Install] \tCopying file \"orc_src.utc\" as \"orc2.utc\" to Override folder..."));
  EXPECT_EQ(DocumentTag(*f.Saved("override/orc2.utc")), "x");
  // The name lookups are back to normal after the entry.
  EXPECT_EQ(f.Engine().GetSaveAsName("orc.utc"), "orc.utc");
}

TEST(PatchGFFFilename, FileInOverrideIsBackedUpUnderItsName) {
  GffFixture f;
  f.OverrideFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nF0=first_orc\nF1=second_orc\n"
                 "[first_orc]\n!Filename=orc.utc\nTag=one\n[second_orc]\n!Filename=ORC.utc\nValue=2\n");
  f.Engine().PatchGFFFiles();
  auto doc = f.Saved("override/orc.utc");
  EXPECT_EQ(DocumentTag(*doc), "one");
  EXPECT_EQ(doc->GetField("Value")->As<TGFF_SInt>()->Value(), 2);
  EXPECT_TRUE(f.Logged(" [Install] \tSaving unaltered backup copy of orc.utc file in " + f.App() + "backup/"));
  auto original = CreatureGff();
  EXPECT_EQ(f.ReadFile(f.App() + "backup/orc.utc"), std::string(original.begin(), original.end()));
}

TEST(PatchGFFFilename, NamesWithFoldersOrClimbingAreRefused) {
  GffFixture f;
  f.ModFile("orc.utc", CreatureGff());
  f.Instructions("[GFFList]\nF0=a\nF1=b\nF2=c\nF3=d\n[a]\n!Filename=..\nTag=x\n[b]\n!Filename=sub/orc.utc\nTag=x\n"
                 "[c]\n!Filename=c:orc.utc\nTag=x\n[d]\n!Filename=orc.utc\nTag=ok\n");
  f.Engine().PatchGFFFiles();
  for (const char* entry : {"a", "b", "c"})
    EXPECT_EQ(f.CountContaining(std::string("for GFF file ") + entry + ": it must be a plain file name, skipping..."),
              1u)
        << entry;
  EXPECT_EQ(f.Engine().ErrorCount(), 3);
  EXPECT_EQ(DocumentTag(*f.Saved("override/orc.utc")), "ok");
}

}  // namespace
}  // namespace vey::test
