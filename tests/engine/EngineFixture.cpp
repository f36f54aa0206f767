// EngineFixture: folders, fakes and log capture for the engine tests.
#include "EngineFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vey::test {

std::vector<std::uint8_t> TwoDA(const std::vector<std::string>& columns,
                                const std::vector<std::vector<std::string>>& rows) {
  Bytes b;
  b.Ascii("2DA V2.b").U8(0x0A);
  for (const auto& c : columns) b.Ascii(c).U8('\t');
  b.U8(0).I32(static_cast<std::int32_t>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) b.Ascii(std::to_string(r)).U8('\t');
  std::string data;
  std::vector<std::uint16_t> offsets;
  for (const auto& row : rows)
    for (std::size_t c = 0; c < columns.size(); ++c) {
      offsets.push_back(static_cast<std::uint16_t>(data.size()));
      std::string cell = c < row.size() && row[c] != "****" ? row[c] : "";
      data += cell;
      data += '\0';
    }
  for (auto o : offsets) b.U16(o);
  b.U16(static_cast<std::uint16_t>(data.size()));
  b.Ascii(data);
  return b.Build();
}

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
