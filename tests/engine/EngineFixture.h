// EngineFixture: an installer folder, a data folder and a game folder in a
// temporary folder, fake dialogs, and an engine whose log lines are collected
// in their tagged plain-text form.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run/UVEYPatcher.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test {

// The smallest instruction file: simple mode, the most detailed log.
inline constexpr std::string_view kInstaller = "[Settings]\nInstallerMode=1\nLogLevel=4\n";
// The same with one script to compile.
inline constexpr std::string_view kCompileInstaller = "[Settings]\nInstallerMode=1\nLogLevel=4\n[CompileList]\nS0=a.nss\n";

class EngineFixture {
 public:
  EngineFixture();

  // Paths with a trailing '/'.
  std::string App() const { return (dir.Path() / "mod").string() + "/"; }
  std::string Data() const { return App() + "veypatchdata/"; }
  std::string Game() const { return (dir.Path() / "game").string() + "/"; }

  // The instruction file "changes.ini" in the data folder.
  void Ini(std::string_view text);
  // A game folder with dialog.tlk (and an override folder when asked).
  void MakeGame(bool withOverride = true);
  void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) const;
  std::string ReadFile(const std::string& path) const;
  bool Exists(const std::string& path) const;

  // A new engine on the current instruction file; the chooser answers with
  // the game folder once unless answers were queued.
  TVEYPatcher& Engine();
  TPatchFileHandler& Handler() { return Engine().FileHandler; }

  // Lines containing text, and whether one does.
  bool Logged(std::string_view taggedLine) const;
  std::size_t CountContaining(std::string_view text) const;

  TempDir dir;
  FakePlatform fake;
  // Given to the engine by every Engine() call; no sandbox unless a test
  // asks for one, so that results do not depend on the machine.
  TCompilerSettings compiler{"", false};
  std::vector<std::string> lines;  // " [Kind] \t" + text

 private:
  std::unique_ptr<TVEYPatcher> engine_;
};

}  // namespace vey::test
