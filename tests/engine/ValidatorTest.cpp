// The instruction-file validator: one small instruction file per kind of
// finding, each expected at its line with its severity, and files that must
// give none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GFFTestSupport.h"
#include "common/StrFormat.h"
#include "engine/validate/UValidator.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

struct ModFolder {
  TempDir dir;
  std::filesystem::path Data() const { return dir / "veypatchdata"; }
  void File(std::string_view name, std::string_view content) const { dir.Write("veypatchdata/" + std::string(name), content); }
  void File(std::string_view name, const std::vector<std::uint8_t>& content) const {
    dir.Write("veypatchdata/" + std::string(name), content);
  }
  std::vector<TFinding> Validate(std::string_view ini) const {
    File("changes.ini", ini);
    platform::GameFileSystem fs;
    return ValidateInstructions(fs, {Data(), Data(), "changes.ini"});
  }
};

// Every instruction file below starts with these two lines.
constexpr std::string_view kHead = "[Settings]\nFileExists=1\n";

std::string Describe(const std::vector<TFinding>& findings) {
  std::string text;
  for (const TFinding& f : findings)
    text += IntToStr(f.line) + (f.severity == TSeverity::Error ? " error " : " warning ") + "[" + f.section +
            "] " + f.key + ": " + f.message + "\n";
  return text;
}

struct Case {
  std::string name;
  std::string ini;  // after kHead, so its first line is line 3
  TSeverity severity;
  std::int32_t line;
  std::string key;
  std::string words;  // part of the message
};

TEST(Validator, EachMistakeIsFoundAtItsLine) {
  const std::vector<Case> cases = {
      {"missing section", "[2DAList]\nTable0=armor.2da\n", TSeverity::Error, 4, "Table0", "[armor.2da] named here does not exist"},
      {"missing modifier section", "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=new_row\n", TSeverity::Error, 6, "AddRow0", "[new_row]"},
      {"modifier in lower case", "[2DAList]\nT=a.2da\n[a.2da]\naddrow0=r\n[r]\nlabel=x\n", TSeverity::Error, 6, "addrow0", "only \"AddRow\""},
      {"LabelIndex in lower case", "[2DAList]\nT=a.2da\n[a.2da]\nChangeRow0=c\n[c]\nlabelindex=x\nname=1\n", TSeverity::Error, 8, "labelindex", "\"LabelIndex\""},
      {"memory word in lower case", "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=r\n[r]\nlabel=x\n2damemory1=RowIndex\n", TSeverity::Error, 9, "2damemory1", "stores nothing"},
      {"store source in lower case", "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=r\n[r]\nlabel=x\n2DAMEMORY1=rowindex\n", TSeverity::Error, 9, "2DAMEMORY1", "read as a column label"},
      {"AddField in lower case", "[GFFList]\nF=a.uti\n[a.uti]\naddfield0=s\n[s]\nFieldType=Byte\nLabel=B\nValue=1\n", TSeverity::Error, 6, "addfield0", "only \"AddField\""},
      {"field type in lower case", "[GFFList]\nF=a.uti\n[a.uti]\nAddField0=s\n[s]\nFieldType=byte\nLabel=B\nValue=1\n", TSeverity::Error, 8, "FieldType", "write \"Byte\""},
      {"lang in capitals", "[GFFList]\nF=a.uti\n[a.uti]\nAddField0=s\n[s]\nFieldType=ExoLocString\nLabel=N\nLang0=x\n", TSeverity::Error, 10, "Lang0", "\"lang\" in lower case"},
      {"unknown setting", "Colour=red\n", TSeverity::Warning, 3, "Colour", "reads no setting"},
      {"word for a boolean", "InstallerMode=true\n", TSeverity::Warning, 3, "InstallerMode", "not a number"},
      {"unknown AddField key", "[GFFList]\nF=a.uti\n[a.uti]\nAddField0=s\n[s]\nFieldType=Byte\nLabel=B\nValue=1\nColor=2\n", TSeverity::Warning, 11, "Color", "reads no key"},
      {"unknown soundset label", "[SSFList]\nF=v.ssf\n[v.ssf]\nBattlecry1=5\n", TSeverity::Error, 6, "Battlecry1", "no soundset entry label"},
      {"unknown TLKList key", "[TLKList]\nStrRef=1\n", TSeverity::Warning, 4, "StrRef", "neither a StrRef token"},
      {"install file missing", "InstallerMode=1\n[InstallList]\nf=override\n[f]\nFile0=cape.tga\n", TSeverity::Error, 7, "File0", "\"cape.tga\" is not in the data folder"},
      {"source file missing", "[2DAList]\nT=a.2da\n[a.2da]\n!SourceFile=b.2da\n", TSeverity::Error, 6, "!SourceFile", "\"b.2da\" is not in the data folder"},
      {"compiler missing", "[CompileList]\nS=present.nss\n", TSeverity::Error, 3, "", "nwnnsscomp.exe is not in"},
      {"script definitions missing", "[CompileList]\nS=present.nss\n", TSeverity::Warning, 3, "", "no nwscript.nss"},
      {"script missing", "[CompileList]\nS=gone.nss\n", TSeverity::Error, 4, "S", "\"gone.nss\" is not in the data folder"},
      {"talk table missing", "[TLKList]\nStrRef0=0\n", TSeverity::Error, 3, "", "\"append.tlk\" is not in the data folder"},
      {"StrRef not in TLKList", "[SSFList]\nF=v.ssf\n[v.ssf]\nDeath=StrRef4\n", TSeverity::Error, 6, "Death", "\"StrRef4\" is not defined"},
      {"memory read before any store", "[HACKList]\nF=present.ncs\n[present.ncs]\n12=2DAMEMORY1\n", TSeverity::Error, 6, "12", "no step before this one"},
      // The GFF step stores slot 1, but the 2DA step reading it runs first,
      // whatever the order of the sections in the file.
      {"memory stored by a later step",
       "[GFFList]\nF=a.uti\n[a.uti]\nAddField0=s\n[s]\nFieldType=Struct\nLabel=S\n2DAMEMORY1=!fieldpath\n"
       "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=r\n[r]\nlabel=2DAMEMORY1\n",
       TSeverity::Error, 16, "label", "\"2DAMEMORY1\" is read here"},
      {"AddField containing itself",
       "[GFFList]\nF=a.uti\n[a.uti]\nAddField0=s\n[s]\nFieldType=Struct\nLabel=S\nAddField1=t\n[t]\nFieldType=List\nLabel=T\nAddFieldX=s\n",
       TSeverity::Error, 14, "AddFieldX", "[s] contains itself"},
      {"destination leaving the game folder", "InstallerMode=1\n[InstallList]\nf=..\\saves\n", TSeverity::Error, 5, "f", "outside the game folder"},
      {"source leaving the data folder", "[GFFList]\nF=a.uti\n[a.uti]\n!SourceFile=..\\..\\a.uti\nTag=x\n", TSeverity::Error, 6, "!SourceFile", "outside the data folder"},
      {"archive destination leaving", "[GFFList]\nF=a.uti\n[a.uti]\n!Destination=/etc/a.mod\nTag=x\n", TSeverity::Error, 6, "!Destination", "outside the game folder"},
      {"field path not in the mod's document", "[GFFList]\nF=orc.utc\n[orc.utc]\nTag=x\nItemList\\2\\Tag=y\n", TSeverity::Warning, 7, "ItemList\\2\\Tag", "does not exist in the mod's own \"orc.utc\""},
      {"path an error when the mod's copy replaces", "[GFFList]\nF=orc.utc\n[orc.utc]\n!ReplaceFile=1\nNoSuch=y\n", TSeverity::Error, 7, "NoSuch", "does not exist"},
      {"AddField parent not in the document", "[GFFList]\nF=orc.utc\n[orc.utc]\nAddField0=s\n[s]\nFieldType=Byte\nPath=Items\nLabel=B\nValue=1\n", TSeverity::Warning, 9, "Path", "\"Items\" does not exist"},
      {"unknown key of an installed file", "InstallerMode=1\n[InstallList]\nf=override\n[f]\nFile0=present.ncs\n[present.ncs]\n!Saveas=b.ncs\n!Destination=x\n",
       TSeverity::Warning, 10, "!Destination", "reads no key"},
      {"override type", "[GFFList]\nF=orc.utc\n[orc.utc]\n!Destination=modules\\m.mod\n!OverrideType=skip\nTag=x\n", TSeverity::Warning, 7, "!OverrideType", "acts as ignore"},
      {"repeated key", "[GFFList]\nFile0=a.uti\nFile0=b.uti\n", TSeverity::Warning, 5, "File0", "never used"},
      {"repeated section", "[Settings]\nLogLevel=3\n", TSeverity::Warning, 3, "", "never read"},
      {"FileExists not set", "[TLKList]\n", TSeverity::Error, 2, "FileExists", "will not start"},
      {"replacement file missing", "[TLKList]\nReplace0=r.tlk\n[r.tlk]\n1=0\n", TSeverity::Warning, 4, "Replace0", "\"r.tlk\" is not in the data folder"},
      {"replacement section missing", "[TLKList]\nReplace0=two.tlk\n", TSeverity::Warning, 4, "Replace0", "[two.tlk] named here does not exist"},
      {"replacement not numbers", "[TLKList]\nReplace0=two.tlk\n[two.tlk]\n1=x\n", TSeverity::Warning, 6, "1", "maps a game entry number"},
      {"replacement past the file", "[TLKList]\nReplace0=two.tlk\n[two.tlk]\n5=2\n", TSeverity::Warning, 6, "5", "entry 2 does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModFolder mod;
    mod.File("present.nss", "void main() {}\n");
    mod.File("present.ncs", std::string(32, '\0'));
    mod.File("orc.utc", CreatureGff());
    mod.File("two.tlk", TalkTable(std::vector<std::string>{"a", "b"}));
    std::string ini(kHead);
    if (c.name == "FileExists not set") ini = "[Settings]\nFileExists=0\n";
    const auto findings = mod.Validate(ini + c.ini);
    bool found = false;
    for (const TFinding& f : findings)
      found = found || (f.line == c.line && f.severity == c.severity && f.key == c.key &&
                        f.message.find(c.words) != std::string::npos);
    EXPECT_TRUE(found) << Describe(findings);
  }
}

TEST(Validator, WellFormedFileUsingEveryListGivesNoFinding) {
  ModFolder mod;
  mod.File("append.tlk", TalkTable(std::vector<std::string>{"one", "two"}));
  mod.File("orc.utc", CreatureGff());
  mod.File("cape.tga", "x");
  mod.File("heal.nss", "void main() { int s = #StrRef1#; int r = #2DAMEMORY1#; }\n");
  mod.File("nwnnsscomp.exe", "");
  mod.File("nwscript.nss", "int GetIsPC(object oCreature);\n");
  mod.File("hack.ncs", std::string(32, '\0'));
  const auto findings = mod.Validate(std::string(kHead) +
                                     "InstallerMode=1\n"
                                     "[TLKList]\nStrRef0=0\nStrRef1=1\n"
                                     "[InstallList]\nf=override\n[f]\nFile0=cape.tga\n"
                                     "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=r\nAddColumn0=c\n"
                                     "[r]\nExclusiveColumn=label\nlabel=x\nname=StrRef0\nid=high()\n2DAMEMORY1=RowIndex\n"
                                     "[c]\nColumnLabel=flag\nDefaultValue=0\nL3=2DAMEMORY1\n"
                                     "[GFFList]\nF=orc.utc\n[orc.utc]\nTag=2DAMEMORY1\nName(strref)=StrRef1\n"
                                     "ItemList\\1\\Tag=z\nAddField0=item\n"
                                     "[item]\nFieldType=Struct\nPath=ItemList\nTypeId=listindex\n2DAMEMORY2=listindex\n"
                                     "AddField0=item_tag\n"
                                     "[item_tag]\nFieldType=ExoString\nLabel=Tag\nValue=new\n"
                                     "[HACKList]\nF=hack.ncs\n[hack.ncs]\n12=2DAMEMORY2\n"
                                     "[CompileList]\nS=heal.nss\n"
                                     "[SSFList]\nF=v.ssf\n[v.ssf]\nBattlecry 1=StrRef0\nDeath=-1\n");
  EXPECT_TRUE(findings.empty()) << Describe(findings);
}

// Lines the installer reads without trouble give no finding; numbers it
// cannot hold in 32 bits end its run, and the validator says so.
TEST(Validator, RepeatsSlotZeroAndNumbersAsTheInstallerReadsThem) {
  struct Expect {
    std::string name;
    std::string ini;  // after kHead
    std::vector<std::int32_t> errorLines;
    std::string words;
  };
  constexpr std::string_view kStore = "[2DAList]\nT=a.2da\n[a.2da]\nAddRow0=r\n[r]\nlabel=x\n2DAMEMORY1=RowIndex\n";
  const std::vector<Expect> cases = {
      {"identical repeated key", "LogLevel=3\nLogLevel=3\nloglevel=3\n", {}, ""},
      // 2DAMEMORY0 reads the first slot, which the 2DA step stored.
      {"slot 0 read after a store", std::string(kStore) + "[HACKList]\nF=present.ncs\n[present.ncs]\n12=2DAMEMORY0\n", {}, ""},
      {"slot 0 read before any store", "[HACKList]\nF=present.ncs\n[present.ncs]\n12=2DAMEMORY0\n", {6}, "no step before"},
      {"largest 32-bit value", "[HACKList]\nF=present.ncs\n[present.ncs]\n12=2147483647\n", {}, ""},
      {"value of 2^31", "[HACKList]\nF=present.ncs\n[present.ncs]\n12=2147483648\n", {6}, "ends the whole run"},
      {"value beyond 2^32", "[HACKList]\nF=present.ncs\n[present.ncs]\n12=4294967296\n", {6}, "ends the whole run"},
      {"offset of 2^31", "[HACKList]\nF=present.ncs\n[present.ncs]\n2147483648=1\n", {6}, "ends the whole run"},
  };
  for (const Expect& c : cases) {
    SCOPED_TRACE(c.name);
    ModFolder mod;
    mod.File("present.ncs", std::string(32, '\0'));
    const auto findings = mod.Validate(std::string(kHead) + c.ini);
    std::vector<std::int32_t> lines;
    for (const TFinding& f : findings) {
      lines.push_back(f.line);
      EXPECT_EQ(f.severity, TSeverity::Error) << Describe(findings);
      EXPECT_NE(f.message.find(c.words), std::string::npos) << Describe(findings);
    }
    EXPECT_EQ(lines, c.errorLines) << Describe(findings);
  }
}

TEST(Validator, TalkTableEntriesBeyondTheModsTableAndTokensInScripts) {
  ModFolder mod;
  mod.File("append.tlk", TalkTable(std::vector<std::string>{"one", "two"}));
  mod.File("nwnnsscomp.exe", "");
  mod.File("nwscript.nss", "int GetIsPC(object oCreature);\n");
  mod.File("a.nss", "void main()\n{\n  int x = #StrRef7#;\n  int y = #strref0#;\n  int z = #2DAMEMORY4#;\n}\n");
  const auto findings =
      mod.Validate(std::string(kHead) + "[TLKList]\nStrRef0=1\nStrRef1=2\n[CompileList]\nS=a.nss\n");
  ASSERT_EQ(findings.size(), 4u) << Describe(findings);
  EXPECT_EQ(findings[0].line, 5);
  EXPECT_NE(findings[0].message.find("\"append.tlk\" has 2 entries"), std::string::npos);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(findings[i].file, "a.nss");
    EXPECT_EQ(findings[i].line, static_cast<std::int32_t>(i + 2));
    EXPECT_EQ(findings[i].severity, TSeverity::Error);
  }
}

TEST(Validator, EncodingsOfTheInstructionFile) {
  struct EncodingCase {
    std::string bytes;
    TSeverity severity;
    std::int32_t line;
    std::string words;
  };
  const std::vector<EncodingCase> cases = {
      {std::string(kHead) + "[2DAList]\n; \xC3\xA9p\xC3\xA9" "e\n", TSeverity::Warning, 0, "looks like UTF-8"},
      {"\xEF\xBB\xBF" + std::string(kHead) + "WindowCaption=\xE6\x97\xA5\n", TSeverity::Warning, 3, "\"?\""},
      {std::string("\xFF\xFE[\0S\0", 6), TSeverity::Error, 0, "UTF-16"},
  };
  for (const EncodingCase& c : cases) {
    ModFolder mod;
    const auto findings = mod.Validate(c.bytes);
    ASSERT_FALSE(findings.empty()) << c.words;
    EXPECT_EQ(findings[0].severity, c.severity) << Describe(findings);
    EXPECT_EQ(findings[0].line, c.line) << Describe(findings);
    EXPECT_NE(findings[0].message.find(c.words), std::string::npos) << Describe(findings);
  }
  // Windows-1252 letters alone do not look like UTF-8.
  ModFolder plain;
  EXPECT_TRUE(plain.Validate(std::string(kHead) + "WindowCaption=\xC9p\xE9" "e\n").empty());
}

TEST(Validator, InstallationTypesWithMissingFoldersAndFiles) {
  ModFolder mod;
  mod.File("namespaces.ini",
           "[Namespaces]\nfull=full\nlite=lite\nout=out\ngone=gone\n"
           "[full]\nName=Full\nDataPath=full\n"
           "[lite]\nName=Lite\nIniName=lite.ini\nColour=1\n"
           "[out]\nName=Out\nDataPath=..\\elsewhere\n");
  mod.File("full/changes.ini", kHead);
  mod.File("full/info.rtf", "{}");
  mod.File("info.rtf", "{}");
  platform::GameFileSystem fs;
  const auto findings = ValidateNamespaces(fs, mod.Data());
  std::vector<std::pair<std::int32_t, std::string>> got;
  for (const TFinding& f : findings) got.emplace_back(f.line, f.key);
  EXPECT_EQ(got, (std::vector<std::pair<std::int32_t, std::string>>{
                     {5, "gone"}, {11, "IniName"}, {12, "Colour"}, {15, "DataPath"}}))
      << Describe(findings);
  EXPECT_EQ(findings[1].severity, TSeverity::Error);
  EXPECT_EQ(findings[3].severity, TSeverity::Error);
}

}  // namespace
}  // namespace vey::test
