// Tests of the tokenizer and the UQK_Common text, number and file helpers.
#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/UQK_Common.h"
#include "common/UStrTok.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using Tokens = std::vector<std::string>;

TEST(TStringTokenizerSplit, DropsEmptyTokensFromThreeCharactersOn) {
  EXPECT_EQ(TStringTokenizer("a.b..c.", '.').Tokens(), (Tokens{"a", "b", "c"}));
  EXPECT_EQ(TStringTokenizer(".a.b", '.').Tokens(), (Tokens{"a", "b"}));
  EXPECT_EQ(TStringTokenizer("a.b", '.').Tokens(), (Tokens{"a", "b"}));
  EXPECT_EQ(TStringTokenizer("ab.", '.').Tokens(), (Tokens{"ab"}));
  EXPECT_EQ(TStringTokenizer("abc", '.').Tokens(), (Tokens{"abc"}));
  EXPECT_EQ(TStringTokenizer("...", '.').Count(), 0);
}

TEST(TStringTokenizerSplit, KeepsShortTextsWhole) {
  EXPECT_EQ(TStringTokenizer("..", '.').Tokens(), (Tokens{".."}));
  EXPECT_EQ(TStringTokenizer("a.", '.').Tokens(), (Tokens{"a."}));
  EXPECT_EQ(TStringTokenizer(".", '.').Tokens(), (Tokens{"."}));
  EXPECT_EQ(TStringTokenizer("", '.').Tokens(), (Tokens{""}));
}

TEST(TStringTokenizerWalk, FirstNextAndIndexesOutOfRange) {
  TStringTokenizer t("Root\\List\\0", '\\');
  EXPECT_EQ(t.Next(), "List");
  EXPECT_EQ(t.First(), "Root");
  EXPECT_EQ(t.Next(), "List");
  EXPECT_EQ(t.Next(), "0");
  EXPECT_EQ(t.Next(), "");
  EXPECT_EQ(t.Next(), "");
  EXPECT_EQ(t.GetToken(3), "");
  test::ExpectFailure<EStringListError>([&] { t.GetToken(-1); }, 0, "List index out of bounds (-1)");

  TStringTokenizer none("///", '/');
  EXPECT_EQ(none.First(), "");
  EXPECT_EQ(none.Next(), "");
}

TEST(NumberTests, DigitsIntegersAndFloats) {
  EXPECT_FALSE(IsDigits(""));
  EXPECT_TRUE(IsDigits("0123"));
  EXPECT_FALSE(IsDigits("-1"));

  EXPECT_TRUE(IsInteger("-"));
  EXPECT_TRUE(IsInteger("-42"));
  EXPECT_FALSE(IsInteger(""));
  EXPECT_FALSE(IsInteger("+1"));
  EXPECT_FALSE(IsInteger("4-2"));

  EXPECT_TRUE(IsFloat("1.2.3"));
  EXPECT_TRUE(IsFloat("-0,5"));
  EXPECT_TRUE(IsFloat("7"));
  EXPECT_TRUE(IsFloat("1,,2"));
  EXPECT_FALSE(IsFloat("1."));
  EXPECT_FALSE(IsFloat(".5"));
  EXPECT_FALSE(IsFloat("-"));
  EXPECT_TRUE(IsFloat("-.5"));
  EXPECT_TRUE(IsFloat("1e5"));
  EXPECT_FALSE(IsFloat(""));
}

TEST(TextToReal, SwapsTheFirstCommaAndRefusesSeveralSeparators) {
  EXPECT_DOUBLE_EQ(TextToDouble("-0,5"), -0.5);
  EXPECT_DOUBLE_EQ(TextToDouble("1.25"), 1.25);
  EXPECT_DOUBLE_EQ(TextToDouble("12"), 12.0);
  EXPECT_DOUBLE_EQ(TextToDouble("-.5"), -0.5);
  EXPECT_FLOAT_EQ(TextToSingle("0.1"), 0.1f);
  EXPECT_EQ(TextToDouble("1."), 0.0);
  EXPECT_EQ(TextToSingle("abc"), 0.0f);
  test::ExpectFailure<EConvertError>([] { TextToDouble("1.2.3"); }, 0,
                                     "'1.2.3' is not a valid floating point value");
  test::ExpectFailure<EConvertError>([] { TextToSingle("1,2,3"); }, 0,
                                     "'1.2,3' is not a valid floating point value");
  test::ExpectFailure<EConvertError>([] { TextToSingle("1" + std::string(50, '0')); }, 0,
                                     "'1" + std::string(50, '0') + "' is not a valid floating point value");
}

TEST(StrToDWordValue, AllBitsTextHexAndRange) {
  EXPECT_EQ(StrToDWordValue("4294967295"), -1);
  EXPECT_EQ(StrToDWordValue("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToDWordValue("$7fffffff"), 2147483647);
  EXPECT_EQ(StrToDWordValue("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(StrToDWordValue("+17"), 17);
  for (std::string bad : {"4294967296", "2147483648", "-2147483649", "$100000000", "12a", "", "-", "$"})
    test::ExpectFailure<EConvertError>([&] { StrToDWordValue(bad); }, 0,
                                       "'" + bad + "' is not a valid integer value");
}

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutSearchingInsertedText) {
  EXPECT_EQ(ReplaceAll("a\n", "\n", "<#LF#>"), "a<#LF#>");
  EXPECT_EQ(ReplaceAll("\nx\n", "\n", "<#LF#>"), "<#LF#>x<#LF#>");
  EXPECT_EQ(ReplaceAll("aa", "a", "aa"), "aaaa");
  EXPECT_EQ(ReplaceAll("xXx", "x", "xx"), "xxXxx");
  EXPECT_EQ(ReplaceAll("XXX", "XX", "Y"), "YX");
  EXPECT_EQ(ReplaceAll("abc", "", "Z"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "b"), "");
  EXPECT_EQ(ReplaceAll("abc", "abc", ""), "");
}

TEST(CleanResRef, KeepsNameCharactersOfTheFirstSixteen) {
  EXPECT_EQ(CleanResRef("My-File name.UTC"), "MyFilenameUTC");
  EXPECT_EQ(CleanResRef("abcdefghijklmnopqrst"), "abcdefghijklmnop");
  EXPECT_EQ(CleanResRef("caf\xE9_x-------------tail"), "caf_x");
  EXPECT_EQ(CleanResRef(""), "");
}

TEST(FileHelpers, ClearReadOnlyAddsOnlyTheOwnerWriteBit) {
  test::TempDir dir;
  auto file = dir.Write("ro.2da", "x");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ClearReadOnly(file);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ClearReadOnly(dir / "missing");  // nothing to do, nothing raised
}

TEST(FileHelpers, FileCopyReplacesTargetAndReportsEachSide) {
  test::TempDir dir;
  auto source = dir.Write("src.bin", std::string("\0\x01\xFF data", 8));
  auto target = dir.Write("dst.bin", "a much longer old content");
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  FileCopy(source, target);
  EXPECT_EQ(dir.Read("dst.bin"), std::string("\0\x01\xFF data", 8));

  FileCopy(source, source);  // onto itself: content survives
  EXPECT_EQ(dir.Read("src.bin"), std::string("\0\x01\xFF data", 8));

  auto missing = dir / "missing.bin";
  // The system's error number is the code.
  test::ExpectFailure<EFOpenError>([&] { FileCopy(missing, target); }, ENOENT,
                                   "Cannot open file \"" + missing.string() + "\". No such file or directory");
  auto noFolder = dir / "nofolder" / "x.bin";
  test::ExpectFailure<EFCreateError>([&] { FileCopy(source, noFolder); }, ENOENT,
                                     "Cannot create file \"" + noFolder.string() + "\". No such file or directory");
}

TEST(SplitWindowsCommandLine, BlanksQuotesAndBackslashes) {
  EXPECT_EQ(SplitWindowsCommandLine(""), Tokens{});
  EXPECT_EQ(SplitWindowsCommandLine("  \t "), Tokens{});
  EXPECT_EQ(SplitWindowsCommandLine(" -g  2\t-O "), (Tokens{"-g", "2", "-O"}));
  EXPECT_EQ(SplitWindowsCommandLine("-i \"C:\\Program Files\\inc\" x"),
            (Tokens{"-i", "C:\\Program Files\\inc", "x"}));
  EXPECT_EQ(SplitWindowsCommandLine("a \"\" b"), (Tokens{"a", "", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("pre\"mid dle\"post"), (Tokens{"premid dlepost"}));
  EXPECT_EQ(SplitWindowsCommandLine("a\\\\b"), (Tokens{"a\\\\b"}));
  EXPECT_EQ(SplitWindowsCommandLine("a\\\\\"b c\""), (Tokens{"a\\b c"}));
  EXPECT_EQ(SplitWindowsCommandLine("a\\\\\\\"b"), (Tokens{"a\\\"b"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"a\"\"b\" c"), (Tokens{"a\"b", "c"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"unclosed arg"), (Tokens{"unclosed arg"}));
  EXPECT_EQ(SplitWindowsCommandLine("trail\\"), (Tokens{"trail\\"}));
}

}  // namespace
}  // namespace vey
