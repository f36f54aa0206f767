// ModListPlace: where a list's sources may lie. A list is often someone
// else's file; its sources stay inside the list's own folder, or inside a
// folder the person names as trusted, so that a shared list cannot make the
// installer copy the person's private files into the game.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vey::cli {

// Why source (as written in the list, and resolved against the list's
// folder) may not be used, or nothing. It must lie, links followed, inside
// listFolder or one of trusted, and no folder between that root and it (nor
// itself) may be hidden (a name starting with "."). A source written
// starting with "~" is refused: the list is not a shell, and the person's
// home is never a list's to reach.
std::optional<std::string> SourcePlaceProblem(const std::string& sourceText, const std::filesystem::path& listFolder,
                                              const std::vector<std::filesystem::path>& trusted);

}  // namespace vey::cli
