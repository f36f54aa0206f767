// UPendingSteps: list steps that do nothing yet. Each moves to its own unit
// when it is built.
#include "engine/UVEYPatcher.h"

namespace vey {

void TVEYPatcher::ProcessInstallList() {}
void TVEYPatcher::CheckOverride(std::string_view, std::string_view, std::string_view, bool) {}

void TVEYPatcher::ProcessSSFList() {}
void TVEYPatcher::ProcessHACKList() {}
void TVEYPatcher::PatchBinaryFile(std::string_view) {}
void TVEYPatcher::ProcessCompileList() {}
TCompileFileInfo TVEYPatcher::PrepareScript(const std::string& path) {
  TCompileFileInfo info;
  info.ScriptPath = path;
  return info;
}

}  // namespace vey
