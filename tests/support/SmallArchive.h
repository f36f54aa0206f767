// SmallArchive: writes small ERF-layout and RIM archives for engine tests and
// reads back what an archive holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vey::test {

struct StoredResource {
  std::string name;  // resource name without extension
  std::string extension;
  std::string data;
};

// fileType "MOD ", "ERF ", ... for the ERF layout, "RIM " for a RIM.
std::vector<std::uint8_t> MakeArchive(const std::vector<StoredResource>& entries,
                                      std::string_view fileType = "MOD ");

// "name.ext" (name as stored) -> data, for every resource of the archive.
std::map<std::string, std::string> ArchiveContents(const std::filesystem::path& path);

}  // namespace vey::test
