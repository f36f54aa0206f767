// BuildPaths: the paths of a build file's steps. Every path starts with a
// placeholder for one of two roots, the player's downloads or the game
// folder, and may hold the wildcards `*` and `?` (brackets are ordinary
// characters). Both slash directions occur, even within one file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vey::modlist {

enum class PathRoot { Downloads, Game };

struct BuildPath {
  PathRoot root = PathRoot::Downloads;
  std::vector<std::string> parts;  // below the root; "." left out

  bool HasWildcard() const;
};

// The path, or nothing with why in problem: no placeholder (an absolute or
// bare path), a "..", a drive letter or control character, or a game path
// into the installer's own journal folder.
std::optional<BuildPath> ParseBuildPath(std::string_view text, std::string& problem);

// `*` (any run of characters, none included) and `?` (one character), letter
// case ignored; nothing else is special.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// "name.ext" -> "name": the name an archive is unpacked under.
std::string WithoutExtension(std::string_view fileName);

}  // namespace vey::modlist
