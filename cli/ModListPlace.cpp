// ModListPlace: the containment check of a list's sources.
#include "cli/ModListPlace.h"

namespace vey::cli {
namespace fs = std::filesystem;
namespace {

// The path with every link resolved (what does not exist yet kept as
// written), or nothing when it cannot be settled.
std::optional<fs::path> Settled(const fs::path& path) {
  std::error_code ec;
  fs::path settled = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) return std::nullopt;
  return settled;
}

// The part of path below root, or nothing when path is not inside root.
std::optional<fs::path> Below(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator
    if (p == path.end() || *p != *r) return std::nullopt;
  }
  fs::path rest;
  for (; p != path.end(); ++p) rest /= *p;
  return rest;
}

std::optional<std::string> Hidden(const fs::path& below) {
  for (const fs::path& part : below) {
    const std::string name = part.string();
    if (name.size() > 1 && name[0] == '.' && name != "..") return name;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SourcePlaceProblem(const std::string& sourceText, const fs::path& listFolder,
                                              const std::vector<fs::path>& trusted) {
  const std::string hint = "; give --allow-source FOLDER to trust a folder that holds it";
  if (!sourceText.empty() && sourceText[0] == '~')
    return "the source \"" + sourceText + "\" starts with \"~\": a list's sources lie in the list's folder" + hint;
  const std::optional<fs::path> source = Settled(listFolder / sourceText);
  if (!source) return "the source \"" + sourceText + "\" cannot be settled" + hint;
  std::vector<fs::path> roots{listFolder};
  roots.insert(roots.end(), trusted.begin(), trusted.end());
  std::optional<std::string> hiddenName;
  for (const fs::path& root : roots) {
    const std::optional<fs::path> settledRoot = Settled(root);
    if (!settledRoot) continue;
    const std::optional<fs::path> below = Below(*source, *settledRoot);
    if (!below) continue;
    const std::optional<std::string> hidden = Hidden(*below);
    if (!hidden) return std::nullopt;
    hiddenName = hidden;
  }
  if (hiddenName)
    return "the source \"" + sourceText + "\" lies in the hidden folder \"" + *hiddenName + "\"" + hint;
  return "the source \"" + sourceText + "\" lies outside the list's folder (it is \"" + source->string() + "\")" + hint;
}

}  // namespace vey::cli
