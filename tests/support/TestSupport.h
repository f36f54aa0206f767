// TestSupport: fixture builders and failure assertions shared by the suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteWriter.h"
#include "common/VeyException.h"

namespace vey::test {

// Builds binary fixtures that read like the format tables:
// Bytes().Ascii("2DA V2.b").U8(0x0A).Ascii("A\tB\t").U8(0).I32(1)
class Bytes {
 public:
  Bytes& U8(std::uint8_t v) { w_.U8(v); return *this; }
  Bytes& U16(std::uint16_t v) { w_.U16(v); return *this; }
  Bytes& I16(std::int16_t v) { w_.I16(v); return *this; }
  Bytes& U32(std::uint32_t v) { w_.U32(v); return *this; }
  Bytes& I32(std::int32_t v) { w_.I32(v); return *this; }
  Bytes& U64(std::uint64_t v) { w_.U64(v); return *this; }
  Bytes& F32(float v) { w_.F32(v); return *this; }
  Bytes& F64(double v) { w_.F64(v); return *this; }
  Bytes& Ascii(std::string_view s) { w_.Text(s); return *this; }
  Bytes& Fixed(std::string_view s, std::size_t n) { w_.FixedString(s, n); return *this; }
  Bytes& Zeros(std::size_t n) { w_.Zeros(n); return *this; }
  Bytes& Raw(const std::vector<std::uint8_t>& b) { w_.Bytes(b); return *this; }
  std::size_t Size() const { return w_.Size(); }
  std::vector<std::uint8_t> Build() const { return w_.Data(); }
  operator std::vector<std::uint8_t>() const { return w_.Data(); }

 private:
  ByteWriter w_;
};

// Asserts that call throws exactly class E (or a subclass) with this code and message.
template <typename E>
void ExpectFailure(const std::function<void()>& call, std::int32_t code, std::string_view message) {
  try {
    call();
    ADD_FAILURE() << "expected a failure with message: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Code(), code);
    EXPECT_EQ(std::string(e.what()), std::string(message));
  } catch (const std::exception& e) {
    ADD_FAILURE() << "wrong failure class; message: " << e.what();
  }
}

// Index of the first differing byte, or -1; for byte-exact writer tests.
std::ptrdiff_t FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
#define EXPECT_SAME_BYTES(a, b) EXPECT_EQ(::vey::test::FirstDifference((a), (b)), -1)

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // Writes a file (creating its folders) and returns its path.
  std::filesystem::path Write(std::string_view relative, std::string_view content) const;
  std::filesystem::path Write(std::string_view relative, const std::vector<std::uint8_t>& content) const;
  std::string Read(std::string_view relative) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ToBytes(std::string_view s);

}  // namespace vey::test
