// USSFFile: reading, changing and writing soundsets.
#include "formats/USSFFile.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileIO.h"
#include "common/Win1252.h"

namespace vey {
namespace {

constexpr std::string_view kFileType = "SSF ";
constexpr std::string_view kVersion = "V1.1";
constexpr std::uint32_t kTableOffset = 12;

constexpr std::array<const char*, TSSFFile::kEntries> kLabels = {
    "Battlecry 1",   "Battlecry 2",    "Battlecry 3",  "Battlecry 4",     "Battlecry 5",
    "Battlecry 6",   "Selected 1",     "Selected 2",   "Selected 3",      "Attack 1",
    "Attack 2",      "Attack 3",       "Pain 1",       "Pain 2",          "Low health",
    "Death",         "Critical hit",   "Target immune", "Place mine",     "Disarm mine",
    "Stealth on",    "Search",         "Pick lock start", "Pick lock fail", "Pick lock done",
    "Leave party",   "Rejoin party",   "Poisoned",     "Unknown(29)",     "Unknown(30)",
    "Unknown(31)",   "Unknown(32)",    "Unknown(33)",  "Unknown(34)",     "Unknown(35)",
    "Unknown(36)",   "Unknown(37)",    "Unknown(38)",  "Unknown(39)",     "Unknown(40)"};

}  // namespace

TSSFFile::TSSFFile() {
  for (int i = 0; i < kEntries; ++i) {
    labels_[i] = kLabels[i];
    lowerLabels_[i] = AsciiLowerCopy(labels_[i]);
  }
  Clear();
}

void TSSFFile::Clear() {
  values_.fill(-1);
  fileName_.clear();
  loaded_ = false;
}

void TSSFFile::LoadFromFile(const std::filesystem::path& path) {
  Clear();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ESSFError("Selected file \"" + path.string() + "\" does not exist! Unable to load it.", 5);
  fileName_ = path;
  std::vector<std::uint8_t> data = ReadWholeFile(path);
  LoadFromBytes(data, path);
}

void TSSFFile::LoadFromBytes(std::span<const std::uint8_t> data, const std::filesystem::path& fileName) {
  Clear();
  fileName_ = fileName;
  auto text = [&](std::size_t at) {
    return data.size() >= at + 4 ? std::string_view(reinterpret_cast<const char*>(data.data()) + at, 4)
                                 : std::string_view();
  };
  if (text(0) != kFileType || text(4) != kVersion || data.size() < 12)
    throw ESSFError("Selected file \"" + fileName_.string() + "\" is not a valid SSF v1.1 file!", 1);
  // The table may start anywhere, but all of it must be in the file: a
  // soundset cut short would otherwise be saved back with entries lost.
  std::uint64_t at = LoadU32(data.data() + 8);
  if (at + 4ull * kEntries > data.size())
    throw ESSFError("Selected file \"" + fileName_.string() +
                        "\" is not a valid SSF v1.1 file! Its entry table ends past the end of the file.",
                    1);
  for (auto& value : values_) {
    value = static_cast<std::int32_t>(LoadU32(data.data() + at));
    at += 4;
  }
  loaded_ = true;
}

void TSSFFile::SaveToFile(const std::filesystem::path& path) {
  if (!loaded_) throw ESSFError("No file has been loaded! Unable to save.", 6);
  if (!path.empty()) fileName_ = path;
  WriteFileAtomic(fileName_, SaveToBytes());
}

std::vector<std::uint8_t> TSSFFile::SaveToBytes() const {
  if (!loaded_) throw ESSFError("No file has been loaded! Unable to save.", 6);
  ByteWriter w(kFileSize);
  w.Text(kFileType);
  w.Text(kVersion);
  w.U32(kTableOffset);
  for (std::int32_t v : values_) w.I32(v);
  return w.Take();
}

void TSSFFile::SetEntry(std::string_view label, std::int32_t value) {
  std::string wanted = AsciiLowerCopy(label);
  bool found = false;
  for (int i = 0; i < kEntries; ++i) {
    if (lowerLabels_[i] == wanted) {
      values_[i] = value;
      found = true;
    }
  }
  if (!found)
    throw ESSFError("Unable to change value in SSF file, label \"" + std::string(label) +
                        "\" is not a valid entry label!",
                    2);
}

}  // namespace vey
