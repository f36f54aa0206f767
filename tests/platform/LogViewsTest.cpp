// The RTF and UTF-8 log writers and the line-reporting views.
#include <gtest/gtest.h>

#include "common/PathText.h"
#include "platform/LogViews.h"
#include "platform/TerminalColour.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

TextAttributes Attr(Rgb colour, bool bold = false) {
  TextAttributes a;
  a.color = colour;
  a.bold = bold;
  return a;
}

constexpr Rgb kInstall{46, 46, 46};
constexpr Rgb kError{156, 2, 2};
constexpr Rgb kStatus{2, 97, 17};

TEST(RichTextLogRtf, WritesTheWholeDocument) {
  RichTextLog log;
  log.SetAttributes(Attr(kInstall));
  log.AppendLine(" \x95 Copying a.2da");
  log.SetAttributes(Attr(kError));
  log.AppendLine(" \x95 Error: x");
  log.SetAttributes(Attr(kInstall));
  log.AppendLine("again");
  log.SetAttributes(Attr(kStatus, true));
  log.AppendLine("done");
  EXPECT_EQ(log.ToRtf(),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033\r\n"
            "{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
            "{\\colortbl ;\\red46\\green46\\blue46;\\red156\\green2\\blue2;"
            "\\red2\\green97\\blue17;}\r\n"
            "\\viewkind4\\uc1\r\n"
            "\\pard\\ql\\li0\\fi0\\plain\\f0\\fs16\\cf1  \\'95 Copying a.2da\\par\r\n"
            "\\pard\\ql\\li0\\fi0\\plain\\f0\\fs16\\cf2  \\'95 Error: x\\par\r\n"
            "\\pard\\ql\\li0\\fi0\\plain\\f0\\fs16\\cf1 again\\par\r\n"
            "\\pard\\ql\\li0\\fi0\\plain\\f0\\fs16\\cf3\\b done\\b0\\par\r\n"
            "}\r\n");
}

TEST(RichTextLogRtf, EscapesRtfCharactersAndHighBytes) {
  RichTextLog log;
  log.AppendLine("C:\\x {a} \xE9\x80 \ttab\r\nnext\x01\x7f");
  std::string rtf = log.ToRtf();
  EXPECT_NE(rtf.find("\\cf1 C:\\\\x \\{a\\} \\'e9\\'80 \\tab tab\\line next\\'01\\'7f\\par"),
            std::string::npos)
      << rtf;
  // No raw byte outside printable ASCII may reach the document.
  for (char c : rtf) {
    auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE((b >= 0x20 && b < 0x7F) || c == '\r' || c == '\n') << int(b);
  }
}

TEST(RichTextLogRtf, OtherFontsAndSizesGetTheirOwnEntries) {
  RichTextLog log;
  TextAttributes a;
  a.fontName = "Ar;ial";
  a.sizePoints = 10;
  log.SetAttributes(a);
  log.AppendLine("x");
  std::string rtf = log.ToRtf();
  EXPECT_NE(rtf.find("{\\f0\\fmodern\\fcharset0 Courier New;}{\\f1\\fmodern\\fcharset0 Arial;}"),
            std::string::npos)
      << rtf;
  EXPECT_NE(rtf.find("\\f1\\fs20\\cf1 x\\par"), std::string::npos) << rtf;
}

TEST(RichTextLogRtf, ClearEmptiesAndSaveReplacesTheFile) {
  test::TempDir dir;
  RichTextLog log;
  log.AppendLine("before");
  log.Clear();
  log.AppendLine("after");
  ASSERT_EQ(log.Lines().size(), 1u);
  auto path = dir.Write("installlog.rtf", "old");
  log.SaveToFile(path);
  EXPECT_EQ(dir.Read("installlog.rtf"), log.ToRtf());
}

TEST(PlainTextLogSave, WritesUtf8LinesEndedByLineFeeds) {
  test::TempDir dir;
  PlainTextLog log;
  log.AppendLine(" [Install] \tCaf\xE9 \x95");
  log.AppendLine("");
  log.AppendLine(" [STATUS] \tdone");
  EXPECT_EQ(log.ToText(), " [Install] \tCaf\xC3\xA9 \xE2\x80\xA2\n\n [STATUS] \tdone\n");
  log.SaveToFile(dir / "installlog.txt");
  EXPECT_EQ(dir.Read("installlog.txt"), log.ToText());
}

TEST(TeeLogs, ReportEachLineWithItsAttributesAndPassEverythingOn) {
  RichTextLog inner;
  std::vector<std::pair<std::string, TextAttributes>> seen;
  TeeRichLog tee(&inner, [&](std::string_view text, const TextAttributes& a) {
    seen.emplace_back(std::string(text), a);
  });
  tee.AppendLine("first");
  tee.SetAttributes(Attr(kError, true));
  tee.SetWordWrap(false);
  tee.AppendLine("second");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].second, TextAttributes{});
  EXPECT_EQ(seen[1].second, Attr(kError, true));
  EXPECT_EQ(inner.Lines()[1], (RichTextLog::Line{"second", Attr(kError, true)}));
  EXPECT_FALSE(inner.WordWrap());
  tee.Clear();
  EXPECT_TRUE(inner.Lines().empty());

  std::vector<std::string> plain;
  TeePlainLog alone(nullptr, [&](std::string_view text) { plain.emplace_back(text); });
  alone.AppendLine("x");
  alone.Clear();
  EXPECT_EQ(plain, std::vector<std::string>{"x"});
}

TEST(TerminalLineText, ConvertsColoursAndDefusesControlCharacters) {
  EXPECT_EQ(TerminalLine(" \x95 ok", Attr(kError, true), true), "\x1b[1;31m \xE2\x80\xA2 ok\x1b[0m");
  EXPECT_EQ(TerminalLine("plain", Attr(kError), false), "plain");
  // The grey of ordinary lines keeps the terminal's own colour.
  EXPECT_EQ(TerminalLine("line", Attr(kInstall), true), "line");
  // ESC, CR, DEL and an unassigned code-page byte (a C1 control) are defused.
  EXPECT_EQ(TerminalText("a\x1b[2Jb\rc\x7f\x81\td\ne"), "a?[2Jb?c??\td\ne");
}

TEST(TerminalLineText, EachLogColourBecomesTheNearestBasicColour) {
  const struct {
    Rgb colour;
    bool bold;
    const char* sgr;
  } cases[] = {
      {{4, 32, 152}, false, "34"},   // debug: blue
      {{156, 2, 2}, false, "31"},    // error: red
      {{160, 87, 2}, false, "33"},   // warning: orange as yellow
      {{46, 46, 46}, false, ""},     // install: grey, the default colour
      {{2, 97, 17}, true, "1;32"},   // all-clear status: bold green
      {{160, 87, 2}, true, "1;33"},  // warning status
      {{0, 0, 0}, true, "1"},
      {{20, 150, 150}, false, "36"},
      {{150, 20, 150}, false, "35"},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalColour(Attr(c.colour, c.bold)), c.sgr) << c.sgr;
}

TEST(TerminalLineText, ColourOnlyOnATerminalThatWantsIt) {
  EXPECT_TRUE(ColourWanted(true, nullptr, "xterm-256color"));
  EXPECT_TRUE(ColourWanted(true, "", "xterm"));  // an empty NO_COLOR does not count
  EXPECT_FALSE(ColourWanted(true, "1", "xterm"));
  EXPECT_FALSE(ColourWanted(true, nullptr, "dumb"));
  EXPECT_FALSE(ColourWanted(true, nullptr, nullptr));
  EXPECT_FALSE(ColourWanted(false, nullptr, "xterm"));
}

TEST(MarkedPaths, ReachEveryLogFileAsTheirCharacters) {
  // "Mon Jeu – Édition/ゲ": the dash and the letter are Windows-1252, the last one is not.
  const std::string line = " [Install] \tUpdated " + PathText(std::string("/Mon Jeu \xE2\x80\x93 \xC3\x89/\xE3\x82\xB2"));
  PlainTextLog plain;
  plain.AppendLine(line);
  EXPECT_EQ(plain.ToText(), " [Install] \tUpdated /Mon Jeu \xE2\x80\x93 \xC3\x89/\xE3\x82\xB2\n");
  RichTextLog rich;
  rich.AppendLine(line);
  EXPECT_NE(rich.ToRtf().find("Updated /Mon Jeu \\'96 \\'c9/\\u12466?\\par"), std::string::npos) << rich.ToRtf();
  RichTextLog wide;
  wide.AppendLine(PathText(std::string("\xF0\x9F\x8E\xAE")));  // two UTF-16 halves, signed
  EXPECT_NE(wide.ToRtf().find("\\u-10180?\\u-8274?\\par"), std::string::npos) << wide.ToRtf();
  EXPECT_EQ(TerminalText(line), plain.ToText().substr(0, plain.ToText().size() - 1));
}

}  // namespace
}  // namespace vey::platform
