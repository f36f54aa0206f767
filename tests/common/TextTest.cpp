// Windows-1252 conversion, ASCII case folding and message formatting.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vey
