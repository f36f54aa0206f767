// Fuzz harness for script preparation: any source text is rewritten line by
// line with its bracketed tokens replaced, keeps its line count, ends every
// line with CR LF, and leaves the unchanged source in the work folder.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run/UVEYPatcher.h"
#include "fuzz/QuietPlatform.h"

namespace {

using vey::fuzz::Quiet;

std::size_t CountLines(std::string_view text) {
  std::size_t lines = 0, start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    ++lines;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines + (start < text.size() ? 1 : 0);
}

std::string DataFolder() {
  char pattern[] = "/tmp/vey-fuzz-scripts-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  if (!made) std::abort();
  return std::string(made) + "/";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Quiet quiet;
  static vey::platform::GameFileSystem files;
  static vey::PatcherPlatform bundle{quiet, quiet, quiet, quiet, quiet, files};
  static const std::string folder = DataFolder();
  static vey::TVEYPatcher engine("none.ini", bundle, folder, folder);
  // Slot texts that look like tokens themselves must not loop or be
  // substituted into something the source did not ask for.
  engine.Memory = {"7", "#2DAMEMORY1#", "", "#StrRef1#"};
  engine.StrRefTable = {{1, 10}, {12, -5}, {1, 99}};

  const std::string path = folder + "s.nss";
  files.WriteFile(path, {data, size});
  vey::TCompileFileInfo info = engine.PrepareScript(path);
  const std::vector<std::uint8_t> copy = files.ReadFile(info.SourceCopyPath);
  if (copy != std::vector<std::uint8_t>(data, data + size)) std::abort();
  const std::vector<std::uint8_t> out = files.ReadFile(path);
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  const std::string_view processed(reinterpret_cast<const char*>(out.data()), out.size());
  if (CountLines(processed) != CountLines(source)) std::abort();
  if (!processed.empty() && !processed.ends_with("\r\n")) std::abort();
  return 0;
}
