// `dump` on one small file of each format, as text and as JSON, and on
// damaged files: one error line and exit 2, never a crash or partial output.
#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "CliRun.h"
#include "formats/UGFFFile.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

std::vector<std::uint8_t> Table() {
  // Columns "label" and "name", rows "0" and "1"; the texts "Caf\xE9", "" and "7" pooled.
  return Bytes()
      .Ascii("2DA V2.b\n")
      .Ascii("label\tname\t").U8(0)
      .I32(2)
      .Ascii("0\t1\t")
      .U16(0).U16(5).U16(6).U16(5)
      .U16(8)
      .Ascii("Caf\xE9").U8(0).U8(0).Ascii("7").U8(0);
}

std::vector<std::uint8_t> DumpTalkTable() {
  Bytes b;
  b.Ascii("TLK V3.0").U32(0).U32(2).U32(100);
  b.U32(1).Fixed("", 16).U32(0).U32(0).U32(0).U32(5).F32(0);
  b.U32(7).Fixed("vo_hello", 16).U32(0).U32(0).U32(5).U32(9).F32(2.5f);
  b.Ascii("Hello").Ascii("Two\nlines");
  return b;
}

std::vector<std::uint8_t> Document() {
  TGFFFile doc;
  doc.New("UTI ");
  doc.AddField(std::make_unique<TGFF_CExoString>("Tag", "BLADE"), "");
  auto name = std::make_unique<TGFF_CExoLocString>("LocName", 12);
  name->AddSubstring(0, "Blade");
  name->AddSubstring(3, "Klinge");
  doc.AddField(std::move(name), "");
  doc.AddField(std::make_unique<TGFFList>("Props"), "");
  auto element = std::make_unique<TGFFStruct>();
  element->SetStructType(4);
  element->AddField(std::make_unique<TGFF_SWord>("Kind", 15));
  doc.AddField(std::move(element), "Props");
  doc.AddField(std::make_unique<TGFF_SFloat>("Weight", 2.5f), "");
  return doc.SaveToBytes();
}

std::vector<std::uint8_t> Archive() {
  // ERF layout, type "MOD ", one localized string, two resources.
  Bytes b;
  b.Ascii("MOD V1.0").U32(1).U32(12).U32(2).U32(160).U32(172).U32(220).U32(126).U32(45).U32(0xFFFFFFFF).Zeros(116);
  b.U32(0).U32(4).Ascii("Demo");
  b.Fixed("m01_guard", 16).U32(0).U16(2027).U16(0);
  b.Fixed("m01", 16).U32(1).U16(2014).U16(0);
  b.U32(236).U32(3).U32(239).U32(2);
  b.Ascii("abcde");
  return b;
}

std::vector<std::uint8_t> Soundset() {
  Bytes b;
  b.Ascii("SSF V1.1").U32(12).I32(5);
  for (int i = 1; i < 40; ++i) b.I32(-1);
  return b;
}

CliResult Dump(const std::vector<std::uint8_t>& bytes, bool json = false) {
  TempDir dir;
  const auto path = dir.Write("file.bin", bytes);
  if (json) return RunCli({"dump", path.string(), "--json"});
  return RunCli({"dump", path.string()});
}

TEST(DumpCommand, TableAsAlignedColumns) {
  CliResult r = Dump(Table());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "2DA V2.b, 2 rows, 2 columns\n"
            "   label  name\n"
            "0  Caf\xC3\xA9   ****\n"
            "1  7      ****\n");
  EXPECT_EQ(Dump(Table(), true).out,
            "{\"format\":\"2DA\",\"version\":\"V2.b\",\"columns\":[\"label\",\"name\"],\"rows\":[\n"
            "{\"label\":\"0\",\"cells\":[\"Caf\xC3\xA9\",\"****\"]},\n"
            "{\"label\":\"1\",\"cells\":[\"7\",\"****\"]}]}\n");
}

TEST(DumpCommand, TalkTableWithFlagsSoundAndEscapedText) {
  CliResult r = Dump(DumpTalkTable());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "TLK V3.0, language 0, 2 entries\n"
            "StrRef  Flags       Sound     Length  Text\n"
            "0       0x00000001                    \"Hello\"\n"
            "1       0x00000007  vo_hello  2.5     \"Two\\nlines\"\n");
  EXPECT_NE(Dump(DumpTalkTable(), true).out.find("{\"strref\":1,\"flags\":7,\"sound\":\"vo_hello\",\"volume_variance\":0,"
                                             "\"pitch_variance\":0,\"sound_length\":2.5,\"text\":\"Two\\nlines\"}"),
            std::string::npos);
}

TEST(DumpCommand, DocumentAsIndentedTree) {
  CliResult r = Dump(Document());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "GFF UTI V3.2, top-level struct type 0\n"
            "  Tag (ExoString) = \"BLADE\"\n"
            "  LocName (ExoLocString) = StrRef 12\n"
            "    [language 0] \"Blade\"\n"
            "    [language 3] \"Klinge\"\n"
            "  Props (List, 1 entry)\n"
            "    [0] (Struct, type 4)\n"
            "      Kind (Word) = 15\n"
            "  Weight (Float) = 2.5\n");
  const std::string json = Dump(Document(), true).out;
  EXPECT_NE(json.find("{\"label\":\"LocName\",\"type\":\"ExoLocString\",\"value\":{\"strref\":12,\"substrings\":["
                      "{\"language\":0,\"text\":\"Blade\"},{\"language\":3,\"text\":\"Klinge\"}]}}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"label\":\"Props\",\"type\":\"List\",\"value\":[{\"struct_type\":4,\"fields\":[\n"
                      "{\"label\":\"Kind\",\"type\":\"Word\",\"value\":15}]}]}"),
            std::string::npos)
      << json;
}

// The values whose notation differs between text and JSON: texts, bytes,
// vectors and a real that JSON has no number for.
TEST(DumpCommand, DocumentValuesInTextAndJson) {
  TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<TGFF_SChar>("Letter", 'q'), "");
  doc.AddField(std::make_unique<TGFF_CResRef>("Script", "k_ai\"x"), "");
  auto blob = std::make_unique<TGFF_CVoid>();
  blob->SetLabel("Blob");
  blob->SetData(std::string("\x01\xAB", 2));
  doc.AddField(std::move(blob), "");
  doc.AddField(std::make_unique<TGFF_CPosition>("Spot", std::array<float, 3>{1.5f, -2.0f, 0.1f}), "");
  doc.AddField(std::make_unique<TGFF_CDouble>("Far", std::numeric_limits<double>::infinity()), "");
  const auto bytes = doc.SaveToBytes();

  CliResult r = Dump(bytes);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "GFF UTC V3.2, top-level struct type 0\n"
            "  Letter (Char) = \"q\"\n"
            "  Script (ResRef) = \"k_ai\\\"x\"\n"
            "  Blob (Void, 2 bytes) = 01ab\n"
            "  Spot (Position) = 1.5, -2, 0.1\n"
            "  Far (Double) = inf\n");
  const std::string json = Dump(bytes, true).out;
  for (const char* field : {"{\"label\":\"Letter\",\"type\":\"Char\",\"value\":\"q\"}",
                            "{\"label\":\"Script\",\"type\":\"ResRef\",\"value\":\"k_ai\\\"x\"}",
                            "{\"label\":\"Blob\",\"type\":\"Void\",\"value\":\"01ab\"}",
                            "{\"label\":\"Spot\",\"type\":\"Position\",\"value\":[1.5,-2,0.1]}",
                            "{\"label\":\"Far\",\"type\":\"Double\",\"value\":\"inf\"}"})
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
}

TEST(DumpCommand, ArchiveResourceList) {
  CliResult r = Dump(Archive());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "MOD V1.0, 2 resources, built 2026 day 45, description StrRef -1\n"
            "[language 0] \"Demo\"\n"
            "Resource       Type  Size  Offset\n"
            "m01_guard.utc  2027  3     236\n"
            "m01.ifo        2014  2     239\n");
  EXPECT_NE(Dump(Archive(), true).out.find("{\"name\":\"m01\",\"type\":2014,\"extension\":\"ifo\",\"size\":2,"
                                           "\"offset\":239}"),
            std::string::npos);
}

TEST(DumpCommand, SoundsetLabelsAndValues) {
  CliResult r = Dump(Soundset());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[1], "Battlecry 1      5");
  EXPECT_EQ(lines[40], "Unknown(40)      -1");
  EXPECT_NE(Dump(Soundset(), true).out.find("{\"label\":\"Battlecry 1\",\"strref\":5}"), std::string::npos);
}

void ExpectDamaged(const CliResult& r, const std::string& mentions) {
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.out.empty()) << r.out;
  ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
}

TEST(DumpCommand, DamagedFileGivesOneLineAndExit2) {
  auto doc = Document();
  doc.erase(doc.end() - 3, doc.end());  // cut short; resize would trip a GCC 12 false warning
  ExpectDamaged(Dump(doc), "(GFF-");
  ExpectDamaged(Dump(Bytes().Ascii("2DA V2.0\n\nlabel\n0 a b\n")), "at line 4: 2 cells for 1 columns. Unable to load. (2DA-33)");
  ExpectDamaged(Dump(Bytes().Ascii("TLK V3.0").U32(0).U32(0).U32(20)), "No entries found in the specified TLK file!");
  ExpectDamaged(Dump(Bytes().Ascii("SSF V1.0").U32(12)), "is not a valid SSF v1.1 file!");
  ExpectDamaged(Dump(Bytes().Ascii("PNG")), "not a 2DA, TLK, GFF, ERF/RIM or SSF file");
  auto archive = Archive();
  archive[221] = 0x7F;  // the first resource's offset now lies far past the end
  ExpectDamaged(Dump(archive), "ERF-");
}

// Every prefix of every sample is either read or refused in one line.
TEST(DumpCommand, NoTruncationCrashesOrPrintsHalfAFile) {
  for (const auto& sample : {Table(), DumpTalkTable(), Document(), Archive(), Soundset()}) {
    for (std::size_t cut = 0; cut < sample.size(); cut += (cut < 24 ? 1 : 11)) {
      CliResult r = Dump(std::vector<std::uint8_t>(sample.begin(), sample.begin() + cut));
      ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 2) << "cut " << cut << " exit " << r.exitCode << " " << r.err;
      if (r.exitCode == 2) {
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
      }
    }
  }
}

}  // namespace
}  // namespace vey::test
