// Fuzz harness for the token memory: arbitrary keys, sources and values
// against an arbitrary table must store and substitute without crashing, and
// the memory never grows past its slot limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run/UVEYPatcher.h"
#include "fuzz/QuietPlatform.h"

namespace {

using vey::fuzz::Quiet;

}  // namespace

// Input: a 2-byte table length, the table bytes, then NUL-separated texts
// taken three at a time as (operation and token, source, value).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Quiet quiet;
  static vey::platform::GameFileSystem files;
  static vey::PatcherPlatform bundle{quiet, quiet, quiet, quiet, quiet, files};
  static vey::TVEYPatcher engine("none.ini", bundle, "/nonexistent-fuzz-app/", "");
  if (size < 2) return 0;
  std::size_t tableSize = data[0] | (std::size_t{data[1]} << 8);
  if (tableSize > size - 2) tableSize = size - 2;
  engine.Memory.clear();
  engine.StrRefTable = {{1, 10}, {2, 20}, {1, 30}};
  try {
    engine.TableFile.LoadFromBytes({data + 2, tableSize}, "fuzz.2da");
  } catch (const vey::EDead&) {
  }
  std::vector<std::string> texts;
  std::string current;
  for (std::size_t i = 2 + tableSize; i < size; ++i) {
    if (data[i] == 0) {
      texts.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  texts.push_back(current);
  for (std::size_t i = 0; i + 2 < texts.size(); i += 3) {
    const std::string& token = texts[i];
    std::int32_t kind = token.empty() ? 1 : (1 << (static_cast<unsigned char>(token[0]) % 5));
    std::int32_t index = texts[i + 2].empty() ? -1 : static_cast<unsigned char>(texts[i + 2][0]) - 1;
    try {
      engine.StoreMemoryToken(token, texts[i + 1], texts[i + 2], index, kind);
    } catch (const vey::EDead&) {
      // Only a table that did not load may refuse the lookups.
      if (engine.TableFile.Loaded()) std::abort();
    }
    engine.SubstituteTokens(texts[i + 1]);
    engine.ResolveMemoryToken(texts[i + 2]);
    if (engine.IsStrRefToken(token)) engine.ResolveStrRefToken(token);
    if (engine.Memory.size() > static_cast<std::size_t>(vey::kMaxMemorySlots)) std::abort();
  }
  return 0;
}
