// QuietPlatform: platform answers for fuzz harnesses that drive the engine:
// every dialog cancels, every question says no, nothing is shown.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace vey::fuzz {

struct Quiet : vey::platform::IOpenDialog,
               vey::platform::IFolderChooser,
               vey::platform::IRegistry,
               vey::platform::IEventPump,
               vey::platform::IMessageBoxes {
  bool Execute() override { return false; }
  std::string BrowseForFolder(std::string_view, unsigned) override { return {}; }
  std::string ReadString(std::string_view, std::string_view) override { return {}; }
  void ProcessMessages() override {}
  void ShowWarning(std::string_view) override {}
  void ShowInfo(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return false; }
};

}  // namespace vey::fuzz
