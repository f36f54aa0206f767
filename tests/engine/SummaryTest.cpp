// Configuration summary: the exact lines for a small instruction file, and
// the counting and naming rules that are easy to get wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/support/USummary.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

class FakeRegistry : public platform::IRegistry {
 public:
  std::map<std::string, std::string> values;
  std::string ReadString(std::string_view key, std::string_view name) override {
    auto it = values.find(std::string(key) + "|" + std::string(name));
    return it == values.end() ? std::string() : it->second;
  }
};

std::vector<std::string> Summary(const std::string& ini, platform::IRegistry* registry = nullptr) {
  TempDir dir;
  const auto path = dir.Write("changes.ini", ini);
  TQK_Inifile file(path.string());
  return BuildSummary(file, "changes.ini", "info.rtf", registry);
}

// The lines between a heading's dashes and the next blank pair.
std::vector<std::string> Section(const std::vector<std::string>& lines, const std::string& heading) {
  auto it = std::find(lines.begin(), lines.end(), heading);
  if (it == lines.end() || it + 1 == lines.end()) return {"<missing " + heading + ">"};
  std::vector<std::string> body;
  for (it += 2; it + 1 < lines.end() && !(it->empty() && (it + 1)->empty()); ++it) body.push_back(*it);
  return body;
}

TEST(BuildSummary, SmallInstructionFileLineByLine) {
  const std::string ini =
      "[Settings]\r\nLogLevel=4\r\nBackupFiles=0\r\n"
      "[TLKList]\r\n!SourceFile=append.tlk\r\nStrRef0=0\r\nStrRef1=1\r\n"
      "[2DAList]\r\nTable0=spells.2da\r\n"
      "[spells.2da]\r\nAddRow0=a\r\nCopyRow0=b\r\nChangeRow0=c\r\nAddColumn0=d\r\nAddColumn1=e\r\n"
      "[GFFList]\r\nFile0=p_hk47.utc\r\nFile1=m01.ifo\r\n"
      "[p_hk47.utc]\r\n!ReplaceFile=1\r\n"
      "[m01.ifo]\r\n!Destination=modules\\m01.rim\r\n!SaveAs=module.ifo\r\n!SourceFile=m01src.ifo\r\n"
      "[InstallList]\r\nfolder0=.\\\r\nfolder1=override\r\n"
      "[folder0]\r\nReplace0=readme.txt\r\n"
      "[folder1]\r\nFile0=a.tga\r\n";
  const std::vector<std::string> expected = {
      "==================================",
      "VEYPatcher - CONFIGURATION SUMMARY",
      "==================================",
      "", "",
      "Settings:", "---------",
      "Config file: changes.ini",
      "Information file: info.rtf",
      "Install location: User selected.",
      "Make backups: Disabled, no backups are made.",
      "Log level: 4 - Debug: Detailed progress, errors and warnings.",
      "", "",
      "dialog tlk appending:", "---------------------",
      "New entries: 2",
      "", "",
      "2DA file changes:", "-----------------",
      " * spells.2da - new rows: 2, modified rows: 1, new columns: 2",
      "", "",
      "GFF file changes:", "-----------------",
      " * p_hk47.utc - overwrite existing, location: override",
      " * module.ifo (m01src.ifo) - modify existing, location: modules\\m01.rim",
      "", "",
      "NCS file integer hacks:", "-----------------------",
      "  (none)  ",
      "", "",
      "Modified & recompiled scripts:", "------------------------------",
      "  (none)  ",
      "", "",
      "New/modified Soundset files:", "----------------------------",
      "  (none)  ",
      "", "",
      "Unpatched files to install:", "---------------------------",
      " * Location: Game folder",
      "   --> readme.txt - overwrite existing",
      "",
      " * Location: override",
      "   --> a.tga - skip existing",
      "",
      "", "",
  };
  EXPECT_EQ(Summary(ini), expected);
}

TEST(BuildSummary, MissingFileGivesDefaults) {
  TempDir dir;
  TQK_Inifile file((dir / "nothing.ini").string());
  const auto lines = BuildSummary(file, "nothing.ini", "info.rtf", nullptr);
  EXPECT_EQ(Section(lines, "Settings:")[3], "Make backups: Before modifying/overwriting existing files.");
  EXPECT_EQ(Section(lines, "Settings:")[4], "Log level: 3 - Standard: Progress, errors and warnings.");
  EXPECT_EQ(Section(lines, "dialog tlk appending:"), std::vector<std::string>{"New entries: 0"});
  for (const char* heading : {"2DA file changes:", "GFF file changes:", "NCS file integer hacks:",
                              "Modified & recompiled scripts:", "New/modified Soundset files:",
                              "Unpatched files to install:"})
    EXPECT_EQ(Section(lines, heading), std::vector<std::string>{"  (none)  "}) << heading;
}

TEST(BuildSummary, SettingsLinesFollowTheirKeys) {
  FakeRegistry registry;
  registry.values["\\SOFTWARE\\Fenwyck\\XT\\ARKAN|Path"] = "C:\\Games\\One";
  registry.values["\\SOFTWARE\\Quenbrook\\Arkan2|Path"] = "C:\\Games\\Two";
  auto first = Summary("[Settings]\nLookupGameFolder=1\nLookupGameNumber=1\nLogLevel=5\n", &registry);
  EXPECT_EQ(Section(first, "Settings:"),
            (std::vector<std::string>{"Config file: changes.ini", "Information file: info.rtf",
                                      "Install location: C:\\Games\\One",
                                      "Make backups: Before modifying/overwriting existing files."}));
  // Any game number but 1 means the second game; "true" is no number, so the lookup stays off.
  EXPECT_EQ(Section(Summary("[Settings]\nLookupGameFolder=1\nLookupGameNumber=7\n", &registry), "Settings:")[2],
            "Install location: C:\\Games\\Two");
  EXPECT_EQ(Section(Summary("[Settings]\nLookupGameFolder=true\n", &registry), "Settings:")[2],
            "Install location: User selected.");
  EXPECT_EQ(Section(Summary("[Settings]\nLogLevel=0x1\n"), "Settings:")[4], "Log level: 1 - Errors only");
}

TEST(BuildSummary, TalkTableCountsEveryKeyButTheSourceFiles) {
  EXPECT_EQ(Section(Summary("[TLKList]\n!SourceFile=a.tlk\n!SOURCEFILEF=b.tlk\n"), "dialog tlk appending:"),
            std::vector<std::string>{"New entries: 0"});
  EXPECT_EQ(Section(Summary("[TLKList]\nStrRef0=0\nstrref1=1\nmisspelt=2\n"), "dialog tlk appending:"),
            std::vector<std::string>{"New entries: 3"});
}

TEST(BuildSummary, TableModifiersCountedByLowerCaseName) {
  // "addrow" in lower case is counted although the run refuses it; a key
  // holding both "changerow" and "copyrow" is a modified row.
  auto lines = Summary("[2DAList]\nT=a.2da\n[a.2da]\naddrow=x\nXChangeRowCopyRow=y\nAddColumnZ=z\n");
  EXPECT_EQ(Section(lines, "2DA file changes:"),
            std::vector<std::string>{" * a.2da - new rows: 1, modified rows: 1, new columns: 1"});
}

TEST(BuildSummary, ScriptAndSoundsetModesComeFromTheListKey) {
  auto lines = Summary(
      "[CompileList]\n!DefaultDestination=modules\\x.mod\nReplace0=a.nss\nScript1=b.nss\n"
      "[b.nss]\n!Destination=override\n"
      "[SSFList]\nreplace0=c.ssf\nFile1=d.ssf\n"
      "[d.ssf]\n!SaveAs=e.ssf\n!SourceFile=f.ssf\n"
      "[HACKList]\nF0=g.ncs\nF1=h.ncs\n[g.ncs]\nReplaceFile=1\n[h.ncs]\nReplaceFile=2\n");
  EXPECT_EQ(Section(lines, "Modified & recompiled scripts:"),
            (std::vector<std::string>{" * a.nss - overwrite existing, location: modules\\x.mod",
                                      " * b.nss - skip existing, location: override"}));
  EXPECT_EQ(Section(lines, "New/modified Soundset files:"),
            (std::vector<std::string>{" * c.ssf - overwrite existing, location: override",
                                      " * e.ssf (f.ssf) - modify existing, location: override"}));
  EXPECT_EQ(Section(lines, "NCS file integer hacks:"),
            (std::vector<std::string>{" * g.ncs - overwrite existing, location: override",
                                      " * h.ncs - skip existing, location: override"}));
  // Only the default destination: no script line and no empty marker.
  EXPECT_TRUE(Section(Summary("[CompileList]\n!defaultdestination=override\n"), "Modified & recompiled scripts:")
                  .empty());
}

TEST(BuildSummary, GffEntryWithFilenameShownUnderThatName) {
  auto lines = Summary(
      "[GFFList]\nFile0=m13_guard.dlg\nFile1=guard.dlg\nFile2=bad.dlg\n"
      "[m13_guard.dlg]\n!Destination=modules\\m13.mod\n!filename=guard.dlg\n"
      "[guard.dlg]\n!Filename=Guard.dlg\n"
      "[bad.dlg]\n!Filename=..\\x.dlg\n");
  EXPECT_EQ(Section(lines, "GFF file changes:"),
            (std::vector<std::string>{" * guard.dlg (m13_guard.dlg) - modify existing, location: modules\\m13.mod",
                                      " * Guard.dlg - modify existing, location: override",
                                      " * bad.dlg - modify existing, location: override"}));
}

TEST(BuildSummary, InstallListSkipsTheOverrideTypeOption) {
  auto lines = Summary(
      "[InstallList]\nf=modules\\a.mod\n[f]\n!OverrideType=warn\nFile0=x.utc\n[x.utc]\n!SaveAs=y.utc\n");
  EXPECT_EQ(Section(lines, "Unpatched files to install:"),
            (std::vector<std::string>{" * Location: modules\\a.mod", "   --> y.utc - skip existing"}));
}

TEST(BuildSummary, ValuesAreEscapeDecoded) {
  auto lines = Summary("[GFFList]\nF=a.utc\n[a.utc]\n!Destination=x<#LF#>y\n");
  EXPECT_EQ(Section(lines, "GFF file changes:")[0], " * a.utc - modify existing, location: x\ny");
}

}  // namespace
}  // namespace vey::test
