// GameTree: every file (mode and bytes) and folder below a game folder, the
// journal aside, for comparing a game before and after.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace vey::test {

using Tree = std::map<std::string, std::string>;
// Folder links (an override folder on another disk) are followed.
Tree Snapshot(const std::filesystem::path& root);

}  // namespace vey::test
