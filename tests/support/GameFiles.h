// GameFiles: small GFF documents and ERF/RIM archives written by tests, and
// reading resources back out of archives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/UGFFFile.h"

namespace vey::test {

// A resource of an archive: its file name ("name.ext") and content.
using ArchiveEntry = std::pair<std::string, std::vector<std::uint8_t>>;

// An ERF-layout ("ERF ", "MOD ", ...) or RIM ("RIM ") archive image.
std::vector<std::uint8_t> MakeArchive(std::string_view fileType, const std::vector<ArchiveEntry>& entries);

// "name.ext" of every resource, in archive order.
std::vector<std::string> ArchiveNames(const std::filesystem::path& archive);
// The content of one resource ("name.ext"); empty when there is none.
std::vector<std::uint8_t> ArchiveResource(const std::filesystem::path& archive, std::string_view fileName);

// A document with a top-level ExoString "Tag" and an Int "Value".
std::vector<std::uint8_t> SimpleGff(std::string_view fileType, std::string_view tag, std::int32_t value = 0);
// A document read from bytes or from a file.
void LoadGff(TGFFFile& doc, const std::vector<std::uint8_t>& bytes);

}  // namespace vey::test
