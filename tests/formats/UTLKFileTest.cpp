// TTLKFileHandler: header checks, text pieces, appending, the identical-entry
// index and the writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>

#include "common/FileIO.h"
#include "formats/UTLKFile.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using test::Bytes;
using test::ExpectFailure;

struct Entry {
  std::uint32_t flags;
  std::string sound;
  std::uint32_t volume, pitch, offset, size;
  std::uint32_t soundLengthBits;
};

Bytes& PutEntry(Bytes& b, const Entry& e) {
  return b.U32(e.flags).Fixed(e.sound, 16).U32(e.volume).U32(e.pitch).U32(e.offset).U32(e.size).U32(e.soundLengthBits);
}

// Three entries in the writer's layout: texts in order, the empty one at 0.
std::vector<std::uint8_t> ThreeEntries() {
  Bytes b;
  b.Ascii("TLK ").Ascii("V3.0").U32(3).U32(3).U32(20 + 3 * 40);
  PutEntry(b, {7, "vo_hello", 1, 2, 0, 5, 0x7FC00001});  // a NaN kept bit for bit
  PutEntry(b, {0, "", 0, 0, 0, 0, 0});
  PutEntry(b, {1, "0123456789abcdef", 3, 4, 5, 6, std::bit_cast<std::uint32_t>(1.5f)});
  return b.Ascii("Hello").Ascii("World!");
}

TTLKFileHandler LoadedTalkTable(const std::vector<std::uint8_t>& data) {
  TTLKFileHandler h;
  h.LoadFromBytes(data, "dialog.tlk");
  return h;
}

void LoadBytes(TTLKFileHandler& h, const std::vector<std::uint8_t>& data) { h.LoadFromBytes(data); }

TEST(TTLKFileHandlerLoad, ReadsEveryFieldAndRoundTrips) {
  auto data = ThreeEntries();
  auto h = LoadedTalkTable(data);
  ASSERT_TRUE(h.IsOpen());
  EXPECT_EQ(h.Count(), 3u);
  EXPECT_EQ(h.LanguageId(), 3u);
  const TTLKString& e0 = h.Entries()[0];
  EXPECT_EQ(e0.Flags(), 7u);
  EXPECT_EQ(e0.SoundResRefText(), "vo_hello");
  EXPECT_EQ(e0.SoundLengthBits(), 0x7FC00001u);
  EXPECT_EQ(e0.Text(), "Hello");
  EXPECT_EQ(h.Entries()[1].Text(), "");
  const TTLKString& e2 = h.Entries()[2];
  EXPECT_EQ(e2.SoundResRefText(), "0123456789abcdef");
  EXPECT_EQ(e2.OffsetToString(), 5u);
  EXPECT_EQ(e2.StrRef(), 2u);
  EXPECT_EQ(e2.SoundLength(), 1.5f);
  EXPECT_EQ(e2.Text(), "World!");
  EXPECT_SAME_BYTES(h.SaveToBytes(), data);
}

TEST(TTLKFileHandlerSave, LaysTextsOutAgainAndAppendsLast) {
  // Texts stored out of order and with a gap, behind a larger offset.
  Bytes b;
  b.Ascii("TLK ").Ascii("V3.0").U32(0).U32(2).U32(104);
  PutEntry(b, {0, "", 0, 0, 4, 2, 0});
  PutEntry(b, {0, "", 0, 0, 0, 3, 0});
  b.Zeros(4).Ascii("abc").U8('#').Ascii("xy");
  auto h = LoadedTalkTable(b);
  EXPECT_EQ(h.Entries()[0].Text(), "xy");

  TTLKString added;
  added.SetText("new");
  added.SetStringSize(999);
  EXPECT_EQ(h.AddEntry(added), 2u);
  EXPECT_EQ(h.Count(), 3u);
  EXPECT_EQ(h.Entries()[2].StringSize(), 3u);
  EXPECT_EQ(h.Entries()[2].StrRef(), 2u);

  Bytes expected;
  expected.Ascii("TLK ").Ascii("V3.0").U32(0).U32(3).U32(140);
  PutEntry(expected, {0, "", 0, 0, 0, 2, 0});
  PutEntry(expected, {0, "", 0, 0, 2, 3, 0});
  PutEntry(expected, {0, "", 0, 0, 5, 3, 0});
  expected.Ascii("xyabcnew");
  EXPECT_SAME_BYTES(h.SaveToBytes(), expected.Build());
  EXPECT_EQ(h.StringDataOffset(), 140u);
}

TEST(TTLKFileHandlerSave, WritesSharedTextsApart) {
  Bytes b;
  b.Ascii("TLK ").Ascii("V3.0").U32(0).U32(2).U32(100);
  PutEntry(b, {0, "", 0, 0, 0, 3, 0});
  PutEntry(b, {0, "", 0, 0, 0, 3, 0});
  b.Ascii("abc");
  Bytes expected;
  expected.Ascii("TLK ").Ascii("V3.0").U32(0).U32(2).U32(100);
  PutEntry(expected, {0, "", 0, 0, 0, 3, 0});
  PutEntry(expected, {0, "", 0, 0, 3, 3, 0});
  expected.Ascii("abcabc");
  EXPECT_SAME_BYTES(LoadedTalkTable(b).SaveToBytes(), expected.Build());
}

TEST(TTLKFileHandlerLoad, ReadsTextsInPiecesCutAtNul) {
  // 4096 bytes are one piece: a NUL ends the text. 4097 bytes are two: the
  // second piece is read after the first one's NUL.
  std::string one(4096, 'a');
  one[100] = '\0';
  std::string two(4097, 'b');
  two[10] = '\0';
  two[4096] = 'Z';
  Bytes b;
  b.Ascii("TLK ").Ascii("V3.0").U32(0).U32(3).U32(140);
  PutEntry(b, {0, "", 0, 0, 0, 4096, 0});
  PutEntry(b, {0, "", 0, 0, 4096, 4097, 0});
  PutEntry(b, {0, "", 0, 0, 8193, 4096, 0});
  b.Ascii(one).Ascii(two).Ascii(std::string(4096, 'c'));
  auto h = LoadedTalkTable(b);
  EXPECT_EQ(h.Entries()[0].Text(), std::string(100, 'a'));
  EXPECT_EQ(h.Entries()[1].Text(), std::string(10, 'b') + "Z");
  EXPECT_EQ(h.Entries()[1].StringSize(), 4097u);
  EXPECT_EQ(h.Entries()[2].Text(), std::string(4096, 'c'));

  // The size fields written announce exactly the bytes written.
  auto back = LoadedTalkTable(h.SaveToBytes());
  EXPECT_EQ(back.Entries()[0].StringSize(), 100u);
  EXPECT_EQ(back.Entries()[1].StringSize(), 11u);
  EXPECT_EQ(back.Entries()[1].Text(), std::string(10, 'b') + "Z");
  EXPECT_EQ(back.Entries()[2].OffsetToString(), 111u);
}

TEST(TTLKFileHandlerLoad, RefusesBadHeadersAndLeavesNothingOpen) {
  auto header = [](std::string_view type, std::string_view version, std::uint32_t count, std::uint32_t offset) {
    Bytes b;
    b.Ascii(type).Ascii(version).U32(0).U32(count).U32(offset);
    return b;
  };
  struct Case {
    std::vector<std::uint8_t> data;
    std::string message;
  };
  const std::string overflow = "Error reading string data table. Overflow into entry data table!";
  const std::string truncated =
      "Unexpected end of file while reading the TLK file. The file is damaged and cannot be loaded!";
  Bytes twoAt60 = header("TLK ", "V3.0", 2, 60);
  PutEntry(twoAt60, {0, "", 0, 0, 0, 0, 0});
  PutEntry(twoAt60, {0, "", 0, 0, 0, 0, 0});
  Bytes textOutside = header("TLK ", "V3.0", 1, 60);
  PutEntry(textOutside, {0, "", 0, 0, 0, 5, 0});
  textOutside.Ascii("abcd");
  Bytes sharedText = header("TLK ", "V3.0", 1000, 20 + 1000 * 40);
  for (int i = 0; i < 1000; ++i) PutEntry(sharedText, {0, "", 0, 0, 0, 20000, 0});
  sharedText.Zeros(20000);
  std::vector<Case> cases = {
      {{}, "Type mismatch. Specified file is not a valid TLK file!"},
      {test::ToBytes("TLK"), "Type mismatch. Specified file is not a valid TLK file!"},
      {header(std::string_view("TLK\0", 4), "V3.0", 1, 60), "Type mismatch. Specified file is not a valid TLK file!"},
      {header("TLK ", "V3.1", 1, 60), "Version mismatch. File is not a valid v3.0 TLK file!"},
      {test::ToBytes("TLK V3.0\1\0\0\0"), truncated},
      {header("TLK ", "V3.0", 0, 20), "No entries found in the specified TLK file!"},
      {header("TLK ", "V3.0", 1, 20), overflow},
      {twoAt60, overflow},
      // Four billion entries in a header of 40 bytes: refused before reading any.
      {header("TLK ", "V3.0", 0xFFFFFFFFu, 0xFFFFFFFFu).Zeros(20), overflow},
      {header("TLK ", "V3.0", 1000, 0xFFFFFFFFu).Zeros(40), truncated},
      {textOutside, truncated},
      {sharedText,
       "The texts of the TLK file add up to far more than the file holds. The file is damaged and cannot "
       "be loaded!"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    auto h = LoadedTalkTable(ThreeEntries());
    ExpectFailure<EHell>([&] { LoadBytes(h, cases[i].data); }, 0, cases[i].message);
    EXPECT_FALSE(h.IsOpen());
    EXPECT_EQ(h.Count(), 0u);
    EXPECT_TRUE(h.Entries().IsEmpty());
  }
}

TEST(TTLKFileHandlerLoad, CopiedEntriesOutliveTheirTable) {
  TTLKString copy;
  TStringDataList other;
  {
    auto h = LoadedTalkTable(ThreeEntries());
    copy = h.Entries()[0];
    other.Add(h.Entries()[2]);
    h.LoadFromBytes(ThreeEntries());  // a reload drops the first file's bytes
  }
  EXPECT_EQ(copy.Text(), "Hello");
  EXPECT_EQ(other[0].Text(), "World!");
}

TEST(TTLKFileHandlerSave, RefusesWithoutAnOpenTable) {
  TTLKFileHandler h;
  ExpectFailure<EHell>([&] { h.SaveToBytes(); }, 0, "There is no open file to save!");
  ExpectFailure<EHell>([&] { h.SaveToFile("x.tlk"); }, 0, "There is no open file to save!");
  ExpectFailure<EHell>([&] { h.AddEntry(TTLKString()); }, 0, "Unable to add new entry. No TLK file is open!");
}

TEST(TTLKFileHandlerFile, LoadsAndReplacesFiles) {
  test::TempDir dir;
  ExpectFailure<EHell>([&] { TTLKFileHandler h(dir / "dialog.tlk"); }, 0,
                       "Unable to load specified TLK file since it could not be found!");
  auto path = dir.Write("dialog.tlk", ThreeEntries());
  ::chmod(path.c_str(), 0444);
  TTLKFileHandler h(path);
  EXPECT_EQ(h.FileName(), path);
  TTLKString e;
  e.SetText("appended");
  h.AddEntry(e);
  h.SaveToFile();  // to the loaded file, read-only or not
  TTLKFileHandler back(path);
  EXPECT_EQ(back.Count(), 4u);
  EXPECT_EQ(back.Entries()[3].Text(), "appended");
}

TEST(TStringDataList, WalksOnceWithOneCursor) {
  TStringDataList list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  for (const char* t : {"a", "b"}) {
    TTLKString e;
    e.SetText(t);
    list.Add(e);
  }
  const TTLKString* first = list.First();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Text(), "a");
  EXPECT_EQ(list.Next()->Text(), "b");
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);  // stays at the end
  // Entries stay where they are while the list grows.
  for (int i = 0; i < 5000; ++i) list.Add(TTLKString());
  EXPECT_EQ(first->Text(), "a");
  EXPECT_EQ(list.First(), first);
}

TEST(TTLKFileHandlerIdentical, FindsTheFirstIdenticalEntryIncludingAppended) {
  auto h = LoadedTalkTable(ThreeEntries());
  TTLKString world = h.Entries()[2];
  EXPECT_EQ(h.FindIdentical(world), 2u);
  EXPECT_EQ(h.FindIdentical(h.Entries()[1]), 1u);
  // A NaN sound length is identical to nothing, not even itself.
  EXPECT_FALSE(h.FindIdentical(h.Entries()[0]).has_value());

  TTLKString differs = world;
  differs.SetText("world!");  // case counts
  EXPECT_FALSE(h.FindIdentical(differs).has_value());
  differs = world;
  differs.SetSoundResRef("0123456789abcdeX");
  EXPECT_FALSE(h.FindIdentical(differs).has_value());
  differs = world;
  differs.SetPitchVariance(0);
  EXPECT_FALSE(h.FindIdentical(differs).has_value());

  // Offset, size and StrRef do not count; a second copy is found as the first.
  TTLKString copy = world;
  copy.SetOffsetToString(77);
  copy.SetStrRef(9);
  EXPECT_EQ(h.AddEntry(copy), 3u);
  EXPECT_EQ(h.FindIdentical(copy), 2u);

  TTLKString fresh;
  fresh.SetText("fresh");
  fresh.SetSoundLength(-0.0f);
  EXPECT_FALSE(h.FindIdentical(fresh).has_value());
  EXPECT_EQ(h.AddEntry(fresh), 4u);
  fresh.SetSoundLength(0.0f);  // equal as a number
  EXPECT_EQ(h.FindIdentical(fresh), 4u);
}

}  // namespace
}  // namespace vey
