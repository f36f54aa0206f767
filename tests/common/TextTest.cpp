// Windows-1252 conversion, ASCII case folding and message formatting.
#include <gtest/gtest.h>

#include "common/Counted.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey {
namespace {

TEST(Win1252, ConvertsTheHighRowToUnicode) {
  EXPECT_EQ(Win1252ToCodePoint(0x95), 0x2022u);
  EXPECT_EQ(Win1252ToCodePoint(0x80), 0x20ACu);
  EXPECT_EQ(Win1252ToCodePoint(0x81), 0x81u);
  EXPECT_EQ(Win1252ToCodePoint(0x9F), 0x178u);
  EXPECT_EQ(Win1252ToUtf8("\x95 caf\xE9"), "\xE2\x80\xA2 caf\xC3\xA9");
}

TEST(Win1252, RoundTripsEveryByteThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToWin1252(Win1252ToUtf8(all)), all);
  EXPECT_EQ(Utf8ToWin1252("\xE4\xB8\xAD"), "?");  // not in the code page
}

TEST(AsciiFolding, IgnoresBytesAboveAscii) {
  EXPECT_TRUE(EqualsNoCase("Override", "OVERRIDE"));
  EXPECT_FALSE(EqualsNoCase("\xC9", "\xE9"));  // E acute is not folded
  EXPECT_EQ(AsciiLowerCopy("AbC\xC9"), "abc\xC9");
  EXPECT_TRUE(EndsWithNoCase("x.MOD", ".mod"));
  EXPECT_FALSE(StartsWithNoCase("ab", "abc"));
}

TEST(FormatMsg, FillsPlacesInOrderAndNothingElse) {
  EXPECT_EQ(FormatMsg("Updated %s in %s.", {"a.2da", "override"}), "Updated a.2da in override.");
  EXPECT_EQ(FormatMsg("%s and %s", {"%s"}), "%s and ");
  EXPECT_EQ(FormatMsg("100%", {}), "100%");
  EXPECT_EQ(IntToStr(-42), "-42");
}

// One is singular; none and many are plural, the irregular plural as given.
TEST(Counted, SingularOnlyForOne) {
  const struct {
    std::int64_t count;
    const char* plural;
    const char* text;
  } cases[] = {{0, "", "0 mods"}, {1, "", "1 mod"}, {2, "", "2 mods"}, {1, "entries", "1 entry"}, {11, "entries", "11 entries"}};
  for (const auto& c : cases)
    EXPECT_EQ(Counted(c.count, *c.plural ? "entry" : "mod", c.plural), c.text) << c.count << " " << c.plural;
}

// Names from a mod are refused and shown by these: the C0 controls and DEL
// are control characters, everything from the space up is not.
TEST(ControlCharacters, FoundAndShownAtTheEdgesOfTheirRange) {
  const struct {
    std::string text;
    bool control;
    const char* shown;
  } cases[] = {
      {std::string("a\0b", 3), true, "a<00>b"},
      {"a\x1F", true, "a<1F>"},
      {"\x7F", true, "<7F>"},
      {"a\tb", true, "a\tb"},  // a tab is shown as it is unless asked
      {"a b~", false, "a b~"},
      {"\x80\x9F\xA0\xFF", false, "\x80\x9F\xA0\xFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasControlCharacter(c.text), c.control) << c.shown;
    EXPECT_EQ(ShowControlCharacters(c.text, false), c.shown);
  }
  EXPECT_EQ(ShowControlCharacters("a\tb", true), "a<09>b");
}

}  // namespace
}  // namespace vey
