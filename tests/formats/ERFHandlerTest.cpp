// ERF/RIM archives: table reading, damaged tables, lookups, queued edits and
// the rebuilt file, byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>

#include "formats/UERFHandler.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ExpectFailure;

struct Res {
  std::string name;
  std::uint16_t type;
  std::string data;
};

// An ERF-layout file: header, one localized string, keys, resource list, data.
std::vector<std::uint8_t> MakeERF(const std::vector<Res>& res, std::string_view fileType = "MOD ") {
  const std::uint32_t n = static_cast<std::uint32_t>(res.size());
  const std::uint32_t strings = 8 + 5;
  const std::uint32_t keys = 160 + strings, list = keys + 24 * n;
  Bytes b;
  b.Ascii(fileType).Ascii("V1.0").I32(1).U32(strings).I32(static_cast<std::int32_t>(n)).U32(160)
      .U32(keys).U32(list).U32(120).U32(45).U32(7777).Zeros(115).U8(0xAB);
  b.I32(3).U32(5).Ascii("Hallo");
  for (std::uint32_t i = 0; i < n; ++i) b.Fixed(res[i].name, 16).U32(100 + i).U16(res[i].type).U16(0);
  std::uint32_t offset = list + 8 * n;
  for (const auto& r : res) {
    b.U32(offset).U32(static_cast<std::uint32_t>(r.data.size()));
    offset += static_cast<std::uint32_t>(r.data.size());
  }
  for (const auto& r : res) b.Ascii(r.data);
  return b;
}

std::vector<std::uint8_t> MakeRIM(const std::vector<Res>& res) {
  const std::uint32_t n = static_cast<std::uint32_t>(res.size());
  Bytes b;
  b.Ascii("RIM V1.0").U32(0x11223344).I32(static_cast<std::int32_t>(n)).U32(120).Zeros(99).U8(0xCD);
  std::uint32_t offset = 120 + 32 * n;
  for (std::uint32_t i = 0; i < n; ++i) {
    b.Fixed(res[i].name, 16).U16(res[i].type).U16(0).U16(static_cast<std::uint16_t>(i)).U16(0);
    b.U32(offset).U32(static_cast<std::uint32_t>(res[i].data.size()));
    offset += static_cast<std::uint32_t>(res[i].data.size());
  }
  for (const auto& r : res) b.Ascii(r.data);
  return b;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& p) { return ReadWholeFile(p); }

std::vector<std::string> Names(const TERFHandler& h) {
  std::vector<std::string> out;
  for (const auto& r : h.Resources())
    out.push_back(r->ResRef.Name() + "." + TERF_Resource::TypeToExtension(r->ResType));
  return out;
}

std::string Extracted(const TERFHandler& h, const test::TempDir& dir, std::string_view name, int type) {
  h.ExtractResource(name, type, dir / "out.bin");
  return dir.Read("out.bin");
}

std::pair<std::uint32_t, std::uint32_t> Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {static_cast<std::uint32_t>(local.tm_year), static_cast<std::uint32_t>(local.tm_yday + 1)};
}

std::string LoadMsg(const fs::path& p, std::string_view tail) {
  return "Unable to load file \"" + p.string() + "\", " + std::string(tail);
}

TEST(TERF_ResourceTypes, TableConvertsBothWays) {
  int known = 0;
  for (int type = -1; type <= 10000; ++type) {
    auto ext = TERF_Resource::TypeToExtension(type);
    if (ext.empty()) continue;
    ++known;
    EXPECT_EQ(TERF_Resource::ExtensionToType(ext), type) << ext;
  }
  EXPECT_EQ(known, 86);
  EXPECT_EQ(TERF_Resource::TypeToExtension(2027), "utc");
  EXPECT_EQ(TERF_Resource::TypeToExtension(3007), "tpc");
  EXPECT_EQ(TERF_Resource::ExtensionToType(".UTC"), 2027);
  EXPECT_EQ(TERF_Resource::ExtensionToType("4PC"), 2059);
  for (int gap : {5, 2004, 2006, 2019, 2020, 2021, 2028}) EXPECT_EQ(TERF_Resource::TypeToExtension(gap), "");
  for (const char* bad : {"", ".", "..utc", "utc ", "xyz"}) EXPECT_EQ(TERF_Resource::ExtensionToType(bad), -1);
}

TEST(TERF_ResRef, KeepsAllowedCharactersOfTheFirstSixteen) {
  EXPECT_EQ(TERF_ResRef("My-Res.Name_2").Name(), "MyResName_2");
  // The cut happens before filtering: dropped characters do not make room.
  EXPECT_EQ(TERF_ResRef("a-b-c-d-e-f-g-h-IJKL").Name(), "abcdefgh");
  EXPECT_EQ(TERF_ResRef("0123456789abcdefXYZ").Name(), "0123456789abcdef");
  EXPECT_EQ(TERF_ResRef(std::string("ab\0cd", 5)).Name(), "abcd");
}

TEST(TERFHandlerLoad, ReadsERFHeaderStringsAndKeys) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"My-Res.1", 2027, "abc"}, {"Odd", 5, ""}}));
  TERFHandler h(path);
  ASSERT_TRUE(h.IsOpen());
  EXPECT_FALSE(h.IsRIM());
  const auto* hd = h.ERFHeader();
  ASSERT_NE(hd, nullptr);
  EXPECT_EQ(hd->FileType, "MOD ");
  EXPECT_EQ(hd->EntryCount, 2);
  EXPECT_EQ(hd->OffsetToKeyList, 173u);
  EXPECT_EQ(hd->BuildYear, 120u);
  EXPECT_EQ(hd->DescriptionStrRef, 7777u);
  EXPECT_EQ(hd->Reserved[115], 0xAB);
  ASSERT_EQ(h.LocStrings().size(), 1u);
  EXPECT_EQ(h.LocStrings()[0].LanguageId, 3);
  EXPECT_EQ(h.LocStrings()[0].Text(), "Hallo");
  ASSERT_EQ(h.Resources().size(), 2u);
  const auto& first = *h.Resources()[0];
  EXPECT_EQ(first.ResRef.Name(), "MyRes1");
  EXPECT_EQ(first.ResId, 100u);
  EXPECT_EQ(first.Offset, 173u + 48 + 16);
  EXPECT_EQ(first.Size, 3u);
  EXPECT_EQ(h.Resources()[1]->ResType, 5);
}

TEST(TERFHandlerLoad, ReadsRIMKeysWithTheirHighHalves) {
  test::TempDir dir;
  auto bytes = Bytes().Ascii("RIM V1.0").U32(0).I32(1).U32(120).Zeros(100)
                   .Fixed("Area_1", 16).U16(2012).U16(7).U16(3).U16(9).U32(152).U32(2).Ascii("xy")
                   .Build();
  TERFHandler h(dir.Write("a.rim", bytes));
  ASSERT_TRUE(h.IsRIM());
  const auto& r = *h.Resources()[0];
  EXPECT_EQ(r.ResRef.Name(), "Area_1");
  EXPECT_EQ(r.ResType, 2012);
  EXPECT_EQ(r.Reserved1, 7);
  EXPECT_EQ(r.ResId, 3u);
  EXPECT_EQ(r.Reserved2, 9);
  EXPECT_EQ(Extracted(h, dir, "AREA_1", 2012), "xy");

  TERFHandler empty(dir.Write("e.rim", MakeRIM({})));
  EXPECT_TRUE(empty.IsOpen());
  EXPECT_TRUE(empty.Resources().empty());
}

TEST(TERFHandlerLoad, RefusesOtherTypesAndVersions) {
  test::TempDir dir;
  TERFHandler h(dir.Write("good.mod", MakeERF({{"a", 2027, "1"}})));
  for (auto [file, head] : {std::pair{"v.erf", "ERF V1.1"}, {"t.erf", "XYZ V1.0"}, {"s.erf", "RIM"}}) {
    auto path = dir.Write(file, std::string(head) + std::string(200, '\0'));
    EXPECT_FALSE(TERFHandler::IsArchiveFile(path));
    ExpectFailure<EERFError>([&] { h.LoadFromFile(path); }, 6,
                             LoadMsg(path, "it does not appear to be a valid ERF file type!"));
    EXPECT_FALSE(h.IsOpen());
  }
  EXPECT_FALSE(TERFHandler::IsArchiveFile(dir / "missing.mod"));
  EXPECT_FALSE(TERFHandler::IsArchiveFile(dir.Write("short", "ERF V1")));
  EXPECT_FALSE(TERFHandler::IsArchiveFile(dir.Path()));
  EXPECT_TRUE(TERFHandler::IsArchiveFile(dir.Write("e.rim", MakeRIM({}))));
}

TEST(TERFHandlerLoad, MissingFileKeepsTheOpenArchive) {
  test::TempDir dir;
  auto good = dir.Write("good.mod", MakeERF({{"a", 2027, "1"}}));
  TERFHandler h(good);
  ExpectFailure<EERFError>([&] { h.LoadFromFile(dir / "none.mod"); }, 5,
                           LoadMsg(dir / "none.mod", "file not found!"));
  EXPECT_TRUE(h.IsOpen());
  EXPECT_EQ(h.FileName(), good);
  EXPECT_EQ(Extracted(h, dir, "a", 2027), "1");
}

TEST(TERFHandlerLoad, RefusesTablesOutsideTheFile) {
  test::TempDir dir;
  auto good = MakeERF({{"a", 2027, "1234"}, {"b", 2027, "56"}});
  auto patched = [&](std::size_t at, std::uint32_t value) {
    auto b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
  };
  const std::uint32_t size = static_cast<std::uint32_t>(good.size());
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* tail;
  } cases[] = {
      {std::vector<std::uint8_t>(good.begin(), good.begin() + 100), "its header lies outside the file!"},
      {patched(8, 0x7FFFFFFF), "its localized string table lies outside the file!"},
      {patched(164, 0xFFFFFFF0), "its localized string table lies outside the file!"},
      {patched(16, 0x7FFFFFFF), "its key list lies outside the file!"},
      {patched(24, size - 47), "its key list lies outside the file!"},
      {patched(28, size), "its resource list lies outside the file!"},
      {patched(173 + 48 + 8, size - 1), "the data of resource \"b.utc\" lies outside the file!"},
      {patched(173 + 48 + 4, 0xFFFFFFFF), "the data of resource \"a.utc\" lies outside the file!"},
  };
  TERFHandler h(dir.Write("good.mod", good));
  for (const auto& c : cases) {
    auto path = dir.Write("bad.mod", c.bytes);
    ExpectFailure<EERFError>([&] { h.LoadFromFile(path); }, 17, LoadMsg(path, c.tail));
    EXPECT_FALSE(h.IsOpen());
  }
  auto rim = MakeRIM({{"a", 2027, "1"}});
  rim[12] = 2;  // two entries, one key
  auto path = dir.Write("bad.rim", rim);
  ExpectFailure<EERFError>([&] { h.LoadFromFile(path); }, 17,
                           LoadMsg(path, "its key list lies outside the file!"));
  // Empty tables and empty resources may point anywhere: they are never read.
  auto noKeys = MakeRIM({});
  noKeys[16] = 0xFF;
  EXPECT_NO_THROW(h.LoadFromFile(dir.Write("k.rim", noKeys)));
  auto empty = MakeERF({{"a", 2027, ""}});
  for (int i = 0; i < 4; ++i) empty[173 + 24 + i] = 0xFF;
  EXPECT_NO_THROW(h.LoadFromFile(dir.Write("z.mod", empty)));
}

TEST(TERFHandlerLookup, FindsNamesInAnyCaseAndQueuedFiles) {
  test::TempDir dir;
  TERFHandler h(dir.Write("m.mod", MakeERF({{"MyRes", 2027, "abc"}})));
  EXPECT_TRUE(h.HasResource("myres.UTC", false));
  EXPECT_TRUE(h.HasResource("MY-RES.utc", false));
  EXPECT_FALSE(h.HasResource("myres.uti", false));
  auto src = dir.Write("src/new.dlg", "d");
  h.AddResource(src, true, "Renamed.dlg");
  EXPECT_FALSE(h.HasResource("new.dlg", false));
  EXPECT_TRUE(h.HasResource("NEW.DLG", true));      // by the source's name
  EXPECT_TRUE(h.HasResource("renamed.dlg", true));  // by the name it gets
  EXPECT_FALSE(h.HasResource("renamed.utc", true));

  TERFHandler closed;
  ExpectFailure<EERFError>([&] { closed.HasResource("a.utc", false); }, 3,
                           "Unable to get resource from file, no ERF file is open!");
}

TEST(TERFHandlerExtract, CopiesDataAndNamesDefaultDestinations) {
  test::TempDir dir;
  TERFHandler h(dir.Write("m.mod", MakeERF({{"MyRes", 2027, "abc"}, {"Empty", 2025, ""}, {"Raw", 5, "r"}})));
  h.SetWorkFolder(dir.Path());
  h.ExtractResource("myres", 2027);
  EXPECT_EQ(dir.Read("MyRes.utc"), "abc");
  h.ExtractResource("empty", 2025);
  EXPECT_TRUE(fs::exists(dir / "Empty.uti"));
  EXPECT_EQ(fs::file_size(dir / "Empty.uti"), 0u);
  h.ExtractResource("raw", 5);
  EXPECT_EQ(dir.Read("Raw"), "r");
  ExpectFailure<EERFError>([&] { h.ExtractResource("MyRes", 2025); }, 14,
                           "Resource \"MyRes.uti\" could not be found in the ERF file. Unable to extract it!");
}

TEST(TERFHandlerExtract, QueuedFileIsTheCurrentContent) {
  test::TempDir dir;
  TERFHandler h(dir.Write("m.mod", MakeERF({{"MyRes", 2027, "old"}})));
  auto src = dir.Write("work/myres.utc", "queued");
  h.AddResource(src, true);
  EXPECT_EQ(Extracted(h, dir, "MYRES", 2027), "queued");
  // The engine edits its working copy and queues it again: extraction onto
  // the queued file itself must not truncate it.
  h.ExtractResource("myres", 2027, src);
  EXPECT_EQ(dir.Read("work/myres.utc"), "queued");
  fs::remove(src);
  // The queued file replaced the loaded one; with its source gone, nothing is left.
  EXPECT_THROW(h.ExtractResource("myres", 2027, dir / "x"), EERFError);
}

TEST(TERFHandlerEdit, AddRefusesWhatItCannotStore) {
  test::TempDir dir;
  TERFHandler h(dir.Write("m.mod", MakeERF({{"MyRes", 2027, "abc"}})));
  auto src = dir.Write("a/MyRes.utc", "new");
  ExpectFailure<EERFError>([&] { h.AddResource(dir / "Thing.XYZ", true); }, 9,
                           "Cannot add resource \"thing\"! Unsupported file type \"xyz\" encountered!");
  ExpectFailure<EERFError>([&] { h.AddResource(src, false); }, 10,
                           "Cannot add resource \"myres.utc\"! A file with this name already exists in the ERF!");
  EXPECT_FALSE(h.Modified());
  h.AddResource(dir.Write("b/other.uti", "1"), false);
  ExpectFailure<EERFError>([&] { h.AddResource(dir.Write("c/OTHER.uti", "2"), false); }, 11,
                           "Cannot add resource \"other.uti\"! A file with this name has already been added to the ERF!");
  // Same source name from another folder, replacing: only the second stays queued.
  h.AddResource(dir / "c/OTHER.uti", true);
  EXPECT_EQ(h.PendingSources(), std::vector<std::string>{(dir / "c/OTHER.uti").string()});

  TERFHandler closed;
  ExpectFailure<EERFError>([&] { closed.AddResource(src, true); }, 2,
                           "Unable to add resource to file, no ERF file is open!");
  ExpectFailure<EERFError>([&] { closed.DeleteResource("a", 1); }, 4,
                           "Unable to delete resource from file, no ERF file is open!");
  ExpectFailure<EERFError>([&] { closed.SaveToFile(); }, 1, "Unable to save, no ERF file is open!");
}

TEST(TERFHandlerEdit, DeleteRemovesLoadedOrQueued) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"a", 2027, "1"}, {"b", 2027, "2"}}));
  TERFHandler h(path);
  h.DeleteResource("A", 2027);
  EXPECT_EQ(Names(h), std::vector<std::string>{"b.utc"});
  EXPECT_EQ(h.ERFHeader()->EntryCount, 1);
  EXPECT_TRUE(h.Modified());
  h.AddResource(dir.Write("q/c.uti", "3"), true);
  h.AddResource(dir.Write("q/d.uti", "4"), true);
  h.DeleteResource("C", 2025);
  EXPECT_EQ(h.PendingNames(), std::vector<std::string>{"d.uti"});
  // Something else queued does not turn a miss into success.
  ExpectFailure<EERFError>([&] { h.DeleteResource("zz", 2025); }, 8,
                           "Unable to delete resource from file, resource \"zz\" not found!");
  h.SaveToFile();
  EXPECT_EQ(Names(h), (std::vector<std::string>{"b.utc", "d.uti"}));
}

TEST(TERFHandlerSave, WritesTheERFLayoutByteForByte) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"a", 2027, "1234"}, {"Gone", 2025, "x"}, {"b", 5, "56"}}));
  TERFHandler h(path);
  h.DeleteResource("gone", 2025);
  h.AddResource(dir.Write("src/New-File.dlg", "789"), true);
  h.SaveToFile();
  auto [year, day] = Today();
  // 160 header + 13 string block; 3 keys at 173; list at 245; data at 269.
  auto expected = Bytes()
                      .Ascii("MOD V1.0").I32(1).U32(13).I32(3).U32(160).U32(173).U32(245)
                      .U32(year).U32(day).U32(7777).Zeros(115).U8(0xAB)
                      .I32(3).U32(5).Ascii("Hallo")
                      .Fixed("a", 16).U32(0).U16(2027).U16(0)
                      .Fixed("b", 16).U32(1).U16(5).U16(0)
                      .Fixed("NewFile", 16).U32(2).U16(2029).U16(0)
                      .U32(269).U32(4).U32(273).U32(2).U32(275).U32(3)
                      .Ascii("1234").Ascii("56").Ascii("789")
                      .Build();
  EXPECT_SAME_BYTES(ReadBytes(path), expected);
  EXPECT_TRUE(h.IsOpen());
  EXPECT_FALSE(h.Modified());
  EXPECT_TRUE(h.PendingSources().empty());
  EXPECT_EQ(Names(h), (std::vector<std::string>{"a.utc", "b.", "NewFile.dlg"}));
}

TEST(TERFHandlerSave, WritesTheRIMLayoutByteForByte) {
  test::TempDir dir;
  auto path = dir.Write("a.rim", MakeRIM({{"x", 2012, "AB"}, {"y", 2023, ""}}));
  TERFHandler h(path);
  h.AddResource(dir.Write("s/z.git", "C"), true);
  h.SaveToFile();
  auto expected = Bytes()
                      .Ascii("RIM V1.0").U32(0x11223344).I32(3).U32(120).Zeros(99).U8(0xCD)
                      .Fixed("x", 16).U16(2012).U16(0).U32(0).U32(216).U32(2)
                      .Fixed("y", 16).U16(2023).U16(0).U32(1).U32(218).U32(0)
                      .Fixed("z", 16).U16(2023).U16(0).U32(2).U32(218).U32(1)
                      .Ascii("AB").Ascii("C")
                      .Build();
  EXPECT_SAME_BYTES(ReadBytes(path), expected);
}

TEST(TERFHandlerSave, ReplacesByNameInAnotherLetterCase) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"first", 2027, "1"}, {"MyRes", 2027, "old"}, {"last", 2027, "3"}}));
  TERFHandler h(path);
  h.AddResource(dir.Write("w/work.tmp", "new"), true, "MYRES.UTC");
  h.SaveToFile();
  EXPECT_EQ(Names(h), (std::vector<std::string>{"first.utc", "last.utc", "MYRES.utc"}));
  EXPECT_EQ(Extracted(h, dir, "myres", 2027), "new");
}

TEST(TERFHandlerSave, LaterQueuedFileWinsAndMissingOnesAreSkipped) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"keep", 2027, "k"}}));
  TERFHandler h(path);
  h.AddResource(dir.Write("one/first.utc", "1"), true, "doc.utc");
  h.AddResource(dir.Write("two/second.utc", "2"), true, "Doc.utc");
  h.AddResource(dir.Write("gone.uti", "g"), true);
  h.AddResource(dir.Write("three/third.utc", "3"), true, "DOC.utc");
  fs::remove(dir / "gone.uti");
  fs::remove(dir / "three/third.utc");  // missing: the one before it wins
  h.SaveToFile();
  EXPECT_EQ(Names(h), (std::vector<std::string>{"keep.utc", "Doc.utc"}));
  EXPECT_EQ(Extracted(h, dir, "doc", 2027), "2");
  for (std::uint32_t i = 0; i < h.Resources().size(); ++i) EXPECT_EQ(h.Resources()[i]->ResId, i);
}

TEST(TERFHandlerSave, CarriesCaseTwinsAndUnknownTypesThrough) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"abc", 2027, "lower"}, {"ABC", 2027, "upper"}, {"blob", 2019, "?"}, {"neg", 0xFFFF, "-"}}));
  TERFHandler h(path);
  h.AddResource(dir.Write("s/n.uti", "n"), true);
  h.SaveToFile();
  ASSERT_EQ(h.Resources().size(), 5u);
  EXPECT_EQ(h.Resources()[0]->ResRef.Name(), "abc");
  EXPECT_EQ(h.Resources()[1]->ResRef.Name(), "ABC");
  EXPECT_EQ(h.Resources()[2]->ResType, 2019);
  EXPECT_EQ(h.Resources()[3]->ResType, -1);
  EXPECT_EQ(Extracted(h, dir, "blob", 2019), "?");
  EXPECT_EQ(Extracted(h, dir, "neg", -1), "-");
}

TEST(TERFHandlerSave, CopiesDataStoredOutOfKeyOrder) {
  test::TempDir dir;
  // Keys a, b, c, d; data stored as d, c, b, a with b shared by e.
  auto bytes = Bytes().Ascii("RIM V1.0").U32(0).I32(5).U32(120).Zeros(100)
                   .Fixed("a", 16).U32(2027).U32(0).U32(287).U32(4)
                   .Fixed("b", 16).U32(2027).U32(1).U32(284).U32(3)
                   .Fixed("c", 16).U32(2027).U32(2).U32(282).U32(2)
                   .Fixed("d", 16).U32(2027).U32(3).U32(280).U32(2)
                   .Fixed("e", 16).U32(2027).U32(4).U32(284).U32(3)
                   .Ascii("dd").Ascii("cc").Ascii("bbb").Ascii("aaaa")
                   .Build();
  auto path = dir.Write("a.rim", bytes);
  TERFHandler h(path);
  h.DeleteResource("c", 2027);
  h.AddResource(dir.Write("s/f.utc", "f"), true);
  h.SaveToFile();
  std::string all;
  for (const auto& r : h.Resources()) all += r->ResRef.Name() + "=" + Extracted(h, dir, r->ResRef.Name(), 2027) + " ";
  EXPECT_EQ(all, "a=aaaa b=bbb d=dd e=bbb f=f ");
}

TEST(TERFHandlerSave, EmptyPathWithoutChangesWritesNothing) {
  test::TempDir dir;
  auto path = dir.Write("m.mod", MakeERF({{"a", 2027, "1"}}));
  TERFHandler h(path);
  struct stat before {}, after {};
  ::stat(path.c_str(), &before);
  h.SaveToFile();
  ::stat(path.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  h.AddResource(dir.Write("s/b.utc", "2"), true);
  h.SaveToFile();
  ::stat(path.c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino);
}

TEST(TERFHandlerSave, ToAnotherPathLeavesTheLoadedFile) {
  test::TempDir dir;
  auto original = MakeERF({{"a", 2027, "1"}});
  auto path = dir.Write("m.mod", original);
  TERFHandler h(path);
  h.AddResource(dir.Write("s/b.utc", "2"), true);
  h.SaveToFile(dir / "copy.mod");
  EXPECT_SAME_BYTES(ReadBytes(path), original);
  EXPECT_EQ(h.FileName(), dir / "copy.mod");
  EXPECT_EQ(Names(h), (std::vector<std::string>{"a.utc", "b.utc"}));
}

TEST(TERFHandlerSave, InterruptedSaveLeavesTheOldArchive) {
  test::TempDir dir;
  auto original = MakeERF({{"a", 2027, "1"}, {"b", 2027, "2"}});
  auto path = dir.Write("m.mod", original);
  TERFHandler h(path);
  h.AddResource(dir.Write("s/c.utc", "3"), true);
  int calls = 0;
  h.SetSaveProgress([&](std::uint64_t, std::uint64_t) {
    if (++calls == 2) throw EFCreateError("disk full");
  });
  EXPECT_THROW(h.SaveToFile(), EFCreateError);
  EXPECT_SAME_BYTES(ReadBytes(path), original);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);  // m.mod and s/
  // Nothing was lost: the handler still has its archive and its queue.
  EXPECT_TRUE(h.Modified());
  h.SetSaveProgress({});
  h.SaveToFile();
  EXPECT_EQ(Names(h), (std::vector<std::string>{"a.utc", "b.utc", "c.utc"}));
}

TEST(TERFHandlerSave, RefusesWhatTheOffsetsCannotAddress) {
  test::TempDir dir;
  auto original = MakeERF({{"a", 2027, "1"}});
  auto path = dir.Write("m.mod", original);
  TERFHandler h(path);
  auto big = dir / "s/big.utc";
  fs::create_directories(big.parent_path());
  { std::ofstream(big).put('x'); }
  fs::resize_file(big, 0x100000000ull);  // sparse
  h.AddResource(big, true);
  ExpectFailure<EERFError>([&] { h.SaveToFile(); }, 18,
                           "Unable to save, the archive would exceed the format's 4 GB limit!");
  EXPECT_SAME_BYTES(ReadBytes(path), original);
}

}  // namespace
}  // namespace vey
