// UPendingSteps: list steps that do nothing yet. Each moves to its own unit
// when it is built.
#include "engine/UVEYPatcher.h"

namespace vey {

void TVEYPatcher::ProcessTLKList() {}
void TVEYPatcher::AppendTalkTable(std::int32_t) {}

void TVEYPatcher::ApplyAddRow(std::string_view) {}
void TVEYPatcher::ApplyChangeRow(std::string_view) {}
void TVEYPatcher::ApplyAddColumn(std::string_view) {}
void TVEYPatcher::ApplyCopyRow(std::string_view) {}
TVEYPatcher::ExclusiveCheck TVEYPatcher::CheckExclusiveColumn(std::string_view, std::string_view) {
  return {};
}
void TVEYPatcher::UpdateExclusiveRow(std::string_view, std::int32_t) {}
bool TVEYPatcher::FindLabelIndexRow(std::int32_t&, std::string_view, std::string_view,
                                    std::string_view) {
  return false;
}

}  // namespace vey
