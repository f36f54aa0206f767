// Structural comparison: pairs that differ in exactly one place each must
// give exactly that one difference, and equal content none.
#include <gtest/gtest.h>

#include <functional>

#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UFormatDiff.h"
#include "formats/UGFFFile.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"
#include "support/SmallArchive.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey {
namespace {

using Kind = TDifference::Kind;

struct Expected {
  const char* name;
  Kind kind;
  std::string where, first, second;
};

void ExpectOne(const TDifferences& found, const Expected& e) {
  ASSERT_EQ(found.size(), 1u) << e.name << ": first is " << (found.empty() ? "" : found[0].where);
  EXPECT_EQ(found[0].kind, e.kind) << e.name;
  EXPECT_EQ(found[0].where, e.where) << e.name;
  EXPECT_EQ(found[0].first, e.first) << e.name;
  EXPECT_EQ(found[0].second, e.second) << e.name;
}

// --- 2DA --------------------------------------------------------------------

T2DAHandler Table(std::string_view text) {
  T2DAHandler t;
  t.LoadFromTextBytes(test::ToBytes(text));
  return t;
}

TEST(FormatDiff, TablesDifferingInOnePlace) {
  const std::string base = "2DA V2.0\n\nlabel name cost\n0 sword 1001 5\n1 \"big axe\" 1002 ****\n";
  const struct {
    Expected expected;
    std::string second;
  } cases[] = {
      {{"cell", Kind::Changed, "row 1, column \"cost\"", "****", "7"},
       "2DA V2.0\n\nlabel name cost\n0 sword 1001 5\n1 \"big axe\" 1002 7\n"},
      {{"quoted cell", Kind::Changed, "row 1, column \"label\"", "\"big axe\"", "axe"},
       "2DA V2.0\n\nlabel name cost\n0 sword 1001 5\n1 axe 1002 ****\n"},
      {{"row added", Kind::OnlyInSecond, "row 2", "", "2 bow **** 3"},
       base + "2 bow **** 3\n"},
      {{"row removed", Kind::OnlyInFirst, "row 1", "1 \"big axe\" 1002 ****", ""},
       "2DA V2.0\n\nlabel name cost\n0 sword 1001 5\n"},
      {{"row label", Kind::Changed, "row 0 label", "0", "zero"},
       "2DA V2.0\n\nlabel name cost\nzero sword 1001 5\n1 \"big axe\" 1002 ****\n"},
      {{"column added", Kind::OnlyInSecond, "column \"extra\"", "", "\"extra\""},
       "2DA V2.0\n\nlabel name cost extra\n0 sword 1001 5\n1 \"big axe\" 1002\n"},
      {{"column removed", Kind::OnlyInFirst, "column \"cost\"", "\"cost\"", ""},
       "2DA V2.0\n\nlabel name\n0 sword 1001\n1 \"big axe\" 1002\n"},
      {{"column label case", Kind::Changed, "column \"name\" label", "\"name\"", "\"Name\""},
       "2DA V2.0\n\nlabel Name cost\n0 sword 1001 5\n1 \"big axe\" 1002 ****\n"},
      {{"column order", Kind::Changed, "column order", "label name cost", "label cost name"},
       "2DA V2.0\n\nlabel cost name\n0 sword 5 1001\n1 \"big axe\" **** 1002\n"},
  };
  const T2DAHandler first = Table(base);
  for (const auto& c : cases) ExpectOne(DiffTables(first, Table(c.second)), c.expected);
  // The binary form of the same table is equal to the text form.
  T2DAHandler binary;
  binary.LoadFromBytes(test::TwoDA({"label", "name", "cost"}, {{"sword", "1001", "5"}, {"big axe", "1002", "****"}}));
  EXPECT_TRUE(DiffTables(first, binary).empty());
}

// --- GFF --------------------------------------------------------------------

// Behind a pointer: documents neither copy nor move.
std::unique_ptr<TGFFFile> Document(const std::function<void(TGFFFile&)>& change = {}, bool doubleWeight = false) {
  TGFFFile doc;
  doc.New("UTI ");
  doc.AddField(std::make_unique<TGFF_CExoString>("Tag", "BLADE"), "");
  auto name = std::make_unique<TGFF_CExoLocString>("LocName", 12);
  name->AddSubstring(0, "Blade");
  doc.AddField(std::move(name), "");
  doc.AddField(std::make_unique<TGFFList>("Props"), "");
  for (int i = 0; i < 2; ++i) {
    auto element = std::make_unique<TGFFStruct>();
    element->AddField(std::make_unique<TGFF_SWord>("Kind", 15 + i));
    doc.AddField(std::move(element), "Props");
  }
  if (doubleWeight)
    doc.AddField(std::make_unique<TGFF_CDouble>("Weight", 2.5), "");
  else
    doc.AddField(std::make_unique<TGFF_SFloat>("Weight", 2.5f), "");
  if (change) change(doc);
  // Through the writer and the reader, as files are compared.
  auto read = std::make_unique<TGFFFile>();
  read->LoadFromBytes(doc.SaveToBytes());
  return read;
}

TEST(FormatDiff, DocumentsDifferingInOnePlace) {
  const struct {
    Expected expected;
    std::function<void(TGFFFile&)> change;
  } cases[] = {
      {{"value in a list", Kind::Changed, "Props\\1\\Kind", "16", "99"},
       [](TGFFFile& d) { d.SetFieldValue("Props\\1\\Kind", "99"); }},
      {{"text", Kind::Changed, "Tag", "\"BLADE\"", "\"BL\\\"ADE\""},
       [](TGFFFile& d) { d.SetFieldValue("Tag", "BL\"ADE"); }},
      {{"strref", Kind::Changed, "LocName(strref)", "12", "-1"},
       [](TGFFFile& d) { d.GetField("LocName")->As<TGFF_CExoLocString>()->SetStringRef(0xFFFFFFFFu); }},
      {{"language added", Kind::OnlyInSecond, "LocName(lang3)", "", "\"Klinge\""},
       [](TGFFFile& d) { d.GetField("LocName")->As<TGFF_CExoLocString>()->AddSubstring(3, "Klinge"); }},
      {{"field added", Kind::OnlyInSecond, "Props\\0\\Extra", "", "Int 7"},
       [](TGFFFile& d) { d.AddField(std::make_unique<TGFF_SInt>("Extra", 7), "Props\\0"); }},
      {{"list element added", Kind::OnlyInSecond, "Props\\2", "", "Struct, type 4, 0 fields"},
       [](TGFFFile& d) {
         auto s = std::make_unique<TGFFStruct>();
         s->SetStructType(4);
         d.AddField(std::move(s), "Props");
       }},
      {{"struct type", Kind::Changed, "Props\\0 struct type", "0", "9"},
       [](TGFFFile& d) { d.GetField("Props\\0")->As<TGFFStruct>()->SetStructType(9); }},
  };
  const auto first = Document();
  EXPECT_TRUE(DiffDocuments(*first, *Document()).empty());
  for (const auto& c : cases) ExpectOne(DiffDocuments(*first, *Document(c.change)), c.expected);
  ExpectOne(DiffDocuments(*first, *Document({}, true)), {"type", Kind::Changed, "Weight", "Float 2.5", "Double 2.5"});
  // What the second document lacks is reported on the first's side.
  const auto withElement = Document([](TGFFFile& d) {
    auto s = std::make_unique<TGFFStruct>();
    s->SetStructType(4);
    d.AddField(std::move(s), "Props");
  });
  ExpectOne(DiffDocuments(*withElement, *first),
            {"list element missing", Kind::OnlyInFirst, "Props\\2", "Struct, type 4, 0 fields", ""});
  const auto withField = Document([](TGFFFile& d) { d.AddField(std::make_unique<TGFF_SInt>("Extra", 7), "Props\\0"); });
  ExpectOne(DiffDocuments(*withField, *first), {"field missing", Kind::OnlyInFirst, "Props\\0\\Extra", "Int 7", ""});
}

// --- TLK, SSF ----------------------------------------------------------------

TTLKFileHandler Talk(const std::vector<test::TalkEntry>& entries) {
  TTLKFileHandler t;
  t.LoadFromBytes(test::TalkTable(entries));
  return t;
}

TEST(FormatDiff, TalkTablesAndSoundsetsDifferingInOnePlace) {
  const std::vector<test::TalkEntry> base{{"Hello", 1, "vo_hi", 1.5f}, {"Bye"}};
  const struct {
    Expected expected;
    std::vector<test::TalkEntry> second;
  } cases[] = {
      {{"text", Kind::Changed, "StrRef 1 text", "\"Bye\"", "\"Farewell\""}, {base[0], {"Farewell"}}},
      {{"sound", Kind::Changed, "StrRef 0 sound", "\"vo_hi\"", "\"vo_hey\""}, {{"Hello", 1, "vo_hey", 1.5f}, base[1]}},
      {{"flags", Kind::Changed, "StrRef 0 flags", "1", "7"}, {{"Hello", 7, "vo_hi", 1.5f}, base[1]}},
      {{"sound length", Kind::Changed, "StrRef 0 sound length", "1.5", "2"}, {{"Hello", 1, "vo_hi", 2.0f}, base[1]}},
      {{"volume variance", Kind::Changed, "StrRef 1 volume variance", "0", "3"}, {base[0], {"Bye", 0, "", 0.0f, 3}}},
      {{"pitch variance", Kind::Changed, "StrRef 1 pitch variance", "0", "5"}, {base[0], {"Bye", 0, "", 0.0f, 0, 5}}},
      {{"appended", Kind::OnlyInSecond, "StrRef 2", "", "\"New\""}, {base[0], base[1], {"New"}}},
      {{"removed", Kind::OnlyInFirst, "StrRef 1", "\"Bye\"", ""}, {base[0]}},
  };
  const TTLKFileHandler first = Talk(base);
  EXPECT_TRUE(DiffTalkTables(first, Talk(base)).empty());
  for (const auto& c : cases) ExpectOne(DiffTalkTables(first, Talk(c.second)), c.expected);

  TSSFFile a, b;
  a.LoadFromBytes(test::Bytes().Ascii("SSF V1.1").U32(12).I32(5).Zeros(156).Build());
  b.LoadFromBytes(test::Bytes().Ascii("SSF V1.1").U32(12).I32(5).Zeros(152).I32(-1).Build());
  ExpectOne(DiffSoundsets(a, b), {"ssf", Kind::Changed, "\"Unknown(40)\"", "0", "-1"});
}

// --- archives -----------------------------------------------------------------

std::string Digest(std::span<const std::uint8_t> data) { return "d" + std::to_string(data.size()); }

TEST(FormatDiff, ArchivesDifferingInOnePlace) {
  test::TempDir dir;
  const std::vector<test::StoredResource> base{{"m01_guard", "utc", "abc"}, {"m01", "ifo", "xy"}};
  const struct {
    Expected expected;
    std::vector<test::StoredResource> second;
    std::string_view type = "MOD ";
  } cases[] = {
      {{"content", Kind::Changed, "m01_guard.utc", "3 bytes, d3", "3 bytes, d3"}, {{"m01_guard", "utc", "abd"}, base[1]}},
      {{"content and size", Kind::Changed, "m01.ifo", "2 bytes, d2", "5 bytes, d5"}, {base[0], {"m01", "ifo", "xyzzy"}}},
      {{"removed", Kind::OnlyInFirst, "m01.ifo", "2 bytes, d2", ""}, {base[0]}},
      {{"added", Kind::OnlyInSecond, "zz.nss", "", "1 bytes, d1"}, {base[0], base[1], {"zz", "nss", "v"}}},
      {{"same name, other type", Kind::OnlyInSecond, "m01.are", "", "1 bytes, d1"}, {base[0], base[1], {"m01", "are", "v"}}},
      {{"file type", Kind::Changed, "file type", "\"MOD \"", "\"ERF \""}, base, "ERF "},
  };
  TERFHandler first(dir.Write("a.mod", test::MakeArchive(base)));
  // Letter case of names and resource order do not count.
  TERFHandler same(dir.Write("same.mod", test::MakeArchive({{"m01", "ifo", "xy"}, {"M01_Guard", "utc", "abc"}})));
  EXPECT_TRUE(DiffArchives(first, same, Digest).empty());
  int n = 0;
  for (const auto& c : cases) {
    TERFHandler second(dir.Write("b" + std::to_string(n++) + ".mod", test::MakeArchive(c.second, c.type)));
    ExpectOne(DiffArchives(first, second, Digest), c.expected);
  }
}

}  // namespace
}  // namespace vey
