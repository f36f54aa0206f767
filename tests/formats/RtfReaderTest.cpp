// URtfReader: one table per family of control words, malformed input, the
// plain-text fallback, and a whole information text as a word processor saves it.
#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "formats/RtfCodePages.h"
#include "formats/URtfReader.h"

namespace vey::rtf {
namespace {

Document Read(std::string_view text) {
  return ReadRtf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::string Body(std::string_view body) { return "{\\rtf1\\ansi\\deff0 " + std::string(body) + "}"; }

std::string TextOf(const Document& doc) {
  std::string out = PlainText(doc);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The run whose text contains needle; fails the test when there is none.
const Run& RunWith(const Document& doc, std::string_view needle) {
  for (const auto& paragraph : doc.paragraphs)
    for (const auto& run : paragraph.runs)
      if (run.text.find(needle) != std::string::npos) return run;
  ADD_FAILURE() << "no run holds \"" << needle << "\" in:\n" << PlainText(doc);
  static const Run kNone;
  return kNone;
}

TEST(RtfReaderCharacters, TogglesAndTheirOffForms) {
  struct Case {
    const char* on;
    const char* off;
    bool RunStyle::*flag;
  };
  const Case cases[] = {
      {"\\b ", "\\b0 ", &RunStyle::bold},          {"\\b1 ", "\\b0 ", &RunStyle::bold},
      {"\\i ", "\\i0 ", &RunStyle::italic},        {"\\ul ", "\\ul0 ", &RunStyle::underline},
      {"\\ul ", "\\ulnone ", &RunStyle::underline}, {"\\uldb ", "\\ulnone ", &RunStyle::underline},
      {"\\ulwave ", "\\ul0 ", &RunStyle::underline}, {"\\strike ", "\\strike0 ", &RunStyle::strike},
      {"\\striked1 ", "\\striked0 ", &RunStyle::strike}, {"\\caps ", "\\caps0 ", &RunStyle::caps},
      {"\\scaps ", "\\scaps0 ", &RunStyle::smallCaps}, {"\\b\\i ", "\\plain ", &RunStyle::bold},
      {"{\\i ", "}", &RunStyle::italic},  // a group's formatting ends with it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.on) + "|" + c.off);
    Document doc = Read(Body(std::string("A ") + c.on + "On" + c.off + "Off"));
    EXPECT_FALSE(RunWith(doc, "A").style.*c.flag);
    EXPECT_TRUE(RunWith(doc, "On").style.*c.flag);
    EXPECT_FALSE(RunWith(doc, "Off").style.*c.flag);
    EXPECT_EQ(TextOf(doc), "A OnOff");
  }
  // Hidden text is never shown; \ulc names a colour and does not underline.
  Document doc = Read(Body("a{\\v hidden}b\\ulc2 c"));
  EXPECT_EQ(TextOf(doc), "abc");
  EXPECT_FALSE(RunWith(doc, "c").style.underline);
}

TEST(RtfReaderCharacters, FontsSizesAndColours) {
  const std::string tables =
      "{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern\\fcharset0 Courier New;}{\\f2\\fnil\\fprq1 Fixedsys;}"
      "{\\f3\\froman{\\*\\panose 02020603050405020304}Times New Roman{\\*\\falt Times};}}"
      "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
  struct Case {
    const char* words;
    std::string fontName;
    bool monospace;
    int halfPoints;
    std::optional<Color> color;
    std::optional<Color> highlight;
  };
  const Color red{255, 0, 0}, blue{0, 0, 255};
  const Case cases[] = {
      {"", "Arial", false, 24, {}, {}},
      {"\\f1", "Courier New", true, 24, {}, {}},
      {"\\f2", "Fixedsys", true, 24, {}, {}},
      {"\\f3", "Times New Roman", false, 24, {}, {}},
      {"\\f3\\plain", "Arial", false, 24, {}, {}},
      {"\\f9", "", false, 24, {}, {}},  // a font the table lacks
      {"\\fs40", "Arial", false, 40, {}, {}},
      {"\\fs99999999999999", "Arial", false, 3276, {}, {}},
      {"\\cf1", "Arial", false, 24, red, {}},
      {"\\cf1\\cf0", "Arial", false, 24, {}, {}},
      {"\\cf7", "Arial", false, 24, {}, {}},
      {"\\highlight2", "Arial", false, 24, {}, blue},
      {"\\cb1", "Arial", false, 24, {}, red},
      {"\\chcbpat2\\highlight0", "Arial", false, 24, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    Document doc = Read(Body(tables + c.words + (*c.words ? " " : "") + "Text"));
    const RunStyle& style = RunWith(doc, "Text").style;
    EXPECT_EQ(style.fontName, c.fontName);
    EXPECT_EQ(style.monospace, c.monospace);
    EXPECT_EQ(style.halfPoints, c.halfPoints);
    EXPECT_EQ(style.color, c.color);
    EXPECT_EQ(style.highlight, c.highlight);
    EXPECT_EQ(TextOf(doc), "Text");  // no table text leaks into the body
  }
}

TEST(RtfReaderParagraphs, AlignmentIndentsAndSpacing) {
  struct Case {
    const char* words;
    ParagraphStyle expected;
  };
  auto Style = [](Align a, int li, int ri, int fi, int sb, int sa, int sl) {
    ParagraphStyle s;
    s.align = a;
    s.leftIndent = li;
    s.rightIndent = ri;
    s.firstIndent = fi;
    s.spaceBefore = sb;
    s.spaceAfter = sa;
    s.lineSpacing = sl;
    return s;
  };
  const Case cases[] = {
      {"\\ql", Style(Align::Left, 0, 0, 0, 0, 0, 0)},
      {"\\qc", Style(Align::Center, 0, 0, 0, 0, 0, 0)},
      {"\\qr", Style(Align::Right, 0, 0, 0, 0, 0, 0)},
      {"\\qj", Style(Align::Justify, 0, 0, 0, 0, 0, 0)},
      {"\\qc\\ql", Style(Align::Left, 0, 0, 0, 0, 0, 0)},
      {"\\li720\\ri360\\fi-360", Style(Align::Left, 720, 360, -360, 0, 0, 0)},
      {"\\lin1440\\rin10", Style(Align::Left, 1440, 10, 0, 0, 0, 0)},
      {"\\sb120\\sa240\\sl-300", Style(Align::Left, 0, 0, 0, 120, 240, -300)},
      {"\\qc\\li720\\pard", Style(Align::Left, 0, 0, 0, 0, 0, 0)},
      {"\\li2147483647", Style(Align::Left, 31680, 0, 0, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    Document doc = Read(Body(std::string("\\pard") + c.words + " Para\\par"));
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    EXPECT_EQ(doc.paragraphs[0].style, c.expected);
  }
}

TEST(RtfReaderParagraphs, BreaksAndTheirOwnProperties) {
  struct Case {
    const char* body;
    const char* text;
  };
  const Case cases[] = {
      {"one\\par two\\par", "one\ntwo"},
      {"one\\par\\par two", "one\n\ntwo"},
      {"one\\\ntwo", "one\ntwo"},  // a backslash before a line break
      {"one\\line two", "one\ntwo"},
      {"one\\sect two\\page three", "one\ntwo\nthree"},
      {"a\\cell b\\cell\\row c", "a\tb\t\nc"},
      {"a\r\nb\nc", "abc"},  // the file's own line breaks are not text
      {"last\\par", "last"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(TextOf(Read(Body(c.body))), c.text);
  }
  // Each paragraph keeps the properties in force at its end.
  Document doc = Read(Body("\\qc Centred\\par\\pard Left\\par{\\pard\\qr Right\\par}Left again"));
  ASSERT_EQ(doc.paragraphs.size(), 4u);
  EXPECT_EQ(doc.paragraphs[0].style.align, Align::Center);
  EXPECT_EQ(doc.paragraphs[1].style.align, Align::Left);
  EXPECT_EQ(doc.paragraphs[2].style.align, Align::Right);
  EXPECT_EQ(doc.paragraphs[3].style.align, Align::Left);
  EXPECT_EQ(RunWith(doc, "Left again").text, "Left again");
  EXPECT_EQ(Read(Body("x\\line y")).paragraphs[0].runs[0].text, "x\u2028y");
}

TEST(RtfReaderCharacters, SymbolsEscapesAndUnicode) {
  struct Case {
    const char* body;
    const char* text;
  };
  const Case cases[] = {
      {"\\emdash\\endash\\bullet", "\u2014\u2013\u2022"},
      {"\\lquote x\\rquote \\ldblquote y\\rdblquote", "\u2018x\u2019\u201Cy\u201D"},
      {"a\\~b\\-c\\_d", "a\u00A0bc\u2011d"},
      {"\\\\ \\{ \\}", "\\ { }"},
      {"a\\tab b", "a\tb"},
      {"caf\\'e9 \\'80", "caf\u00E9 \u20AC"},
      {"\\u8364? \\u1055\\'3f", "\u20AC \u041F"},
      {"\\u-3913 ?", "\u2022"},  // a symbol font's bullet written as Unicode
      {"\\u-10179?\\u-8704?", "\U0001F600"},
      {"\\uc2\\u8364 ab c", "\u20AC c"},
      {"\\uc2\\u8364\\'80\\'80c", "\u20ACc"},
      {"\\uc0\\u8364 ab", "\u20ACab"},
      {"{\\u8364}?", "\u20AC?"},  // the skip ends with the group
      {"\\uc1{\\uc3\\u8364 xyz}\\u8364 z", "\u20AC\u20AC"},
      {"\\unknownword42 \\zz-7 text\\*\\x y", "texty"},
      {"\\'1b[31m\\uc0\\u27 red\\u155 \\u-2 ", "[31mred"},  // control characters never reach a terminal
      {"\\'zz ok", "zz ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(TextOf(Read(Body(c.body))), c.text);
  }
}

TEST(RtfReaderCharacters, BytesInTheCodePageOfTheCurrentFont) {
  struct Case {
    const char* header;
    const char* bytes;
    const char* text;
  };
  const Case cases[] = {
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 A;}}", "\\'e9\\'80", "\u00E9\u20AC"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset204 A;}}", "\\'cf\\'f0\\'e8", "\u041F\u0440\u0438"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset238 A;}}", "\\'b9\\'e8", "\u0105\u010D"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset161 A;}}", "\\'e1\\'e2", "\u03B1\u03B2"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset162 A;}}", "\\'fd\\'f0", "\u0131\u011F"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset186 A;}}", "\\'e0\\'fb", "\u0105\u016B"},
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset2 Symbol;}}", "\\'b7", "\u2022"},
      {"\\ansicpg1251{\\fonttbl{\\f0 A;}}", "\\'cf", "\u041F"},               // no charset: \ansicpg
      {"\\ansicpg1251{\\fonttbl{\\f0\\fcharset128 A;}}", "\\'cf", "\u041F"},  // one this reader lacks
      {"\\ansicpg1252{\\fonttbl{\\f0\\fcharset0\\cpg1251 A;}}", "\\'cf", "\u041F"},
      {"\\ansicpg1251", "\\'cf", "\u041F"},  // no font table at all
      {"\\ansicpg437", "\\'e9", "\u00E9"},   // an unknown code page reads as Windows-1252
      {"{\\fonttbl{\\f0\\fcharset204 A;}}", "\xcf\xf0", "\u041F\u0440"},  // raw bytes too
      {"{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}", "\\'cf{\\f1\\'cf}\\'cf",
       "\u00CF\u041F\u00CF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.header) + c.bytes);
    const std::string header = c.header;
    const char* delimiter = header.ends_with('}') ? "" : " ";
    EXPECT_EQ(TextOf(Read("{\\rtf1\\ansi" + header + delimiter + c.bytes + "}")), c.text);
  }
}

// The system's converter is the reference, not a copy of the tables: one
// byte in the named code page, as a code point, or nothing when the code page
// leaves the byte unassigned.
std::optional<char32_t> SystemDecode(const char* codePage, unsigned char byte) {
  iconv_t cd = ::iconv_open("UTF-32LE", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[8] = {};
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  std::size_t inLeft = 1, outLeft = sizeof out;
  const std::size_t done = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (done == static_cast<std::size_t>(-1) || outLeft != 4) return std::nullopt;
  return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

TEST(RtfReaderCharacters, EveryCodePagesUpperHalfAsTheSystemConvertsIt) {
  for (int codePage : {1250, 1251, 1252, 1253, 1254, 1257}) {
    const std::string name = "CP" + std::to_string(codePage);
    ASSERT_TRUE(SystemDecode(name.c_str(), 'A')) << "the system cannot convert " << name;
    int unassigned = 0;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      const auto expected = SystemDecode(name.c_str(), static_cast<unsigned char>(byte));
      const char32_t got = DecodeByte(codePage, static_cast<unsigned char>(byte));
      if (!expected) {
        ++unassigned;
        // Unassigned bytes may be read as the code point of the same number
        // (the C1 controls, which the text then leaves out), but never as a letter.
        EXPECT_TRUE(got == 0xFFFD || got == static_cast<char32_t>(byte))
            << name << " byte 0x" << std::hex << byte << " read as U+" << static_cast<std::uint32_t>(got);
        continue;
      }
      EXPECT_EQ(static_cast<std::uint32_t>(got), static_cast<std::uint32_t>(*expected))
          << name << " byte 0x" << std::hex << byte;
    }
    EXPECT_LT(unassigned, 20) << name;
  }
  // Through a whole document: Io and io of the Cyrillic code page.
  EXPECT_EQ(TextOf(Read("{\\rtf1\\ansi\\ansicpg1251 \\'a8\\'b8}")), "\u0401\u0451");
}

TEST(RtfReaderCharacters, ColourTableEntriesWithAndWithoutTheirClosingSemicolon) {
  struct Case {
    const char* table;
    const char* word;
    std::optional<Color> color;
  };
  const Color red{255, 0, 0}, blue{0, 0, 255};
  const Case cases[] = {
      {"{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255}", "\\cf2", blue},  // last without ';'
      {"{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255}", "\\cf1", red},
      {"{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255}", "\\cf3", {}},
      {"{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}", "\\cf2", blue},
      {"{\\colortbl;\\red255\\green0\\blue0;}", "\\cf2", {}},  // nothing after the last ';'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.table) + c.word);
    const Document doc = Read(Body(std::string(c.table) + c.word + " Text"));
    EXPECT_EQ(RunWith(doc, "Text").style.color, c.color);
    EXPECT_EQ(TextOf(doc), "Text");
  }
}

TEST(RtfReaderDestinations, SkippedWithAllTheirContent) {
  const char* skipped[] = {
      "{\\*\\themedata 504b030414000600}",
      "{\\*\\colorschememapping 3c3f786d6c}",
      "{\\*\\datastore 0105000002000000}",
      "{\\*\\latentstyles\\lsdstimax376{\\lsdlockedexcept \\lsdqformat1 Normal;}}",
      "{\\*\\generator Writer 1.0;}",
      "{\\*\\somethingnew {nested} text}",
      "{\\info{\\title Title}{\\author Someone}}",
      "{\\stylesheet{\\s0 Normal;}{\\*\\cs10 Default Paragraph Font;}}",
      "{\\pict\\pngblip\\picw10 89504e470d0a}",
      "{\\*\\shppict{\\pict\\wmetafile8 0100}}{\\nonshppict{\\pict 0100}}",
      "{\\header Page header}{\\footer Page footer}{\\footerr r}",
      "{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}",
      "{\\pict\\bin6 }}{{\\}}",  // raw bytes of \bin are never braces
      "{\\*\\listtable{\\list{\\listlevel{\\leveltext\\'01\\u-3913 ?;}}}}",
      "{\\*\\bkmkstart here}",
      "{\\upr{ansi}}",
  };
  for (const char* group : skipped) {
    SCOPED_TRACE(group);
    EXPECT_EQ(TextOf(Read(Body(std::string("A") + group + "B"))), "AB");
  }
  EXPECT_EQ(TextOf(Read(Body("A\\bin3 x}yB"))), "AB");
  EXPECT_EQ(TextOf(Read(Body("A{\\upr{a}{\\*\\ud{\\u1055?}}}B"))), "A\u041FB");
}

TEST(RtfReaderLists, MarkersOfListParagraphs) {
  const std::string fonts = "{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}";
  struct Case {
    const char* body;
    const char* marker;
  };
  const Case cases[] = {
      {"{\\listtext\\pard\\plain\\f1 \\'b7\\tab}Item", "\u2022"},
      {"{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}Item", "\u2022"},
      {"{\\listtext 12.\\tab}Item", "12."},
      {"{\\listtext a)\\tab}{\\pntext a)\\tab}Item", "a)"},  // both forms, one marker
      {"{\\pntext\\f1\\'B7\\tab}{\\listtext\\f1\\'b7\\tab}Item", "\u2022"},
      {"{\\listtext\\f1 \\u-3913 ?\\tab}Item", "\u2022"},
      {"Item", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Document doc = Read(Body(fonts + "\\fi-360\\li720 " + c.body + "\\par Next\\par"));
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    EXPECT_EQ(doc.paragraphs[0].style.listMarker, c.marker);
    EXPECT_EQ(doc.paragraphs[0].runs.at(0).text, "Item");
    EXPECT_EQ(doc.paragraphs[1].style.listMarker, "");
    EXPECT_EQ(doc.paragraphs[0].style.leftIndent, 720);
  }
}

TEST(RtfReaderFields, LinksFromHyperlinkFields) {
  struct Case {
    const char* instruction;
    const char* link;
  };
  const Case cases[] = {
      {"HYPERLINK \"https://example.org/mod\"", "https://example.org/mod"},
      {" HYPERLINK \"https://example.org/a b\" \\\\o \"Tip\" ", "https://example.org/a b"},
      {"{\\rtlch HYPERLINK }{\"https://x.org\"}{\\*\\datafield 00d0c9}", "https://x.org"},
      {"hyperlink https://bare.org", "https://bare.org"},
      {"HYPERLINK \\\\l \"setup\"", "#setup"},
      {"HYPERLINK \"file:///C:\\\\\\\\Games\\\\\\\\readme.txt\"", "file:///C:\\Games\\readme.txt"},
      {"PAGE \\\\* MERGEFORMAT", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.instruction);
    Document doc = Read(Body(std::string("See {\\field{\\*\\fldinst ") + c.instruction +
                             "}{\\fldrslt {\\ul the page}}} now"));
    EXPECT_EQ(RunWith(doc, "the page").style.link, c.link);
    EXPECT_TRUE(RunWith(doc, "the page").style.underline);
    EXPECT_EQ(RunWith(doc, "now").style.link, "");
    EXPECT_EQ(doc.paragraphs.at(0).runs.size(), 3u);
  }
  // The link outlives \plain inside the result; plain text names it once.
  Document doc = Read(Body("{\\field{\\*\\fldinst HYPERLINK \"https://x.org\"}{\\fldrslt a{\\plain\\b b}}}"));
  EXPECT_EQ(RunWith(doc, "b").style.link, "https://x.org");
  EXPECT_EQ(TextOf(doc), "ab <https://x.org>");
  EXPECT_EQ(TextOf(Read(Body("{\\field{\\*\\fldinst HYPERLINK \"https://x.org\"}{\\fldrslt https://x.org}}"))),
            "https://x.org");
  EXPECT_EQ(TextOf(Read(Body("{\\field{\\*\\fldinst HYPERLINK \\\\l \"a\"}{\\fldrslt Top}}"))), "Top");
}

TEST(RtfReaderMalformed, ShowsWhatItCanAndStaysBounded) {
  struct Case {
    std::string input;
    const char* text;
  };
  const Case cases[] = {
      {"{\\rtf1 a}}}b{c}", "a"},
      {"{\\rtf1 {\\b bold", "bold"},
      {"{\\rtf1 cut\\", "cut"},
      {"{\\rtf1 cut\\'4", "cut"},
      {"{\\rtf1 x\\bin999999999 abc", "x"},
      {"{\\rtf1 x\\bin-5 y}", "xy"},
      {"{\\rtf1 {\\fonttbl{\\f0\\fcharset204 A", ""},
      {"{\\rtf1 {\\colortbl;\\red1}\\cf1 c}", "c"},
      {"{\\rtf1 a" + std::string(5000, '{') + "deep" + std::string(5000, '}') + "b}", "ab"},
      {"{\\rtf1 a\\f99999999999999999999999 \\uc99999999999 \\u99999999999 0123456789abcdefXY}", "aXY"},
      {"{\\rtf1 a\\*\\pict b}", "ab"},  // \* and destinations outside a group never drop the document
      {"{\\rtf1 " + std::string("\0\x01\xff\x7f", 4) + "z}", "\u00FFz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 60));
    Document doc = Read(c.input);
    EXPECT_TRUE(doc.isRtf);
    EXPECT_EQ(TextOf(doc), c.text);
  }
  // Nesting without end and a million paragraphs read quickly into bounded output.
  Document deep = Read("{\\rtf1 " + std::string(1'000'000, '{'));
  EXPECT_TRUE(deep.paragraphs.empty());
  std::string many = "{\\rtf1 ";
  for (int i = 0; i < 300'000; ++i) many += "\\par ";
  EXPECT_LE(Read(many).paragraphs.size(), 100'000u);
}

TEST(RtfReaderPlainText, BytesThatAreNotRtf) {
  struct Case {
    std::string input;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"Line one\nLine two\n", {"Line one", "Line two"}},
      {"a\r\nb\rc", {"a", "b", "c"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\xC3\x89p\xC3\xA9" "e", {"\u00C9p\u00E9e"}},         // valid UTF-8
      {"\xEF\xBB\xBFWith mark", {"With mark"}},
      {"\xC9p\xE9" "e \x93q\x94", {"\u00C9p\u00E9e \u201Cq\u201D"}},  // Windows-1252
      // Overlong forms, a surrogate and a code point past U+10FFFF are not
      // UTF-8, even beside a valid sequence: the whole file is Windows-1252.
      {"\xC3\xA9 \xC0\xAF", {"\u00C3\u00A9 \u00C0\u00AF"}},
      {"\xC3\xA9 \xC1\xBF", {"\u00C3\u00A9 \u00C1\u00BF"}},
      {"\xC3\xA9 \xE0\x80\xAF", {"\u00C3\u00A9 \u00E0\u20AC\u00AF"}},
      {"\xC3\xA9 \xF0\x80\x80\xAF", {"\u00C3\u00A9 \u00F0\u20AC\u20AC\u00AF"}},
      {"\xC3\xA9 \xED\xA0\x80", {"\u00C3\u00A9 \u00ED\u00A0\u20AC"}},
      {"\xC3\xA9 \xF4\xA0\x80\x80", {"\u00C3\u00A9 \u00F4\u00A0\u20AC\u20AC"}},
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", {"\u20AC \U0001F600"}},  // the shortest forms are UTF-8
      {"\x1b[2Jcleared\x07", {"[2Jcleared"}},
      {" {\\rtf1 not at the start}", {" {\\rtf1 not at the start}"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Document doc = Read(c.input);
    EXPECT_FALSE(doc.isRtf);
    std::vector<std::string> lines;
    for (const auto& paragraph : doc.paragraphs)
      lines.push_back(paragraph.runs.empty() ? "" : paragraph.runs[0].text);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(RtfReaderDocument, InformationTextAsAWordProcessorSavesIt) {
  std::ifstream file(VEY_SOURCE_DIR "/tests/formats/data/wordproc_info.rtf", std::ios::binary);
  ASSERT_TRUE(file) << "fixture missing";
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const Document doc = Read(bytes);
  ASSERT_TRUE(doc.isRtf);
  EXPECT_EQ(PlainText(doc),
            "Better Swords Mod\n"
            "This mod rebalances the swords of the game. Read this text before you install it\u2014it changes "
            "baseitems.2da.\n"
            "What it changes:\n"
            "\u2022 Longswords deal one more point of damage.\n"
            "\u2022 Two new unique blades in the first shop.\n"
            "Steps:\n"
            "1. Back up your saves.\n"
            "2. Press \u201CInstall Mod\u201D.\n"
            "Questions go to the mod\u2019s forum page <https://forum.example.org/better-swords>.\n"
            "\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430 \u043C\u043E\u0434\u0430: "
            "\u0421\u043A\u043E\u043F\u0438\u0440\u0443\u0439\u0442\u0435 \u0444\u0430\u0439\u043B\u044B "
            "\u0432 \u043F\u0430\u043F\u043A\u0443 \u0438\u0433\u0440\u044B.\n");

  ASSERT_EQ(doc.paragraphs.size(), 10u);
  const RunStyle& title = RunWith(doc, "Better Swords").style;
  EXPECT_TRUE(title.bold);
  EXPECT_EQ(title.halfPoints, 32);
  EXPECT_EQ(title.color, (Color{128, 0, 0}));
  EXPECT_EQ(title.fontName, "Calibri");
  EXPECT_EQ(doc.paragraphs[0].style.align, Align::Center);
  EXPECT_EQ(doc.paragraphs[0].style.spaceBefore, 240);
  EXPECT_EQ(doc.paragraphs[1].style.align, Align::Justify);
  EXPECT_TRUE(RunWith(doc, "before").style.italic);
  EXPECT_FALSE(RunWith(doc, " you install").style.italic);
  EXPECT_TRUE(RunWith(doc, "baseitems").style.monospace);
  EXPECT_TRUE(RunWith(doc, "What it changes").style.underline);
  EXPECT_TRUE(RunWith(doc, "unique").style.bold);
  for (int i : {3, 4, 6, 7}) {
    EXPECT_EQ(doc.paragraphs[i].style.leftIndent, 720);
    EXPECT_EQ(doc.paragraphs[i].style.firstIndent, -360);
  }
  EXPECT_EQ(doc.paragraphs[5].style.listMarker, "");
  const RunStyle& link = RunWith(doc, "forum page").style;
  EXPECT_EQ(link.link, "https://forum.example.org/better-swords");
  EXPECT_TRUE(link.underline);
  EXPECT_EQ(link.color, (Color{5, 99, 193}));
  EXPECT_EQ(RunWith(doc, "\u0423\u0441\u0442").style.fontName, "Times New Roman Cyr");
}

}  // namespace
}  // namespace vey::rtf
