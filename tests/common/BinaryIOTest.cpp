// Bounded reading and placeholder writing.
#include <gtest/gtest.h>

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

TEST(ByteReader, ReadsLittleEndianAndStopsAtTheEnd) {
  std::vector<std::uint8_t> data = test::Bytes().U16(0x1234).U32(0xA1B2C3D4).I32(-2).Ascii("AB").U8(0).U8('C');
  ByteReader r(data);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0xA1B2C3D4u);
  EXPECT_EQ(r.I32(), -2);
  EXPECT_EQ(r.FixedString(4), "AB");
  EXPECT_EQ(r.Remaining(), 0u);
  EXPECT_FALSE(r.TryU8().has_value());
  EXPECT_THROW(r.U8(), ReadPastEnd);
}

TEST(ByteReader, SeekAcceptsTheEndButNothingBeyond) {
  std::vector<std::uint8_t> data(4, 0);
  ByteReader r(data);
  r.Seek(4);
  EXPECT_EQ(r.Remaining(), 0u);
  EXPECT_THROW(r.Seek(5), ReadPastEnd);
  r.Seek(1);
  // A read that would cross the end consumes nothing.
  EXPECT_THROW(r.U32(), ReadPastEnd);
  EXPECT_EQ(r.Pos(), 1u);
  EXPECT_THROW(r.Bytes(static_cast<std::size_t>(-1)), ReadPastEnd);
}

TEST(ByteReader, ContainsRejectsRangesThatOverflow) {
  std::vector<std::uint8_t> data(16, 0);
  ByteReader r(data);
  EXPECT_TRUE(r.Contains(16, 0));
  EXPECT_TRUE(r.Contains(8, 8));
  EXPECT_FALSE(r.Contains(8, 9));
  EXPECT_FALSE(r.Contains(17, 0));
  EXPECT_FALSE(r.Contains(1, UINT64_MAX));
}

TEST(ByteWriter, FillsPlaceholdersAndPadsFixedText) {
  ByteWriter w;
  auto at = w.Placeholder32();
  w.FixedString("toolongname", 4);
  w.FixedString("ab", 4);
  w.PutU32At(at, 0x01020304);
  std::vector<std::uint8_t> expected =
      test::Bytes().U32(0x01020304).Ascii("tool").Ascii("ab").U8(0).U8(0);
  EXPECT_SAME_BYTES(w.Data(), expected);
  EXPECT_THROW(w.PutU32At(w.Size() - 2, 1), std::out_of_range);
}

}  // namespace
}  // namespace vey
