// EngineFixture: folders, fakes and log capture for the engine tests.
#include "EngineFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vey::test {

EngineFixture::EngineFixture() { std::filesystem::create_directories(Data()); }

void EngineFixture::Ini(std::string_view text) { dir.Write("mod/veypatchdata/changes.ini", text); }

void EngineFixture::MakeGame(bool withOverride) {
  dir.Write("game/dialog.tlk", "TLK ");
  if (withOverride) std::filesystem::create_directories(Game() + "override");
}

void EngineFixture::WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string EngineFixture::ReadFile(const std::string& path) const {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool EngineFixture::Exists(const std::string& path) const { return std::filesystem::exists(path); }

TVEYPatcher& EngineFixture::Engine() {
  if (!engine_) {
    if (fake.folderChooser.answers.empty()) fake.folderChooser.answers.push_back(Game());
    engine_ = std::make_unique<TVEYPatcher>("changes.ini", fake.Bundle(), App(), Data());
    engine_->OnLogLine = [this](std::string_view line, const platform::TextAttributes&) {
      lines.emplace_back(line);
    };
  }
  engine_->Compiler = compiler;
  return *engine_;
}

bool EngineFixture::Logged(std::string_view taggedLine) const {
  return std::find(lines.begin(), lines.end(), taggedLine) != lines.end();
}

std::size_t EngineFixture::CountContaining(std::string_view text) const {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

}  // namespace vey::test
