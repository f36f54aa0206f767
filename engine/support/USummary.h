// USummary: the configuration summary of an instruction file, the plain-text
// overview of its settings and of every file each list will touch. The window
// and the command line show the same lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/UQK_IniFile.h"
#include "platform/Platform.h"

namespace vey {

// The summary's lines in Windows-1252, without line breaks. iniName and
// infoName are shown as given; registry answers "Install location" when the
// instruction file asks for a registry lookup (nullptr reads as empty). A
// missing instruction file gives the summary of the defaults.
std::vector<std::string> BuildSummary(const TQK_Inifile& ini, std::string_view iniName, std::string_view infoName,
                                      platform::IRegistry* registry);

}  // namespace vey
