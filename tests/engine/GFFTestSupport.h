// GFFTestSupport: an engine fixture with a game and a mod for the GFF step,
// documents built field by field, and reading saved documents back.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "EngineFixture.h"
#include "support/GameFiles.h"

namespace vey::test {

// "[Settings]" of an installer run that logs everything.
inline constexpr std::string_view kGffInstaller = "[Settings]\nInstallerMode=1\nLogLevel=4\n";

// A creature template: Tag, Int Value, an item list of two structs with a Tag
// each, a localized Name (StrRef 7, language 0 "Old") and an Orientation.
std::vector<std::uint8_t> CreatureGff();

class GffFixture : public EngineFixture {
 public:
  GffFixture() { MakeGame(); }
  // The instruction file: the installer settings followed by text.
  void Instructions(std::string_view text) { Ini(std::string(kGffInstaller) + std::string(text)); }
  void ModFile(const std::string& name, const std::vector<std::uint8_t>& bytes) { WriteFile(Data() + name, bytes); }
  void OverrideFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    WriteFile(Game() + "override/" + name, bytes);
  }
  // The document saved at a path below the game folder.
  std::unique_ptr<TGFFFile> Saved(const std::string& relative) const;
  // The document stored in an archive below the game folder.
  std::unique_ptr<TGFFFile> InArchive(const std::string& archive, std::string_view fileName) const;
  // Lines that contain text, in log order.
  std::vector<std::string> Containing(std::string_view text) const;
  // True when the lines containing each of the texts come in this order.
  bool InOrder(const std::vector<std::string>& texts) const;
};

}  // namespace vey::test
