// UNCSHack: the HACKList, which writes 32-bit integers at byte offsets of
// compiled scripts (big-endian, their byte code's order) or other files.
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {
namespace {

std::int32_t ToInt32(std::string_view digits) {
  if (auto value = ParseInt32(digits)) return *value;
  throw EConvertError(FormatMsg("'%s' is not a valid integer value", {digits}));
}

void PutInt32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int32_t value,
              bool bigEndian) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4);
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) {
    const unsigned shift = bigEndian ? 8 * (3 - i) : 8 * i;
    bytes[offset + i] = static_cast<std::uint8_t>(bits >> shift);
  }
}

}  // namespace

void TVEYPatcher::ProcessHACKList() {
  const std::vector<std::string> keys = IniFile().ReadSection("HACKList");
  if (keys.empty()) return;
  LogMessage("Modifying binary files...", LogKind::Install);
  for (const std::string& key : keys) {
    const std::string file = IniFile().ReadString("HACKList", key, "");
    if (file.size() <= 4) continue;
    SetCurrentFile(file);
    LogMessage(FormatMsg("Modifying binary file \"%s\"...", {file}), LogKind::Debug);
    PatchBinaryFile(file);
  }
}

void TVEYPatcher::PatchBinaryFile(std::string_view fileName) {
  const std::vector<std::string> keys = IniFile().ReadSection(fileName);
  if (keys.empty()) {
    LogMessage(FormatMsg("No offsets found for file %s, skipping...", {fileName}),
               LogKind::Warning);
    return;
  }
  // The flag counts only as the first key of a section that also holds patches.
  const bool replace = keys.size() > 1 && EqualsNoCase(keys[0], "replacefile") &&
                       IniFile().ReadBool(fileName, keys[0], false);
  if (!FileHandler.LocateFile(fileName, fkModFile, "", replace)) return;
  const std::string path = FileHandler.GetFilePath();
  if (FileHandler.BackupFile())
    LogMessage(FormatMsg("Saving unaltered backup copy of %s in %s.",
                         {FileHandler.FileName, PathText(FileHandler.BackupFolder())}),
               LogKind::Install);
  const bool bigEndian = EndsWithNoCase(FileHandler.FileName, "ncs");

  // Patched in memory and written whole; what was patched before a failure
  // is still written, as an in-place edit would have left it.
  std::vector<std::uint8_t> bytes = Files().ReadFile(path);
  auto finish = [&] {
    Files().WriteFile(path, bytes);
    AdvanceProgress(1);
  };
  try {
    for (const std::string& key : keys) {
      if (EqualsNoCase(key, "replacefile") || StartsWithNoCase(key, "!sourcefile") ||
          EqualsNoCase(key, "!saveas"))
        continue;
      const std::string value = SubstituteTokens(IniFile().ReadString(fileName, key, ""));
      if (!IsDigits(key) || !IsDigits(value)) {
        LogMessage(FormatMsg("Invalid offset(%s) or value(%s) modifier for file %s. Skipping...",
                             {key, value, fileName}),
                   LogKind::Warning);
        continue;
      }
      const std::int32_t offset = ToInt32(key);
      const std::int32_t number = ToInt32(value);
      // An offset at or past the end patches nothing, which the mod author
      // needs to hear of; one within the last three bytes lengthens the file.
      if (static_cast<std::size_t>(offset) >= bytes.size()) {
        LogMessage(FormatMsg("Unable to set value at offset \"%s\" of file %s: the file ends at "
                             "byte %s. Skipping...",
                             {key, fileName, IntToStr(static_cast<std::int64_t>(bytes.size()))}),
                   LogKind::Error);
        continue;
      }
      PutInt32(bytes, static_cast<std::size_t>(offset), number, bigEndian);
      LogMessage(FormatMsg("Modifying file %s, setting value at offset \"%s\" to \"%s\".",
                           {fileName, key, value}),
                 LogKind::Debug);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace vey
