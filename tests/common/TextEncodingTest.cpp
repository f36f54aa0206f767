// Text encodings of instruction files: byte-order marks, the UTF-8 look test,
// the lossy conversion, and what the INI reader makes of each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TextEncoding.h"
#include "common/UQK_IniFile.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

TEST(TextEncoding, ByteOrderMarksTellTheEncoding) {
  EXPECT_EQ(DetectTextEncoding("\xEF\xBB\xBF[S]"), TTextEncoding::Utf8);
  EXPECT_EQ(DetectTextEncoding("\xFF\xFE[\0"), TTextEncoding::Utf16);
  EXPECT_EQ(DetectTextEncoding("\xFE\xFF\0["), TTextEncoding::Utf16);
  EXPECT_EQ(DetectTextEncoding("[S]\n\xC9p\xE9" "e"), TTextEncoding::Windows1252);
  EXPECT_EQ(DetectTextEncoding("\xEF\xBB"), TTextEncoding::Windows1252);
  EXPECT_EQ(DetectTextEncoding(""), TTextEncoding::Windows1252);
}

TEST(TextEncoding, LooksLikeUtf8OnlyWithWellFormedMultiByteSequences) {
  struct Case {
    std::string text;
    bool utf8;
  };
  const std::vector<Case> cases = {
      {"plain ASCII", false},
      {"\xC3\x89p\xC3\xA9" "e", true},              // "Épée"
      {"\xE2\x82\xAC 5", true},                      // euro sign
      {"\xF0\x9F\x97\xA1", true},                    // outside the basic plane
      {"\xC9p\xE9" "e", false},                      // Windows-1252 "Épée"
      {"caf\xC3", false},                            // cut short
      {"\xC0\xAF", false},                           // overlong
      {"\xED\xA0\x80", false},                       // surrogate
      {"\xC3\xA9 and \xE9", false},                  // mixed
  };
  for (const Case& c : cases) EXPECT_EQ(LooksLikeUtf8(c.text), c.utf8) << c.text;
}

TEST(TextEncoding, Utf8BecomesWindows1252AndLosesOnlyWhatTheCodePageLacks) {
  std::vector<std::size_t> lost;
  EXPECT_EQ(Utf8ToWin1252Lossy("\xC3\x89p\xC3\xA9" "e \xE2\x82\xAC \xE2\x80\x94 \xC5\x93", &lost),
            "\xC9p\xE9" "e \x80 \x97 \x9C");
  EXPECT_TRUE(lost.empty());
  // CJK, a Cyrillic letter and an emoji: one '?' each, at their offsets.
  EXPECT_EQ(Utf8ToWin1252Lossy("a\xE6\x97\xA5" "b\xD0\x96\xF0\x9F\x97\xA1", &lost), "a?b??");
  EXPECT_EQ(lost, (std::vector<std::size_t>{1, 3, 4}));
  // Malformed bytes stay as they are.
  lost.clear();
  EXPECT_EQ(Utf8ToWin1252Lossy("x\xE9y\xC3", &lost), "x\xE9y\xC3");
  EXPECT_TRUE(lost.empty());
}

TEST(TQK_InifileEncoding, Utf8FileIsReadAsWindows1252WithLostCharactersLocated) {
  test::TempDir dir;
  dir.Write("changes.ini",
            "\xEF\xBB\xBF; comment \xE6\x97\xA5\r\n"
            "[Names]\r\n"
            "Blade=\xC3\x89p\xC3\xA9" "e\r\n"
            "Far=\xE6\x97\xA5\xE6\x9C\xAC and \xD0\x96\r\n"
            "[Caf\xC3\xA9]\n"
            "Key=1\n");
  TQK_Inifile ini((dir / "changes.ini").string());
  EXPECT_EQ(ini.Encoding(), TTextEncoding::Utf8);
  EXPECT_EQ(ini.ReadString("Names", "Blade", ""), "\xC9p\xE9" "e");
  EXPECT_EQ(ini.ReadString("Names", "Far", ""), "?? and ?");
  EXPECT_EQ(ini.ReadString("Caf\xE9", "Key", ""), "1");
  const auto lost = ini.LostCharacters();
  ASSERT_EQ(lost.size(), 2u);  // one per line
  EXPECT_EQ(lost[0].line, 1);
  EXPECT_EQ(lost[0].key, "");
  EXPECT_EQ(lost[1].line, 4);
  EXPECT_EQ(lost[1].section, "Names");
  EXPECT_EQ(lost[1].key, "Far");
}

TEST(TQK_InifileEncoding, FileWithoutMarkKeepsItsBytesAndUtf16ReadsAsNothing) {
  test::TempDir dir;
  dir.Write("a.ini", "[Names]\nBlade=\xC3\x89p\xC3\xA9" "e\n");
  TQK_Inifile plain((dir / "a.ini").string());
  EXPECT_EQ(plain.Encoding(), TTextEncoding::Windows1252);
  EXPECT_EQ(plain.ReadString("Names", "Blade", ""), "\xC3\x89p\xC3\xA9" "e");
  EXPECT_TRUE(plain.LostCharacters().empty());

  dir.Write("b.ini", std::string("\xFF\xFE[\0S\0]\0\n\0", 10));
  TQK_Inifile wide((dir / "b.ini").string());
  EXPECT_EQ(wide.Encoding(), TTextEncoding::Utf16);
  EXPECT_FALSE(wide.ReadBool("Settings", "FileExists", false));
}

TEST(TQK_InifileLayout, EntriesCarryTheirLinesWhateverEndsThem) {
  test::TempDir dir;
  dir.Write("changes.ini",
            "; head\r\n"
            "[First]\r\n"
            "A=1\r\n"
            "\r\n"
            "B=\"two\"<#LF#>\r"
            "C\n"
            "[Second]\n"
            "D=4\n"
            "[first]\n"
            "E=5\n");
  TQK_Inifile ini((dir / "changes.ini").string());
  const TQK_IniLayout layout = ini.Layout();
  ASSERT_EQ(layout.sections.size(), 2u);
  const TQK_IniSection& first = layout.sections[0];
  EXPECT_EQ(first.name, "First");
  EXPECT_EQ(first.line, 2);
  ASSERT_EQ(first.entries.size(), 3u);
  EXPECT_EQ(first.entries[0].line, 3);
  EXPECT_EQ(first.entries[1].line, 5);
  EXPECT_EQ(first.entries[1].value, "\"two\"\n");  // as ReadString returns it
  EXPECT_EQ(first.entries[2].line, 6);
  EXPECT_FALSE(first.entries[2].hasValue);
  EXPECT_EQ(layout.sections[1].entries[0].line, 8);
  // The later section of a used name is never read, but it is listed apart.
  ASSERT_EQ(layout.repeated.size(), 1u);
  EXPECT_EQ(layout.repeated[0].name, "first");
  EXPECT_EQ(layout.repeated[0].line, 9);
  EXPECT_EQ(layout.repeated[0].entries[0].line, 10);
  EXPECT_EQ(ini.ReadString("First", "E", "none"), "none");
}

}  // namespace
}  // namespace vey
