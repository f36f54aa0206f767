// Sha256: SHA-256 digests of bytes and of files, by the system's crypto
// library, as lower-case hexadecimal text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace vey {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far; the object starts over afterwards.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string Sha256Hex(std::span<const std::uint8_t> bytes);
// The digest of a file's content, read in pieces (EFOpenError when unreadable).
std::string Sha256OfFile(const std::filesystem::path& path);

}  // namespace vey
