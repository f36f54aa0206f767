// ArchiveNames: the checks on the names an archive gives its entries and the
// targets of its links, apart from any reading so that they can be tried alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vey::platform {

// The components of an entry's name ('/' or '\' between them, "." and empty
// ones dropped), or nothing when the name is refused: empty, absolute, with a
// drive letter, a ".." component or a control character.
std::optional<std::vector<std::string>> SplitEntryName(std::string_view name);
// Why SplitEntryName refuses name, in words for a message.
std::string NameRefusal(std::string_view name);
// The name with control characters shown as "\xNN", for messages.
std::string PrintableName(std::string_view name);
// True when a link at entry (its components) pointing at target resolves
// inside the archive's root. ".." is taken only at the start of target: after
// a name, which might itself be a link, its meaning depends on that link.
bool LinkStaysInside(const std::vector<std::string>& entry, std::string_view target);

// A zip entry's name as UTF-8: as it is when its bytes are UTF-8 (a name the
// archive marks as UTF-8 always is), else read as code page 437, the one zip
// tools without that mark have always written.
std::string ZipNameText(std::string_view raw);

}  // namespace vey::platform
