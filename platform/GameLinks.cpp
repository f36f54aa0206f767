// GameLinks: walking a game path component by component, links resolved.
#include "platform/GameLinks.h"

#include <sys/stat.h>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace {

bool Inside(const fs::path& path, const fs::path& root) {
  const std::string p = path.native(), r = root.native();
  return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/');
}

}  // namespace

std::optional<std::string> LinkOutOfGame(const fs::path& gameFolder, std::string_view relative) {
  std::error_code ec;
  const fs::path game = fs::weakly_canonical(fs::absolute(gameFolder, ec), ec);
  if (ec) return std::nullopt;  // no game folder: nothing to lead out of
  fs::path at = gameFolder;
  std::size_t start = 0, depth = 0;
  while (start <= relative.size()) {
    const std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) break;  // the last component is not followed
    const std::string part(relative.substr(start, end - start));
    start = end + 1;
    if (part.empty()) continue;
    at /= part;
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) return std::nullopt;  // made anew inside, when at all
    if (S_ISLNK(st.st_mode)) {
      const fs::path real = fs::weakly_canonical(at, ec);
      const bool dataFolder = depth == 0 && !ec && EqualsNoCase(real.filename().string(), part);
      if (ec || (!Inside(real, game) && !dataFolder))
        return FormatMsg("\"%s\" leads through the link \"%s\" to \"%s\", outside the game folder; nothing is "
                         "written there on a record's or a build's word. Remove the link (or the record), then try "
                         "again",
                         {PathText(std::string(relative)), PathText(at), PathText(ec ? fs::path("?") : real)});
    }
    ++depth;
  }
  return std::nullopt;
}

}  // namespace vey::platform
