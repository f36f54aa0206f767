// UERFHandlerDetail: what the archive handler's reader, queue and rebuild
// share: the table sizes, how a file name maps to a resource name and type,
// and the lookup key. Only the handler's own units include it.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "formats/UERFHandler.h"

namespace vey::erf_detail {

constexpr std::string_view kKnownTypes[] = {"ERF ", "MOD ", "HAK ", "SAV ", "RIM "};
constexpr std::uint32_t kERFKeySize = 24;
constexpr std::uint32_t kERFResourceSize = 8;
constexpr std::uint32_t kRIMKeySize = 32;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;

// Names from instruction files may carry either separator.
inline std::string_view FileNameOf(std::string_view path) {
  auto cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The extension with its dot, from the last dot of the file name; empty when none.
inline std::string_view ExtensionOf(std::string_view path) {
  auto name = FileNameOf(path);
  auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

inline std::string_view WithoutExtension(std::string_view fileName) {
  return fileName.substr(0, fileName.size() - ExtensionOf(fileName).size());
}

// The name a queued file gets in the archive ends where its extension first
// occurs ("a.utc.utc" is "a").
inline std::string_view ArchiveBaseName(std::string_view fileName) {
  auto dotExt = ExtensionOf(fileName);
  return dotExt.empty() ? fileName : fileName.substr(0, fileName.find(dotExt));
}

// Lookup key of a resource: lower-cased name and the type's two bytes. The
// suffix has a fixed length, so no name can imitate another key.
inline std::string MakeKey(std::string_view lowerName, int type) {
  std::string key(lowerName);
  key.push_back(static_cast<char>(type & 0xFF));
  key.push_back(static_cast<char>((type >> 8) & 0xFF));
  return key;
}

inline bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

// Today's build stamp: years since 1900 and day of the year from 1.
inline std::pair<std::uint32_t, std::uint32_t> BuildDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {static_cast<std::uint32_t>(local.tm_year), static_cast<std::uint32_t>(local.tm_yday + 1)};
}

}  // namespace vey::erf_detail

namespace vey {

// One resource of the rebuilt archive, where its bytes come from and where
// they go.
struct TERFHandler::OutputEntry {
  const TERF_Resource* loaded = nullptr;  // else copied from source or data
  std::string source;
  const std::vector<std::uint8_t>* data = nullptr;
  TERF_ResRef resRef;
  std::int16_t type = -1;
  std::uint64_t size = 0;
  std::uint64_t offset = 0;
};

}  // namespace vey
