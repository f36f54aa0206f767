// Tests of TQK_Inifile: profile-file rules, escapes, limits, re-reading and writing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/UQK_IniFile.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using test::TempDir;

struct IniFixture {
  TempDir dir;
  TQK_Inifile ini;
  explicit IniFixture(std::string_view content) : ini((dir / "changes.ini").string()) {
    dir.Write("changes.ini", content);
  }
};

TEST(TQK_InifileEscapes, DecodesLineBreaksWhereverTheyStand) {
  IniFixture f(
      "[Settings]\r\n"
      "ConfirmMessage=First line<#LF#>Second line\r\n"
      "Edges=<#LF#>middle<#CR#>\r\n"
      "Pair=a<#CR#><#LF#>b\r\n"
      "Lower=a<#lf#>b<#Cr#>c\r\n");
  EXPECT_EQ(f.ini.ReadString("Settings", "ConfirmMessage", ""), "First line\nSecond line");
  EXPECT_EQ(f.ini.ReadString("Settings", "Edges", ""), "\nmiddle\r");
  EXPECT_EQ(f.ini.ReadString("Settings", "Pair", ""), "a\r\nb");
  EXPECT_EQ(f.ini.ReadString("Settings", "Lower", ""), "a<#lf#>b<#Cr#>c");
  // The default passes through the same decoding.
  EXPECT_EQ(f.ini.ReadString("Settings", "Missing", "x<#LF#>y"), "x\ny");
}

TEST(TQK_InifileRules, FirstOfDuplicateKeysIsReadButAllAreListed) {
  IniFixture f("[List]\nFile=a.2da\nfile=b.2da\nOther=c\n");
  EXPECT_EQ(f.ini.ReadString("LIST", "FILE", ""), "a.2da");
  EXPECT_EQ(f.ini.ReadSection("list"), (std::vector<std::string>{"File", "file", "Other"}));
}

TEST(TQK_InifileRules, LaterSectionOfTheSameNameIsIgnoredEntirely) {
  IniFixture f(
      "[Empty]\n"
      "[Table]\nA=1\n"
      "[Other]\nX=1\n"
      "[table]\nA=2\nB=3\n"
      "[EMPTY]\nC=4\n");
  EXPECT_EQ(f.ini.ReadString("Table", "A", ""), "1");
  EXPECT_EQ(f.ini.ReadString("Table", "B", "none"), "none");
  EXPECT_EQ(f.ini.ReadSection("Table"), (std::vector<std::string>{"A"}));
  EXPECT_FALSE(f.ini.SectionExists("Empty"));
  EXPECT_EQ(f.ini.ReadString("Empty", "C", "none"), "none");
}

TEST(TQK_InifileRules, ValuesAreTrimmedAndLoseOneMatchingPairOfQuotes) {
  IniFixture f(
      "[S]\n"
      "  Padded  =  some value \t\n"
      "Double=\"  kept blanks  \"\n"
      "Single='x'\n"
      "Mixed=\"x'\n"
      "Nested=\"'x'\"\n"
      "Lone=\"\n"
      "Equals=a=b=c\n"
      "Bytes=caf\xE9 \x95\n");
  EXPECT_EQ(f.ini.ReadString("S", "Padded", ""), "some value");
  EXPECT_EQ(f.ini.ReadString("S", "Double", ""), "  kept blanks  ");
  EXPECT_EQ(f.ini.ReadString("S", "Single", ""), "x");
  EXPECT_EQ(f.ini.ReadString("S", "Mixed", ""), "\"x'");
  EXPECT_EQ(f.ini.ReadString("S", "Nested", ""), "'x'");
  EXPECT_EQ(f.ini.ReadString("S", "Lone", ""), "\"");
  EXPECT_EQ(f.ini.ReadString("S", "Equals", ""), "a=b=c");
  EXPECT_EQ(f.ini.ReadString("S", "Bytes", ""), "caf\xE9 \x95");
}

TEST(TQK_InifileRules, EmptyValueIsNotTheDefaultButAMissingEqualsSignIs) {
  IniFixture f("[S]\nEmpty=\nQuotedEmpty=\"\"\nBare\n");
  EXPECT_EQ(f.ini.ReadString("S", "Empty", "default"), "");
  EXPECT_EQ(f.ini.ReadString("S", "QuotedEmpty", "default"), "");
  EXPECT_EQ(f.ini.ReadString("S", "Bare", "default"), "default");
  EXPECT_EQ(f.ini.ReadString("S", "Missing", "default"), "default");
  EXPECT_EQ(f.ini.ReadSection("S"), (std::vector<std::string>{"Empty", "QuotedEmpty", "Bare"}));
}

TEST(TQK_InifileRules, ByteOrderMarkCommentsAndLineEndsDoNotHideEntries) {
  IniFixture f(
      "\xEF\xBB\xBF[First]\r\n"
      "; a comment=with an equals sign\r\n"
      "   ;indented comment\r\n"
      "A=x;not a comment\n"
      "Stray=before\rOld=mac\r\n"
      "\r\n"
      "  [ Second ]  \n"
      "B=y");
  EXPECT_EQ(f.ini.ReadString("First", "A", ""), "x;not a comment");
  EXPECT_EQ(f.ini.ReadString("First", "Stray", ""), "before");
  EXPECT_EQ(f.ini.ReadString("First", "Old", ""), "mac");
  EXPECT_EQ(f.ini.ReadSection("First"), (std::vector<std::string>{"A", "Stray", "Old"}));
  EXPECT_EQ(f.ini.ReadString("Second", "B", ""), "y");
}

TEST(TQK_InifileRules, EntriesBeforeTheFirstSectionBelongToNone) {
  IniFixture f("Loose=1\n[S]\nK=2\n");
  EXPECT_EQ(f.ini.ReadString("", "Loose", "none"), "none");
  EXPECT_EQ(f.ini.ReadString("S", "Loose", "none"), "none");
  EXPECT_EQ(f.ini.ReadString("S", "K", ""), "2");
}

TEST(TQK_InifileLimits, ValueIsCutAfter2047Characters) {
  std::string exact(2047, 'a');
  std::string longer = std::string(2047, 'b') + "<#LF#>tail";
  IniFixture f("[S]\nExact=" + exact + "\nLonger=" + longer + "\n");
  EXPECT_EQ(f.ini.ReadString("S", "Exact", ""), exact);
  // The cut comes before decoding, so an escape past the limit never appears.
  EXPECT_EQ(f.ini.ReadString("S", "Longer", ""), std::string(2047, 'b'));
}

// Other readers stop listing at 16,384 bytes of zero-terminated names; here
// every name is listed and the reader reports the section once it passes that.
TEST(TQK_InifileLimits, EveryKeyIsListedAndLongSectionsAreReported) {
  // 163 names of 99 characters take 16,300 bytes with their zeros; with the
  // closing zero, an 82-character name fills the list exactly.
  std::string body = "[Big]\n";
  std::vector<std::string> expected;
  for (int i = 0; i < 163; ++i) {
    std::string name = std::string(95, 'k') + std::to_string(1000 + i);
    body += name + "=1\n";
    expected.push_back(name);
  }
  std::string fits(82, 'f');
  std::string exactBody = body + fits + "=1\n[Next]\na=1\n";
  std::string overBody = body + std::string(83, 'f') + "=1\nz=1\n";

  std::vector<std::string> reported;
  IniFixture exact(exactBody);
  exact.ini.OnLongSection = [&](std::string_view section) { reported.emplace_back(section); };
  expected.push_back(fits);
  EXPECT_EQ(exact.ini.ReadSection("Big"), expected);
  EXPECT_TRUE(reported.empty());

  IniFixture over(overBody);
  over.ini.OnLongSection = [&](std::string_view section) { reported.emplace_back(section); };
  expected.back() = std::string(83, 'f');
  expected.push_back("z");
  EXPECT_EQ(over.ini.ReadSection("big"), expected);
  EXPECT_EQ(reported, (std::vector<std::string>{"big"}));
  EXPECT_TRUE(over.ini.SectionExists("Big"));

  // 3,000 keys: all of them.
  std::string many = "[Many]\n";
  for (int i = 0; i < 3000; ++i) many += "ChangeRow" + std::to_string(i) + "=r\n";
  IniFixture large(many);
  const auto keys = large.ini.ReadSection("Many");
  ASSERT_EQ(keys.size(), 3000u);
  EXPECT_EQ(keys.back(), "ChangeRow2999");
}

TEST(TQK_InifileNumbers, IntegersBooleansAndTheirDefaults) {
  IniFixture f(
      "[Settings]\n"
      "LogLevel=0x4\nUpper=0X1f\nDollar=$10\nNegative=-12\nWord=four\n"
      "Bare0x=0x\nTooBig=2147483648\nAllBits=$FFFFFFFF\nSpaced=\" 7\"\n"
      "InstallerMode=true\nOne=1\nZero=0\nTwo=2\n");
  EXPECT_EQ(f.ini.ReadInteger("Settings", "LogLevel", 3), 4);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Upper", 3), 31);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Dollar", 3), 16);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Negative", 3), -12);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Word", 3), 3);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Bare0x", 3), 3);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "TooBig", 3), 3);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "AllBits", 3), -1);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Spaced", 3), 3);
  EXPECT_EQ(f.ini.ReadInteger("Settings", "Missing", 3), 3);
  EXPECT_FALSE(f.ini.ReadBool("Settings", "InstallerMode", false));
  EXPECT_TRUE(f.ini.ReadBool("Settings", "InstallerMode", true));
  EXPECT_TRUE(f.ini.ReadBool("Settings", "One", false));
  EXPECT_FALSE(f.ini.ReadBool("Settings", "Zero", true));
  EXPECT_TRUE(f.ini.ReadBool("Settings", "Two", false));
}

TEST(TQK_InifileSections, ExistsOnlyWithAtLeastOneKey) {
  IniFixture f("[Header]\n[WithComment]\n; nothing\n[Full]\nK=\n");
  EXPECT_FALSE(f.ini.SectionExists("Header"));
  EXPECT_FALSE(f.ini.SectionExists("WithComment"));
  EXPECT_TRUE(f.ini.SectionExists("full"));
  EXPECT_FALSE(f.ini.SectionExists("Nowhere"));
}

TEST(TQK_InifileSections, SectionValuesAreDecodedLinesInFileOrder) {
  IniFixture f("[S]\nB=2<#LF#>x\nA=\"1\"\nb=ignored\n");
  std::vector<std::string> lines{"stale"};
  f.ini.ReadSectionValues("S", lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"B=2\nx", "A=1", "b=2\nx"}));
}

TEST(TQK_InifileFile, MissingFileReadsAsEmpty) {
  TempDir dir;
  TQK_Inifile ini((dir / "nowhere.ini").string());
  EXPECT_EQ(ini.ReadString("Settings", "WindowCaption", "caption"), "caption");
  EXPECT_EQ(ini.ReadInteger("Settings", "LogLevel", 3), 3);
  EXPECT_TRUE(ini.ReadBool("Settings", "BackupFiles", true));
  std::vector<std::string> keys{"stale"};
  ini.ReadSection("Settings", keys);
  EXPECT_TRUE(keys.empty());
  // A file that appears later is seen.
  dir.Write("nowhere.ini", "[Settings]\nLogLevel=1\n");
  EXPECT_EQ(ini.ReadInteger("Settings", "LogLevel", 3), 1);
}

TEST(TQK_InifileFile, ReadsSeeTheFileAfterItChanges) {
  TempDir dir;
  auto path = dir.Write("changes.ini", "[S]\nK=old\n");
  TQK_Inifile ini(path.string());
  EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
  dir.Write("changes.ini", "[S]\nK=newer\n");  // rewritten in place, other size
  EXPECT_EQ(ini.ReadString("S", "K", ""), "newer");
  // Same size, replaced through a rename: a different file on disk.
  dir.Write("next.ini", "[S]\nK=later\n");
  std::filesystem::rename(dir / "next.ini", path);
  EXPECT_EQ(ini.ReadString("S", "K", ""), "later");
  std::filesystem::remove(path);
  EXPECT_EQ(ini.ReadString("S", "K", "gone"), "gone");
}

TEST(TQK_InifileFile, ManySectionsAreAllReachable) {
  std::string body;
  for (int i = 0; i < 6000; ++i)
    body += "[gff_" + std::to_string(i) + "]\r\nPath=Root\\List\\" + std::to_string(i) + "\r\n";
  IniFixture f(body);
  EXPECT_EQ(f.ini.ReadString("GFF_0", "path", ""), "Root\\List\\0");
  EXPECT_EQ(f.ini.ReadString("gff_5999", "Path", ""), "Root\\List\\5999");
  EXPECT_EQ(f.ini.ReadString("gff_6000", "Path", "none"), "none");
}

TEST(TQK_InifileWrite, ReplacesTheFirstEntryAndKeepsEveryOtherByte) {
  IniFixture f("; header\r\n[S]\r\n  Key = old \r\nKey=second\r\n[T]\r\nX=1\r\n");
  f.ini.WriteString("s", "KEY", "line1\r\nline2");
  EXPECT_EQ(f.dir.Read("changes.ini"),
            "; header\r\n[S]\r\nKey=line1<#CR#><#LF#>line2\r\nKey=second\r\n[T]\r\nX=1\r\n");
  EXPECT_EQ(f.ini.ReadString("S", "Key", ""), "line1\r\nline2");
}

TEST(TQK_InifileWrite, AddsKeysAfterTheSectionsLastEntryAndNewSectionsAtTheEnd) {
  IniFixture f("[S]\nA=1\n; trailing comment\n\n[T]\nX=1");
  f.ini.WriteString("S", "B", "2");
  f.ini.WriteString("U", "C", "3");
  EXPECT_EQ(f.dir.Read("changes.ini"), "[S]\nA=1\nB=2\n; trailing comment\n\n[T]\nX=1\n[U]\nC=3\n");
  EXPECT_EQ(f.ini.ReadSection("S"), (std::vector<std::string>{"A", "B"}));
}

TEST(TQK_InifileWrite, CreatesAMissingFileAndRefusesWhatItCannotWrite) {
  TempDir dir;
  TQK_Inifile ini((dir / "new.ini").string());
  ini.WriteString("Settings", "LogLevel", "4");
  EXPECT_EQ(dir.Read("new.ini"), "[Settings]\r\nLogLevel=4\r\n");
  EXPECT_EQ(ini.ReadInteger("Settings", "LogLevel", 3), 4);

  std::string noFolder = (dir / "missing" / "x.ini").string();
  TQK_Inifile nowhere(noFolder);
  test::ExpectFailure<EIniFileException>([&] { nowhere.WriteString("S", "K", "v"); }, 0,
                                         "Unable to write to " + noFolder);
  // A key that would split the line could not be read back as written.
  test::ExpectFailure<EIniFileException>([&] { ini.WriteString("S", "K=2", "v"); }, 0,
                                         "Unable to write to " + ini.FileName());
  test::ExpectFailure<EIniFileException>([&] { ini.WriteString("S\n[T]", "K", "v"); }, 0,
                                         "Unable to write to " + ini.FileName());
  EXPECT_EQ(dir.Read("new.ini"), "[Settings]\r\nLogLevel=4\r\n");
}

TEST(MakeFolderPath, CreatesEveryMissingParent) {
  TempDir dir;
  auto deep = dir / "a" / "b" / "c";
  EXPECT_TRUE(MakeFolderPath(deep.string() + "/"));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(MakeFolderPath(deep.string()));
  dir.Write("file", "x");
  EXPECT_FALSE(MakeFolderPath((dir / "file" / "sub").string()));
}

}  // namespace
}  // namespace vey
