// Fuzzes path resolution: whatever the text, a path that is not refused must
// stay inside its base folder, and IsContained must agree with Resolve.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/VeyException.h"
#include "platform/GameFileSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // A base that does not exist: only the text decides the result.
  static const std::filesystem::path base = "/nonexistent-vey-fuzz/game";
  vey::platform::GameFileSystem fs;
  bool contained = vey::platform::GameFileSystem::IsContained(text);
  try {
    std::filesystem::path p = fs.Resolve(base, text);
    if (!contained) std::abort();
    std::filesystem::path rel = p.lexically_normal().lexically_relative(base);
    if (rel.empty() || *rel.begin() == "..") std::abort();
  } catch (const vey::EPathError&) {
    if (contained) std::abort();
  }
  return 0;
}
