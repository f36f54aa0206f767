// ModTree: what a build's steps see below one root, the player's downloads
// (with each unpacked archive shown as a folder named after it) or the game
// folder. The downloads, the cache and the game are never changed by what a
// step does to the mod's side: a deleted or moved file is only hidden from
// the mod's later steps, a renamed one only shown under its new name.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vey::modlist {

struct TreeItem {
  std::vector<std::string> parts;  // below the root, in the spelling found
  std::filesystem::path real;      // where it is on disk
  bool folder = false;
};

class ModTree {
 public:
  // The journal folder is left out of a game folder's tree.
  explicit ModTree(std::filesystem::path root, bool gameFolder = false);

  // Shows real (a folder or file) at parts, in place of anything there.
  void Show(const std::vector<std::string>& parts, std::filesystem::path real, bool folder);
  // Hides parts (and everything below it) from later globs.
  void Hide(const std::vector<std::string>& parts);

  // Every item whose path matches the pattern component by component (`*`
  // and `?` within a component), in name order. A match that is a link, or
  // a link on the way to one, is a problem: nothing is matched then.
  std::vector<TreeItem> Glob(const std::vector<std::string>& pattern, std::string& problem) const;

  const std::filesystem::path& Root() const { return root_; }

 private:
  struct Child {
    TreeItem item;
    bool link = false;
  };
  std::vector<Child> Children(const TreeItem& folder) const;
  bool Hidden(const std::vector<std::string>& parts) const;

  std::filesystem::path root_;
  bool game_ = false;
  std::map<std::string, TreeItem> shown_;  // by folded path
  std::vector<std::string> hidden_;        // folded paths
};

}  // namespace vey::modlist
