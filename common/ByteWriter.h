// ByteWriter: little-endian appends into a growing buffer, with placeholders
// that are filled in once the value is known (offsets, sizes).
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vey {

class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(std::size_t reserve) { buf_.reserve(reserve); }

  std::size_t Size() const { return buf_.size(); }
  const std::vector<std::uint8_t>& Data() const { return buf_; }
  std::vector<std::uint8_t> Take() { return std::move(buf_); }
  void Reserve(std::size_t n) { buf_.reserve(n); }

  void U8(std::uint8_t v) { buf_.push_back(v); }
  void U16(std::uint16_t v) {
    buf_.push_back(static_cast<std::uint8_t>(v));
    buf_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) buf_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void I64(std::int64_t v) { U64(static_cast<std::uint64_t>(v)); }
  void F32(float v) { U32(std::bit_cast<std::uint32_t>(v)); }
  void F64(double v) { U64(std::bit_cast<std::uint64_t>(v)); }

  void Bytes(std::span<const std::uint8_t> b) { buf_.insert(buf_.end(), b.begin(), b.end()); }
  void Text(std::string_view s) { buf_.insert(buf_.end(), s.begin(), s.end()); }
  // s cut or padded with NULs to exactly n bytes.
  void FixedString(std::string_view s, std::size_t n) {
    std::size_t k = s.size() < n ? s.size() : n;
    buf_.insert(buf_.end(), s.begin(), s.begin() + k);
    buf_.insert(buf_.end(), n - k, 0);
  }
  void Zeros(std::size_t n) { buf_.insert(buf_.end(), n, 0); }

  // Reserves 4 bytes and returns their position for PutU32At.
  std::size_t Placeholder32() {
    std::size_t at = buf_.size();
    U32(0);
    return at;
  }
  void PutU16At(std::size_t at, std::uint16_t v) {
    buf_.at(at + 1);
    buf_[at] = static_cast<std::uint8_t>(v);
    buf_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void PutU32At(std::size_t at, std::uint32_t v) {
    buf_.at(at + 3);
    for (int i = 0; i < 4; ++i) buf_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

 private:
  std::vector<std::uint8_t> buf_;
};

}  // namespace vey
