// ByteReader: bounded little-endian reads.
#include "common/ByteReader.h"

#include <bit>
#include <cstring>

namespace vey {

void ByteReader::Seek(std::size_t pos) {
  if (pos > data_.size()) throw ReadPastEnd();
  pos_ = pos;
}

void ByteReader::Skip(std::size_t n) {
  Need(n);
  pos_ += n;
}

std::uint8_t ByteReader::U8() {
  Need(1);
  return data_[pos_++];
}

std::optional<std::uint8_t> ByteReader::TryU8() {
  if (pos_ >= data_.size()) return std::nullopt;
  return data_[pos_++];
}

std::uint16_t ByteReader::U16() {
  Need(2);
  auto v = LoadU16(data_.data() + pos_);
  pos_ += 2;
  return v;
}

std::uint32_t ByteReader::U32() {
  Need(4);
  auto v = LoadU32(data_.data() + pos_);
  pos_ += 4;
  return v;
}

std::uint64_t ByteReader::U64() {
  Need(8);
  auto v = LoadU64(data_.data() + pos_);
  pos_ += 8;
  return v;
}

float ByteReader::F32() { return std::bit_cast<float>(U32()); }
double ByteReader::F64() { return std::bit_cast<double>(U64()); }

std::span<const std::uint8_t> ByteReader::Bytes(std::size_t n) {
  Need(n);
  auto s = data_.subspan(pos_, n);
  pos_ += n;
  return s;
}

std::string ByteReader::FixedString(std::size_t n) {
  auto s = Bytes(n);
  const void* nul = std::memchr(s.data(), 0, s.size());
  std::size_t len = nul ? static_cast<const std::uint8_t*>(nul) - s.data() : s.size();
  return std::string(reinterpret_cast<const char*>(s.data()), len);
}

std::string ByteReader::String(std::size_t n) {
  auto s = Bytes(n);
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace vey
