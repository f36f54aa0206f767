// Real-valued GFF values written in exponent notation: the same table of
// texts through every place that reads one (a changed field, a new field, the
// parts of an Orientation and a Position), and the validator agreeing with
// the installer on each.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "GFFTestSupport.h"
#include "common/UQK_Common.h"
#include "engine/validate/UValidator.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

struct NumberCase {
  std::string text;
  std::optional<double> value;  // nullopt: no number, refused everywhere
};

const NumberCase kCases[] = {
    {"1.5E-3", 1.5e-3},      {"-8.4E-7", -8.4e-7},    {"1E-16", 1e-16},
    {"2e3", 2000.0},         {"1,5e+2", 150.0},       {"-3.25", -3.25},
    {"1E", std::nullopt},    {"E5", std::nullopt},    {"1e+", std::nullopt},
    {"inf", std::nullopt},   {"-inf", std::nullopt},  {"nan", std::nullopt},
    {"1E5.5", std::nullopt}, {"1.E5", std::nullopt},  {"1EE5", std::nullopt},
    {"1.2.3E4", std::nullopt}, {"1E999", std::nullopt},
};

// A document with one field of each real-valued kind, all zero.
std::vector<std::uint8_t> RealsGff() {
  TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<TGFF_SFloat>("F", 0.0f), "");
  doc.AddField(std::make_unique<TGFF_CDouble>("D", 0.0), "");
  doc.AddField(std::make_unique<TGFF_COrientation>("O", std::array<float, 4>{}), "");
  doc.AddField(std::make_unique<TGFF_CPosition>("P", std::array<float, 3>{}), "");
  return doc.SaveToBytes();
}

// Sets the four fields and adds one new field of each kind, all from v.
std::string Instructions(const std::string& v) {
  const std::string o = v + "|" + v + "|" + v + "|" + v, p = v + "|" + v + "|" + v;
  return "[GFFList]\nFile0=reals.utc\n"
         "[reals.utc]\nF=" + v + "\nD=" + v + "\nO=" + o + "\nP=" + p +
         "\nAddField0=nf\nAddField1=nd\nAddField2=no\nAddField3=np\n"
         "[nf]\nFieldType=Float\nLabel=NF\nValue=" + v + "\n"
         "[nd]\nFieldType=Double\nLabel=ND\nValue=" + v + "\n"
         "[no]\nFieldType=Orientation\nLabel=NO\nValue=" + o + "\n"
         "[np]\nFieldType=Position\nLabel=NP\nValue=" + p + "\n";
}

TEST(ExponentNumbers, EveryRealValuedPlaceReadsThemAndRefusesWhatIsNoNumber) {
  for (const NumberCase& c : kCases) {
    SCOPED_TRACE(c.text);
    GffFixture f;
    f.OverrideFile("reals.utc", RealsGff());
    f.Instructions(Instructions(c.text));
    f.Engine().PatchGFFFiles();
    if (!c.value) {
      EXPECT_EQ(f.CountContaining("the field's type cannot take it"), 4u);
      EXPECT_EQ(f.CountContaining("Invalid field type"), 4u);
      EXPECT_EQ(f.Engine().WarningCount(), 9);  // and "No changes could be applied"
      continue;
    }
    EXPECT_EQ(f.Engine().WarningCount(), 0);
    const float want = static_cast<float>(*c.value);
    auto doc = f.Saved("override/reals.utc");
    bool all = true;
    for (const char* label : {"F", "NF", "D", "ND", "O", "NO", "P", "NP"}) all = all && doc->GetField(label);
    ASSERT_TRUE(all) << "a new field is missing";
    for (const char* label : {"F", "NF"}) EXPECT_FLOAT_EQ(doc->GetField(label)->As<TGFF_SFloat>()->Value(), want);
    for (const char* label : {"D", "ND"}) EXPECT_DOUBLE_EQ(doc->GetField(label)->As<TGFF_CDouble>()->Value(), *c.value);
    for (const char* label : {"O", "NO"})
      EXPECT_EQ(doc->GetField(label)->As<TGFF_COrientation>()->Value(), (std::array<float, 4>{want, want, want, want}));
    for (const char* label : {"P", "NP"})
      EXPECT_EQ(doc->GetField(label)->As<TGFF_CPosition>()->Value(), (std::array<float, 3>{want, want, want}));
  }
}

TEST(ExponentNumbers, ValidatorFindsExactlyWhatTheInstallerRefuses) {
  for (const NumberCase& c : kCases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    dir.Write("veypatchdata/reals.utc", RealsGff());
    dir.Write("veypatchdata/changes.ini", "[Settings]\nFileExists=1\n" + Instructions(c.text));
    platform::GameFileSystem fs;
    const auto findings =
        ValidateInstructions(fs, {dir / "veypatchdata", dir / "veypatchdata", "changes.ini"});
    std::size_t aboutValue = 0;
    for (const TFinding& x : findings)
      if (x.message.find("is no value for") != std::string::npos) ++aboutValue;
    EXPECT_EQ(aboutValue, c.value ? 0u : 8u);
    if (c.value) {
      EXPECT_TRUE(findings.empty()) << findings.front().message;
    }
  }
}

// A value too small for a Float is its nearest value, zero; one too large is
// no number, as is anything the plain rules refuse before the exponent.
TEST(ExponentNumbers, RangeAndSpellingOfTheExponent) {
  EXPECT_EQ(ParseSingle("1E-50"), 0.0f);
  EXPECT_TRUE(std::signbit(*ParseSingle("-1E-50")));
  EXPECT_EQ(ParseDouble("1E-50"), 1e-50);
  EXPECT_EQ(ParseDouble("0.0001E-400"), 0.0);
  EXPECT_EQ(ParseDouble("1E+308"), 1e308);
  EXPECT_EQ(ParseSingle("1E39"), std::nullopt);
  EXPECT_EQ(ParseDouble("1E309"), std::nullopt);
  EXPECT_EQ(ParseDouble("1" + std::string(400, '0') + "E-100"), 1e300);
  EXPECT_EQ(ParseDouble("1E99999999999999999999"), std::nullopt);
  for (const char* text : {"1e5", "-1E-5", "7E+0", "1,5E3"}) EXPECT_TRUE(IsFloat(text)) << text;
  for (const char* text : {"1e", "e1", "1e+", "1E-", "+1E5", "1.E5", ".5E1", "1E5,0", "1E 5", "1E+-5"})
    EXPECT_FALSE(IsFloat(text)) << text;
  EXPECT_FLOAT_EQ(TextToSingle("-8.4E-7"), -8.4e-7f);
  EXPECT_EQ(TextToDouble("1E"), 0.0);
}

}  // namespace
}  // namespace vey::test
