// GameTree: a game folder's files and folders as one comparable value.
#include "support/GameTree.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace vey::test {

Tree Snapshot(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::follow_directory_symlink);
       it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (rel == ".veypatcher") {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    ::stat(it->path().c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      tree[rel + "/"] = "folder";
      continue;
    }
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    tree[rel] = std::to_string(st.st_mode & 07777) + ":" + bytes.str();
  }
  return tree;
}

}  // namespace vey::test
