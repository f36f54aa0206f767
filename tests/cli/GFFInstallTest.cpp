// veypatcher-cli install on a mod with GFFList entries into override and into
// archives, including entries that name their file through "!Filename".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CliRun.h"
#include "common/FileIO.h"
#include "support/GameFiles.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

class GffInstall : public ::testing::Test {
 protected:
  GffInstall() {
    dir.Write("game/dialog.tlk", "TLK ");
    dir.Write("mod/veypatchdata/info.rtf", "{\\rtf1 A mod.}");
  }
  CliResult Install() {
    return RunCli({"install", "--mod", (dir / "mod").string(), "--game", (dir / "game").string(), "--yes"});
  }
  std::unique_ptr<TGFFFile> Doc(const std::vector<std::uint8_t>& bytes) {
    auto doc = std::make_unique<TGFFFile>();
    doc->LoadFromBytes(bytes);
    return doc;
  }
  std::unique_ptr<TGFFFile> Loose(std::string_view relative) { return Doc(ReadWholeFile(dir / relative)); }
  std::unique_ptr<TGFFFile> Stored(std::string_view archive, std::string_view name) {
    return Doc(ArchiveResource(dir / archive, name));
  }
  static std::string Tag(const TGFFFile& doc) { return doc.GetField("Tag")->As<TGFF_CExoString>()->Value(); }
  static std::int32_t Value(const TGFFFile& doc) { return doc.GetField("Value")->As<TGFF_SInt>()->Value(); }
  static bool HasLine(const std::string& text, const std::string& line) {
    auto lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TempDir dir;
};

TEST_F(GffInstall, EntriesIntoOverrideAndArchivesThroughTheirSections) {
  dir.Write("game/modules/m13.mod", MakeArchive("MOD ", {{"module.ifo", SimpleGff("IFO ", "m13")},
                                                         {"guard.dlg", SimpleGff("DLG ", "m13 guard")}}));
  dir.Write("game/modules/m40.rim", MakeArchive("RIM ", {{"module.ifo", SimpleGff("IFO ", "m40")}}));
  dir.Write("game/override/guard.dlg", SimpleGff("DLG ", "loose guard"));
  dir.Write("mod/veypatchdata/orc.utc", SimpleGff("UTC ", "orc"));
  dir.Write("mod/veypatchdata/door.utp", SimpleGff("UTP ", "door", 7));
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\n"
            "[GFFList]\nFile0=orc.utc\nFile1=m13_ifo\nFile2=m40_ifo\nFile3=guard_loose\nFile4=ghost.utp\n"
            "File5=m13_guard\nFile6=m13_ifo_again\n"
            "[orc.utc]\nTag=chief\nAddField0=add_list\n"
            "[add_list]\nFieldType=List\nLabel=Extra\nAddField1=add_elem\n"
            "[add_elem]\nFieldType=Struct\nTypeId=listindex\n2DAMEMORY1=listindex\n2DAMEMORY2=!fieldpath\n"
            "[m13_ifo]\n!Destination=modules\\m13.mod\n!Filename=module.ifo\nValue=13\n"
            "[m40_ifo]\n!Destination=modules\\m40.rim\n!Filename=module.ifo\nValue=40\n"
            "[guard_loose]\n!Filename=guard.dlg\nTag=patched loose\n"
            "[ghost.utp]\n!Filename=door.utp\nValue=2DAMEMORY1\n"
            "[m13_guard]\n!Destination=modules\\m13.mod\n!Filename=guard.dlg\nTag=patched m13\n"
            "[m13_ifo_again]\n!Destination=modules\\m13.mod\n!Filename=module.ifo\nTag=twice\n");
  CliResult r = Install();
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  EXPECT_EQ(Tag(*Loose("game/override/orc.utc")), "chief");
  EXPECT_EQ(Loose("game/override/orc.utc")->GetField("Extra")->As<TGFFList>()->Count(), 1);
  EXPECT_EQ(Tag(*Loose("game/override/guard.dlg")), "patched loose");
  EXPECT_EQ(Value(*Loose("game/override/door.utp")), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/ghost.utp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/module.ifo"));

  auto m13 = Stored("game/modules/m13.mod", "module.ifo");
  EXPECT_EQ(Value(*m13), 13);
  EXPECT_EQ(Tag(*m13), "twice");
  auto m40 = Stored("game/modules/m40.rim", "module.ifo");
  EXPECT_EQ(Value(*m40), 40);
  EXPECT_EQ(Tag(*m40), "m40");
  EXPECT_EQ(Tag(*Stored("game/modules/m13.mod", "guard.dlg")), "patched m13");

  EXPECT_TRUE(HasLine(r.out, " [Install] \tSaving modified file \"module.ifo\" in archive \"m40.rim\".")) << r.out;
  EXPECT_TRUE(HasLine(r.out, " [Install] \tFinished updating GFF file \"door.utp\"...")) << r.out;
  EXPECT_TRUE(HasLine(r.out, " [STATUS] \tDone. All changes have been applied.")) << r.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "mod/backup/m13.mod"));
  EXPECT_TRUE(std::filesystem::exists(dir / "mod/backup/guard.dlg"));
  EXPECT_FALSE(std::filesystem::exists(dir / "mod/veypatchdata/erfpatch_temp"));
}

TEST_F(GffInstall, EscapingValuesAreRefusedAndTheRunGoesOn) {
  dir.Write("mod/veypatchdata/orc.utc", SimpleGff("UTC ", "orc"));
  dir.Write("mod/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\n"
            "[GFFList]\nFile0=evil\nFile1=orc.utc\n"
            "[evil]\n!Filename=orc.utc\n!SaveAs=..\\..\\..\\escaped.utc\nTag=x\n"
            "[orc.utc]\nTag=fine\n");
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_TRUE(HasLine(r.out, " [Error] \tInvalid !SaveAs value \"..\\..\\..\\escaped.utc\" for GFF file evil: it would "
                             "lead outside its folder, skipping..."))
      << r.out;
  EXPECT_EQ(Tag(*Loose("game/override/orc.utc")), "fine");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
    EXPECT_NE(entry.path().filename(), "escaped.utc") << entry.path();
}

}  // namespace
}  // namespace vey::test
