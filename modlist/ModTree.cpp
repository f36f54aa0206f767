// ModTree: globbing below a root with shown and hidden items laid over it.
#include "modlist/ModTree.h"

#include <sys/stat.h>

#include <algorithm>

#include "modlist/BuildFile.h"
#include "modlist/BuildPaths.h"
#include "platform/RunRecords.h"

namespace vey::modlist {
namespace fs = std::filesystem;

namespace {

std::string Key(const std::vector<std::string>& parts) {
  std::string key;
  for (const std::string& p : parts) key += FoldCase(p) + '/';
  return key;
}

}  // namespace

ModTree::ModTree(fs::path root, bool gameFolder) : root_(std::move(root)), game_(gameFolder) {}

void ModTree::Show(const std::vector<std::string>& parts, fs::path real, bool folder) {
  const std::string key = Key(parts);
  std::erase_if(hidden_, [&](const std::string& h) { return key.rfind(h, 0) == 0 || h.rfind(key, 0) == 0; });
  shown_[key] = TreeItem{parts, std::move(real), folder};
}

void ModTree::Hide(const std::vector<std::string>& parts) {
  const std::string key = Key(parts);
  std::erase_if(shown_, [&](const auto& entry) { return entry.first.rfind(key, 0) == 0; });
  hidden_.push_back(key);
}

bool ModTree::Hidden(const std::vector<std::string>& parts) const {
  const std::string key = Key(parts);
  return std::any_of(hidden_.begin(), hidden_.end(), [&](const std::string& h) { return key.rfind(h, 0) == 0; });
}

std::vector<ModTree::Child> ModTree::Children(const TreeItem& folder) const {
  std::map<std::string, Child> children;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder.real, ec)) {
    Child child;
    child.item.parts = folder.parts;
    child.item.parts.push_back(entry.path().filename().string());
    child.item.real = entry.path();
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0) continue;
    child.link = S_ISLNK(st.st_mode);
    child.item.folder = S_ISDIR(st.st_mode);
    if (!child.link && !child.item.folder && !S_ISREG(st.st_mode)) continue;  // FIFOs, devices: never a mod's file
    if (game_ && folder.parts.empty() && SameName(child.item.parts.back(), platform::journal::kHomeName)) continue;
    children[Key(child.item.parts)] = std::move(child);
  }
  const std::string parent = Key(folder.parts);
  for (const auto& [key, item] : shown_)
    if (item.parts.size() == folder.parts.size() + 1 && key.rfind(parent, 0) == 0) children[key] = Child{item, false};
  std::vector<Child> list;
  for (auto& [key, child] : children)
    if (!Hidden(child.item.parts)) list.push_back(std::move(child));
  return list;
}

std::vector<TreeItem> ModTree::Glob(const std::vector<std::string>& pattern, std::string& problem) const {
  std::vector<TreeItem> level{TreeItem{{}, root_, true}};
  for (std::size_t depth = 0; depth < pattern.size(); ++depth) {
    std::vector<TreeItem> next;
    for (const TreeItem& folder : level) {
      if (!folder.folder) continue;
      for (Child& child : Children(folder)) {
        if (!WildcardMatch(pattern[depth], child.item.parts.back())) continue;
        if (child.link) {
          problem = "\"" + child.item.real.string() + "\" is a link; a build's step follows no links";
          return {};
        }
        next.push_back(std::move(child.item));
      }
    }
    level = std::move(next);
  }
  if (pattern.empty()) return {};
  return level;
}

}  // namespace vey::modlist
