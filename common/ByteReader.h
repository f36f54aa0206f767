// ByteReader: bounded little-endian reads over a byte span. A read that would
// cross the end throws ReadPastEnd; loaders catch it at their boundary and
// rethrow their own failure class.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>

namespace vey {

class ReadPastEnd : public std::exception {
 public:
  const char* what() const noexcept override { return "read past the end of the data"; }
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }
  std::span<const std::uint8_t> Data() const { return data_; }

  // pos == Size() is allowed (nothing left to read); beyond it throws.
  void Seek(std::size_t pos);
  void Skip(std::size_t n);

  std::uint8_t U8();
  std::uint16_t U16();
  std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
  std::uint32_t U32();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::uint64_t U64();
  std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
  float F32();
  double F64();
  std::optional<std::uint8_t> TryU8();

  // A view of the next n bytes (no copy).
  std::span<const std::uint8_t> Bytes(std::size_t n);
  // The next n bytes as text, cut at the first NUL.
  std::string FixedString(std::size_t n);
  // The next n bytes as text, unchanged.
  std::string String(std::size_t n);

  // True when [offset, offset + length) lies inside the data, without overflow.
  bool Contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }

 private:
  void Need(std::size_t n) const {
    if (n > data_.size() - pos_) throw ReadPastEnd();
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Little-endian decoding of raw bytes (callers have checked the bounds).
inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t LoadU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
}

}  // namespace vey
