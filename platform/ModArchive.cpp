// ModArchive: mod archives unpacked once into the cache, and the mod
// folders found in them.
#include "platform/ModArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unordered_set>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "platform/ArchiveReading.h"
#include "platform/ModCache.h"

namespace vey::platform {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Refuse(std::int32_t code, const std::string& message) { throw EModArchive(message, code); }

std::string Folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The remembered digest's name: what identifies the download without
// reading it.
std::string MemoName(const fs::path& archive) {
  struct stat st {};
  if (::stat(archive.c_str(), &st) != 0) return {};
  std::error_code ec;
  const std::string key = fs::weakly_canonical(fs::absolute(archive), ec).string() + "\n" + std::to_string(st.st_size) +
                          "\n" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                          "\n" + std::to_string(st.st_ino);
  return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
}

std::optional<std::string> RememberedSha256(const fs::path& archive, const ModCache& cache) {
  const std::string name = MemoName(archive);
  if (name.empty()) return std::nullopt;
  return cache.ReadSum(name);
}

void Remember(const fs::path& archive, const ModCache& cache, const std::string& sha) {
  const std::string name = MemoName(archive);
  if (name.empty()) return;
  try {
    cache.WriteSum(name, sha);
  } catch (const Exception&) {
    // Only a shortcut: without it the archive is hashed again next time.
  }
}

}  // namespace

fs::path ModCacheHome() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return fs::path(xdg) / "veypatcher" / "mods";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".cache" / "veypatcher" / "mods";
}

bool LooksLikeArchive(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ArchiveProblem(path).empty();
}

std::string ArchiveSha256(const fs::path& archive, const fs::path& cacheHome) {
  const ModCache cache(cacheHome);
  if (auto known = RememberedSha256(archive, cache)) return *known;
  std::string sha = Sha256OfFile(archive);
  Remember(archive, cache, sha);
  return sha;
}

ExtractedMod ExtractModArchive(const fs::path& archivePath, const fs::path& cacheHome, const ExtractLimits& limits,
                               const std::atomic<bool>* cancel) {
  const ModCache cache(cacheHome);
  cache.RemoveLeftovers();
  if (auto known = RememberedSha256(archivePath, cache); known && cache.Usable(*known))
    return {*known, cacheHome / *known, true};
  UnpackFolder unpack(cache);
  ExtractedMod result;
  result.sha256 = UnpackArchive(archivePath, unpack.Path(), limits, cancel);
  result.folder = cacheHome / result.sha256;
  const Manifest manifest = ManifestOf(unpack.Fd(), archivePath.filename().string());
  result.reused = cache.Place(unpack.Name(), result.sha256, manifest);
  unpack.Release();
  Remember(archivePath, cache, result.sha256);
  return result;
}

void RecordCacheUse(const fs::path& modFolder, const std::string& gameFolder, const fs::path& cacheHome) {
  std::error_code ec;
  const fs::path home = fs::absolute(cacheHome, ec).lexically_normal();
  const fs::path relative = fs::absolute(modFolder, ec).lexically_normal().lexically_relative(home);
  if (relative.empty() || relative.begin()->string() == ".." || relative.begin()->string() == ".") return;
  const std::string sha = relative.begin()->string();
  try {
    std::string game = fs::absolute(gameFolder, ec).lexically_normal().string();
    while (game.size() > 1 && game.back() == '/') game.pop_back();
    ModCache(home).RecordUse(sha, game);
  } catch (const Exception&) {
  }
}

std::vector<std::string> FindModFolders(const fs::path& root) {
  std::vector<std::string> found;
  std::error_code ec;
  auto walk = [&](auto& self, const fs::path& folder, const std::string& relative, int depth) -> void {
    std::vector<fs::path> subfolders;
    bool holds = false;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
      if (!item.is_directory(ec) || item.is_symlink(ec)) continue;
      const std::string name = item.path().filename().string();
      if (Folded(name) == "veypatchdata")
        holds = true;
      else
        subfolders.push_back(item.path());
    }
    if (holds) found.push_back(relative);
    if (depth == 3) return;
    for (const auto& sub : subfolders)
      self(self, sub, relative.empty() ? sub.filename().string() : relative + "/" + sub.filename().string(), depth + 1);
  };
  walk(walk, root, "", 0);
  std::sort(found.begin(), found.end());
  return found;
}

fs::path ChooseModFolder(const fs::path& root, const std::optional<std::string>& in) {
  const auto found = FindModFolders(root);
  std::string listing;
  for (const auto& folder : found) listing += "\n  " + (folder.empty() ? std::string(".") : folder);
  if (in) {
    std::string wanted = *in;
    while (!wanted.empty() && (wanted.back() == '/' || wanted.back() == '\\')) wanted.pop_back();
    std::replace(wanted.begin(), wanted.end(), '\\', '/');
    if (wanted == ".") wanted.clear();
    for (const auto& folder : found)
      if (Folded(folder) == Folded(wanted)) return folder.empty() ? root : root / folder;
    Refuse(kArchiveNoMod, "No mod folder \"" + *in + "\" in the archive; it holds:" +
                              (found.empty() ? std::string(" none") : listing));
  }
  if (found.empty())
    Refuse(kArchiveNoMod, "The archive holds no \"veypatchdata\" folder (looked up to three folders deep).");
  if (found.size() > 1)
    Refuse(kArchiveSeveralMods, "The archive holds several mods; choose one with --in:" + listing);
  return found.front().empty() ? root : root / found.front();
}

}  // namespace vey::platform
