// Documents saved into ERF/RIM archives: queued while the list runs, each
// archive rebuilt once with the same result as after every document, later
// entries seeing queued versions, and a failure writing what was queued.
#include <gtest/gtest.h>

#include <filesystem>

#include "GFFTestSupport.h"

namespace vey::test {
namespace {

std::string Tag(const TGFFFile& doc) { return doc.GetField("Tag")->As<TGFF_CExoString>()->Value(); }
std::int32_t Value(const TGFFFile& doc) { return doc.GetField("Value")->As<TGFF_SInt>()->Value(); }

class ArchiveFixture : public GffFixture {
 public:
  ArchiveFixture() {
    original = MakeArchive("MOD ", {{"a.utc", SimpleGff("UTC ", "a")},
                                    {"guard.dlg", SimpleGff("DLG ", "guard")},
                                    {"b.utc", SimpleGff("UTC ", "b")}});
    WriteFile(Game() + "modules/m13.mod", original);
  }
  bool ArchiveUnchanged() const {
    return ReadFile(Game() + "modules/m13.mod") == std::string(original.begin(), original.end());
  }
  std::vector<std::uint8_t> original;
};

TEST(PatchGFFArchives, DocumentsAreQueuedAndEachArchiveRebuiltOnce) {
  ArchiveFixture f;
  f.ModFile("new.utc", SimpleGff("UTC ", "fresh"));
  f.Instructions(
      "[GFFList]\nF0=g1\nF1=n1\nF2=g2\nF3=n2\n"
      "[g1]\n!Filename=guard.dlg\n!Destination=modules\\m13.mod\nTag=first\n"
      "[n1]\n!Filename=new.utc\n!Destination=Modules\\M13.MOD\nTag=added\n"
      "[g2]\n!Filename=guard.dlg\n!Destination=modules\\m13.mod\nValue=5\n"
      "[n2]\n!Filename=new.utc\n!Destination=modules\\m13.mod\nValue=6\n");
  // While the list runs the archive on disk stays as it was.
  int storedLines = 0;
  bool untouchedWhileQueued = true;
  auto& engine = f.Engine();
  auto record = engine.OnLogLine;
  engine.OnLogLine = [&](std::string_view line, const platform::TextAttributes& a) {
    record(line, a);
    if (line.find("Saving modified file") != std::string_view::npos) {
      ++storedLines;
      untouchedWhileQueued = untouchedWhileQueued && f.ArchiveUnchanged();
    }
  };
  engine.PatchGFFFiles();

  EXPECT_EQ(storedLines, 4);
  EXPECT_TRUE(untouchedWhileQueued);
  // The same order as rebuilding after each document: a document stored again
  // moves behind the others.
  EXPECT_EQ(ArchiveNames(f.Game() + "modules/m13.mod"),
            (std::vector<std::string>{"a.utc", "b.utc", "guard.dlg", "new.utc"}));
  auto guard = f.InArchive("modules/m13.mod", "guard.dlg");
  EXPECT_EQ(Tag(*guard), "first");
  EXPECT_EQ(Value(*guard), 5);
  auto added = f.InArchive("modules/m13.mod", "new.utc");
  EXPECT_EQ(Tag(*added), "added");
  EXPECT_EQ(Value(*added), 6);
  // The second entry for new.utc took the queued version out of the archive.
  EXPECT_EQ(f.CountContaining("Adding file \"new.utc\" to archive \"m13.mod\"..."), 1u);
  EXPECT_EQ(f.CountContaining("File \"new.utc\" already exists in archive \"m13.mod\", modifying existing file..."), 1u);
  EXPECT_TRUE(f.InOrder({"Modifying GFF file guard.dlg...", "Finished updating GFF file \"guard.dlg\" in "
                         "\"modules\\m13.mod\"...",
                         "Saving modified file \"guard.dlg\" in archive \"m13.mod\".", "Modifying GFF file new.utc...",
                         "Saving modified file \"new.utc\" in archive \"m13.mod\".", "Modifying GFF file guard.dlg...",
                         "Saving modified file \"guard.dlg\" in archive \"m13.mod\".", "Modifying GFF file new.utc...",
                         "Saving modified file \"new.utc\" in archive \"m13.mod\"."}));
  // One backup, of the unaltered archive.
  EXPECT_EQ(f.CountContaining("Saving unaltered backup copy of destination file m13.mod file in " + f.App() +
                              "backup/"),
            1u);
  EXPECT_EQ(f.ReadFile(f.App() + "backup/m13.mod"), std::string(f.original.begin(), f.original.end()));
  // Work copies and staged documents are gone.
  const std::filesystem::path work = f.Data() + "erfpatch_temp";
  EXPECT_TRUE(!std::filesystem::exists(work) || std::filesystem::is_empty(work));
  EXPECT_EQ(f.Engine().ProgressCount(), 4);
}

TEST(PatchGFFArchives, SameNamedDocumentsInTwoArchivesStaySeparate) {
  ArchiveFixture f;
  f.WriteFile(f.Game() + "modules/m13.mod", MakeArchive("MOD ", {{"module.ifo", SimpleGff("IFO ", "m13")}}));
  f.WriteFile(f.Game() + "modules/m40.rim", MakeArchive("RIM ", {{"module.ifo", SimpleGff("IFO ", "m40")}}));
  f.Instructions(
      "[GFFList]\nF0=m13_ifo\nF1=m40_ifo\n"
      "[m13_ifo]\n!Filename=module.ifo\n!Destination=modules\\m13.mod\nValue=13\n"
      "[m40_ifo]\n!FILENAME=module.ifo\n!Destination=modules\\m40.rim\nValue=40\n");
  f.Engine().PatchGFFFiles();
  auto m13 = f.InArchive("modules/m13.mod", "module.ifo");
  auto m40 = f.InArchive("modules/m40.rim", "module.ifo");
  EXPECT_EQ(Tag(*m13), "m13");
  EXPECT_EQ(Value(*m13), 13);
  EXPECT_EQ(Tag(*m40), "m40");
  EXPECT_EQ(Value(*m40), 40);
  EXPECT_EQ(f.Engine().WarningCount() + f.Engine().ErrorCount(), 0);
}

TEST(PatchGFFArchives, FailureWritesWhatWasQueuedBeforeItIsReported) {
  ArchiveFixture f;
  auto bad = SimpleGff("UTC ", "bad");
  bad[7] = '9';
  f.OverrideFile("bad.utc", bad);
  f.Instructions(
      "[GFFList]\nF0=guard.dlg\nF1=bad.utc\n"
      "[guard.dlg]\n!Destination=modules\\m13.mod\nTag=kept\n"
      "[bad.utc]\nTag=x\n");
  bool writtenWhenReported = false;
  auto& engine = f.Engine();
  auto record = engine.OnLogLine;
  engine.OnLogLine = [&](std::string_view line, const platform::TextAttributes& a) {
    record(line, a);
    if (line.find("(GFF-1)") != std::string_view::npos)
      writtenWhenReported = Tag(*f.InArchive("modules/m13.mod", "guard.dlg")) == "kept";
  };
  TRunResult result;
  ExpectFailure<EGFFError>([&] { engine.Run(result); }, 1,
                           "Invalid file version. Loaded file is not in GFF V3.2 format!");
  EXPECT_TRUE(writtenWhenReported);
  EXPECT_TRUE(f.Logged(" [Error] \tInvalid file version. Loaded file is not in GFF V3.2 format! (GFF-1)"));
  // Then the run is undone, the archive with it.
  EXPECT_EQ(f.lines.back().find(" [STATUS - ERROR] \tRolled back: 1 file put back"), 0u) << f.lines.back();
  EXPECT_TRUE(f.ArchiveUnchanged());
}

TEST(PatchGFFArchives, PatcherModeEditsTheChosenFileAndStoresNothing) {
  ArchiveFixture f;
  f.Ini("[Settings]\nInstallerMode=0\nLogLevel=4\n[GFFList]\nF0=guard.dlg\n"
        "[guard.dlg]\n!Destination=modules\\m13.mod\nTag=picked\n");
  f.WriteFile(f.Game() + "elsewhere/guard.dlg", SimpleGff("DLG ", "loose"));
  f.fake.openDialog.answers.push_back(f.Game() + "elsewhere/guard.dlg");
  f.Engine().PatchGFFFiles();
  EXPECT_EQ(Tag(*f.Saved("elsewhere/guard.dlg")), "picked");
  EXPECT_TRUE(f.ArchiveUnchanged());
  EXPECT_TRUE(f.Logged(" [Install] \tFinished updating GFF file \"guard.dlg\"..."));
  EXPECT_EQ(f.CountContaining("archive"), 0u);
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
}

// A document taken out of an archive leaves nothing in the work folder,
// whether it is stored, changes nothing (no key applies, a blank value, the
// value the field already holds) or a failure ends the run.
TEST(PatchGFFArchives, DocumentsLeaveNoWorkCopies) {
  ArchiveFixture f;
  auto bad = SimpleGff("UTC ", "bad");
  bad[7] = '9';
  f.WriteFile(f.Game() + "modules/m13.mod", MakeArchive("MOD ", {{"a.utc", SimpleGff("UTC ", "a")},
                                                                  {"guard.dlg", SimpleGff("DLG ", "guard")},
                                                                  {"blank.utc", SimpleGff("UTC ", "blank")},
                                                                  {"same.utc", SimpleGff("UTC ", "same")},
                                                                  {"bad.utc", bad}}));
  f.Instructions(
      "[GFFList]\nF0=a.utc\nF1=guard.dlg\nF2=blank.utc\nF3=same.utc\nF4=bad.utc\n"
      "[a.utc]\n!Destination=modules\\m13.mod\nTag=stored\n"
      "[guard.dlg]\n!Destination=modules\\m13.mod\nNoSuchField=1\n"
      "[blank.utc]\n!Destination=modules\\m13.mod\nTag=\n"
      "[same.utc]\n!Destination=modules\\m13.mod\nTag=same\n"
      "[bad.utc]\n!Destination=modules\\m13.mod\nTag=x\n");
  TRunResult result;
  // What the run leaves when its changes are kept.
  f.Engine().RunOptions.rollbackOnFailure = false;
  EXPECT_THROW(f.Engine().Run(result), EGFFError);
  const std::string work = f.Data() + "erfpatch_temp/";
  for (const char* name : {"a.utc", "guard.dlg", "blank.utc", "same.utc", "bad.utc"})
    EXPECT_FALSE(f.Exists(work + name)) << name;
  EXPECT_TRUE(!f.Exists(work) || std::filesystem::is_empty(work));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo changes could be applied to GFF file guard.dlg."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo changes could be applied to GFF file blank.utc."));
  EXPECT_EQ(Tag(*f.InArchive("modules/m13.mod", "a.utc")), "stored");
  EXPECT_EQ(Tag(*f.InArchive("modules/m13.mod", "same.utc")), "same");
}

}  // namespace
}  // namespace vey::test
