// GameLinks: whether a path below the game folder leads out of it through a
// link. A game folder may come from anyone (a copy, a backup, a loose-file
// mod unpacked into it), and so may a link in it: what the installer puts
// back or writes on a record's word, and what a build's step names, never
// lands outside the game folder. One kind of link is the person's own
// setup: a data folder at the game's top level kept on another disk
// ("override" -> "/disk2/games/override"), which leads to a folder of its
// own name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vey::platform {

// Nothing when every folder on the way to relative ('/' between components)
// stays inside the game folder or is such a data folder; otherwise why not
// (a clause, without a full stop, for the messages that give it).
// The last component itself is not followed: it is replaced or removed, never
// written through.
std::optional<std::string> LinkOutOfGame(const std::filesystem::path& gameFolder, std::string_view relative);

}  // namespace vey::platform
