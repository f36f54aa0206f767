// Fuzz harness for the 2DA modifiers: an arbitrary table and arbitrary
// modifier sections must apply without crashing, fail only with the system's
// own failures, and leave a table that still saves.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileIO.h"
#include "engine/run/UVEYPatcher.h"
#include "fuzz/QuietPlatform.h"

namespace {

using vey::fuzz::Quiet;

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() / ("fuzz_2da_modifiers_" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

template <typename Call>
void Guarded(Call call) {
  try {
    call();
  } catch (const vey::Exception&) {
  }
}

}  // namespace

// Input: a 2-byte table length, the table bytes, then the instruction-file
// text whose sections "a" to "h" are applied, two of each modifier.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Quiet quiet;
  static vey::platform::GameFileSystem files;
  static vey::PatcherPlatform bundle{quiet, quiet, quiet, quiet, quiet, files};
  static vey::TVEYPatcher engine("changes.ini", bundle, Folder().string() + "/", Folder().string() + "/");
  if (size < 2) return 0;
  std::size_t tableSize = data[0] | (std::size_t{data[1]} << 8);
  if (tableSize > size - 2) tableSize = size - 2;
  // A new file each time: the reader notices the replacement by its identity.
  vey::WriteFileAtomic(Folder() / "changes.ini", std::span(data + 2 + tableSize, size - 2 - tableSize));
  try {
    engine.TableFile.LoadFromBytes(std::span(data + 2, tableSize));
  } catch (const vey::Exception&) {
    return 0;
  }
  engine.Memory.clear();
  engine.StrRefTable = {{1, 5}, {2, 70000}};
  engine.SetCurrentFile("fuzz.2da");
  Guarded([&] { engine.ApplyAddRow("a"); });
  Guarded([&] { engine.ApplyChangeRow("b"); });
  Guarded([&] { engine.ApplyAddColumn("c"); });
  Guarded([&] { engine.ApplyCopyRow("d"); });
  Guarded([&] { engine.ApplyCopyRow("e"); });
  Guarded([&] { engine.ApplyAddColumn("f"); });
  Guarded([&] { engine.ApplyChangeRow("g"); });
  Guarded([&] { engine.ApplyAddRow("h"); });
  Guarded([&] { (void)engine.TableFile.SaveToBytes(); });
  if (engine.Memory.size() > static_cast<std::size_t>(vey::kMaxMemorySlots)) std::abort();
  return 0;
}
