// TestSupport: temporary folders and byte comparison.
#include "support/TestSupport.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace vey::test {

std::ptrdiff_t FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<std::ptrdiff_t>(i);
  return a.size() == b.size() ? -1 : static_cast<std::ptrdiff_t>(n);
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vey-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders left by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(std::string_view relative, std::string_view content) const {
  auto p = path_ / std::filesystem::path(std::string(relative));
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return p;
}

std::filesystem::path TempDir::Write(std::string_view relative,
                                     const std::vector<std::uint8_t>& content) const {
  return Write(relative, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
}

std::string TempDir::Read(std::string_view relative) const {
  std::ifstream in(path_ / std::filesystem::path(std::string(relative)), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::uint8_t> ToBytes(std::string_view s) {
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace vey::test
