// USSFFile: TSSFFile, a version 1.1 soundset (40 StrRefs, one per occasion,
// set by label), and its failure ESSFError.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/VeyException.h"

namespace vey {

VEY_DECLARE_FAILURE(ESSFError);

class TSSFFile {
 public:
  static constexpr int kEntries = 40;
  // Size of every file this class writes: header plus the 40 values.
  static constexpr std::size_t kFileSize = 12 + 4 * kEntries;

  TSSFFile();

  // Every value to -1 (no sound), no file name, not loaded.
  void Clear();
  void LoadFromFile(const std::filesystem::path& path);
  // fileName is used in messages and as the default save target.
  void LoadFromBytes(std::span<const std::uint8_t> data, const std::filesystem::path& fileName = {});
  // An empty path means FileName(); the target is replaced in one rename.
  void SaveToFile(const std::filesystem::path& path = {});
  std::vector<std::uint8_t> SaveToBytes() const;

  // Sets every entry whose label matches, ignoring ASCII letter case.
  void SetEntry(std::string_view label, std::int32_t value);

  // Entries are numbered 1 to 40, as in the label table.
  const std::string& Label(int entry) const { return labels_.at(static_cast<std::size_t>(entry - 1)); }
  std::int32_t Value(int entry) const { return values_.at(static_cast<std::size_t>(entry - 1)); }
  const std::array<std::string, kEntries>& Labels() const { return labels_; }
  const std::array<std::int32_t, kEntries>& Values() const { return values_; }
  const std::filesystem::path& FileName() const { return fileName_; }
  bool Loaded() const { return loaded_; }

 private:
  std::array<std::string, kEntries> labels_;
  std::array<std::string, kEntries> lowerLabels_;
  std::array<std::int32_t, kEntries> values_{};
  std::filesystem::path fileName_;
  bool loaded_ = false;
};

}  // namespace vey
