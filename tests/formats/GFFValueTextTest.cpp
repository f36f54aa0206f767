// GFF values as text: every field type under a notation whose every hook
// leaves a mark, so a value that bypasses its hook, or a float printed as
// the double it widens to, shows.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "formats/UGFFValueText.h"

namespace vey::test {
namespace {

std::string MarkedText(std::string_view text) { return "<" + std::string(text) + ">"; }
std::string MarkedReal(double value, std::string shortest) {
  return std::isfinite(value) ? shortest : "'" + shortest + "'";
}

const TGFFValueNotation kMarked{.text = MarkedText,
                                .real = MarkedReal,
                                .separator = ";",
                                .bracketVectors = true,
                                .quoteBytes = true,
                                .nonScalar = "none"};
const TGFFValueNotation kPlain{.text = MarkedText};

std::unique_ptr<TGFFField> Blob(std::string bytes) {
  auto f = std::make_unique<TGFF_CVoid>();
  f->SetData(bytes);
  return f;
}

TEST(GFFValueText, EveryTypeInBothNotations) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  struct Case {
    std::unique_ptr<TGFFField> field;
    std::string plain, marked;
  };
  Case cases[] = {
      {std::make_unique<TGFF_SByte>("a", 200), "200", "200"},
      {std::make_unique<TGFF_SChar>("a", 'x'), "<x>", "<x>"},
      {std::make_unique<TGFF_SWord>("a", 65535), "65535", "65535"},
      {std::make_unique<TGFF_SShort>("a", -2), "-2", "-2"},
      {std::make_unique<TGFF_SDWORD>("a", 4294967295u), "4294967295", "4294967295"},
      {std::make_unique<TGFF_SInt>("a", -7), "-7", "-7"},
      {std::make_unique<TGFF_CDWORD64>("a", 18446744073709551615ull), "18446744073709551615", "18446744073709551615"},
      {std::make_unique<TGFF_CInt64>("a", -9223372036854775807ll), "-9223372036854775807", "-9223372036854775807"},
      // The shortest text of the single, not of the double it widens to.
      {std::make_unique<TGFF_SFloat>("a", 0.1f), "0.1", "0.1"},
      {std::make_unique<TGFF_SFloat>("a", -kInf), "-inf", "'-inf'"},
      {std::make_unique<TGFF_CDouble>("a", 0.30000000000000004), "0.30000000000000004", "0.30000000000000004"},
      {std::make_unique<TGFF_CExoString>("a", "two words"), "<two words>", "<two words>"},
      {std::make_unique<TGFF_CResRef>("a", "k_Sword"), "<k_sword>", "<k_sword>"},
      {Blob(std::string("\x00\x7F\xAB", 3)), "007fab", "\"007fab\""},
      {Blob(""), "", "\"\""},
      {std::make_unique<TGFF_COrientation>("a", std::array<float, 4>{1, 0.5f, 0, -1}), "1, 0.5, 0, -1",
       "[1;0.5;0;-1]"},
      {std::make_unique<TGFF_CPosition>("a", std::array<float, 3>{0.1f, kInf, 3}), "0.1, inf, 3", "[0.1;'inf';3]"},
      {std::make_unique<TGFFStruct>("a"), "", "none"},
      {std::make_unique<TGFFList>("a"), "", "none"},
      {std::make_unique<TGFF_CExoLocString>("a", 5), "", "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(GFFTypeName(c.field->FieldType()));
    EXPECT_EQ(GFFValueText(*c.field, kPlain), c.plain);
    EXPECT_EQ(GFFValueText(*c.field, kMarked), c.marked);
  }
}

TEST(GFFValueText, TypeNamesAndStrRefs) {
  const char* names[] = {"Byte",   "Char",      "Word",   "Short",        "DWORD", "Int",    "DWORD64",
                         "Int64",  "Float",     "Double", "ExoString",    "ResRef", "ExoLocString",
                         "Void",   "Struct",    "List",   "Orientation",  "Position"};
  for (int i = 0; i < 18; ++i) EXPECT_STREQ(GFFTypeName(static_cast<TGFFFieldType>(i)), names[i]) << i;
  EXPECT_STREQ(GFFTypeName(TGFFFieldType::None), "None");
  EXPECT_STREQ(GFFTypeName(static_cast<TGFFFieldType>(18)), "None");

  EXPECT_EQ(StrRefText(0xFFFFFFFFu), "-1");
  EXPECT_EQ(StrRefText(0xFFFFFFFEu), "4294967294");
  EXPECT_EQ(StrRefText(0), "0");
}

}  // namespace
}  // namespace vey::test
