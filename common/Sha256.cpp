// Sha256: OpenSSL's EVP digest behind a small RAII object.
#include "common/Sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "common/FileIO.h"

namespace vey {

namespace {

// Fetched once per process. The library's default start-up reads its
// configuration file and builds its tables of every cipher, which costs more
// than hashing a small mod archive; a digest needs neither.
const EVP_MD* Sha256Method() {
  static const EVP_MD* const method = [] {
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ADD_ALL_CIPHERS |
                            OPENSSL_INIT_NO_ADD_ALL_DIGESTS,
                        nullptr);
    return EVP_MD_fetch(nullptr, "SHA256", nullptr);
  }();
  return method;
}

}  // namespace

struct Sha256::Context {
  EVP_MD_CTX* ctx = nullptr;
  ~Context() { EVP_MD_CTX_free(ctx); }
  void Start() {
    const EVP_MD* method = Sha256Method();
    if (!method || EVP_DigestInit_ex(ctx, method, nullptr) != 1)
      throw std::runtime_error("SHA-256 is not available");
  }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  context_->ctx = EVP_MD_CTX_new();
  if (!context_->ctx) throw std::bad_alloc();
  context_->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) EVP_DigestUpdate(context_->ctx, bytes.data(), bytes.size());
}

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->ctx, digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  context_->Start();
  return text;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  Sha256 h;
  h.Update(bytes);
  return h.HexDigest();
}

std::string Sha256OfFile(const std::filesystem::path& path) {
  InputFile in(path);
  Sha256 h;
  std::vector<std::uint8_t> buffer(std::min<std::uint64_t>(in.Size(), 1 << 20));
  for (std::uint64_t at = 0; at < in.Size();) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), in.Size() - at));
    in.ReadAt(at, std::span<std::uint8_t>(buffer.data(), n));
    h.Update(std::span<const std::uint8_t>(buffer.data(), n));
    at += n;
  }
  return h.HexDigest();
}

}  // namespace vey
