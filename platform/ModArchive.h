// ModArchive: mod downloads (zip, 7z, rar, tar and compressed tars) unpacked
// once into the installer's cache under the archive's SHA-256, with every
// entry checked first: an archive is a stranger's file, and nothing it names
// may land outside the folder it is unpacked into.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/VeyException.h"

namespace vey::platform {

// The archive cannot be read, or holds an entry that is refused (the message
// names it); nothing of it is left in the cache.
VEY_DECLARE_FAILURE(EModArchive);
constexpr std::int32_t kArchiveUnreadable = 1;
constexpr std::int32_t kArchiveEntryRefused = 2;
constexpr std::int32_t kArchiveTooLarge = 3;
constexpr std::int32_t kArchiveNoMod = 4;
constexpr std::int32_t kArchiveSeveralMods = 5;
constexpr std::int32_t kArchiveDamaged = 6;      // a checksum or a structure broken part-way
constexpr std::int32_t kArchiveInterrupted = 7;  // a signal asked to stop

struct ExtractLimits {
  // Extraction stops once the bytes written pass both of these: a small
  // archive may not unpack into an endless stream of zeros, yet a large one
  // of well-packed textures still fits.
  std::uint64_t absolute = std::uint64_t{4} << 30;
  std::uint64_t ratio = 20;
  // More entries than any mod has: the names alone would take memory and
  // the cache thousands of folders.
  std::uint64_t entries = 100000;
};

struct ExtractedMod {
  std::string sha256;
  std::filesystem::path folder;  // the cache folder holding the archive's content
  bool reused = false;           // found there from an earlier extraction
};

// $XDG_CACHE_HOME/veypatcher/mods (default ~/.cache/veypatcher/mods).
std::filesystem::path ModCacheHome();

// True for a regular file whose first bytes say it is an archive libarchive
// reads (any folder is no archive).
bool LooksLikeArchive(const std::filesystem::path& path);

// The archive's content in cacheHome/<sha256>/: reused when that folder is
// there with the manifest of its unpack and matching it, else unpacked into
// a locked folder beside it while the archive is hashed in the same read,
// then moved there with its manifest. Unpacks whose process is gone are
// removed first. Raises EModArchive (what was unpacked removed; code
// kArchiveInterrupted when cancel was set) and EFOpenError.
ExtractedMod ExtractModArchive(const std::filesystem::path& archive, const std::filesystem::path& cacheHome,
                               const ExtractLimits& limits = {}, const std::atomic<bool>* cancel = nullptr);

// Why a file cannot be unpacked (damaged, or no archive of a known kind),
// in words for a message; "" when it reads as an archive.
std::string ArchiveProblem(const std::filesystem::path& path);

// The SHA-256 of an archive, remembered by its path, size and modification
// time in the cache so that an unchanged download is read only once.
std::string ArchiveSha256(const std::filesystem::path& archive, const std::filesystem::path& cacheHome);

// Notes in the cache that gameFolder was installed from the copy modFolder
// lies in, so that cleaning the cache knows whose journal to ask; nothing
// when modFolder is not in the cache. Never fails: the note is a help only.
void RecordCacheUse(const std::filesystem::path& modFolder, const std::string& gameFolder,
                    const std::filesystem::path& cacheHome = ModCacheHome());

// The folders below root (root itself included, as "") that hold a
// "veypatchdata" folder in any letter case, at depth 0 to 3, as relative
// paths with '/' between components, sorted.
std::vector<std::string> FindModFolders(const std::filesystem::path& root);

// The mod folder of an unpacked archive: the only one, or the one `in` names
// (matched without regard to letter case; "" or "." for the root). Raises
// EModArchive kArchiveNoMod or kArchiveSeveralMods, whose message lists them.
std::filesystem::path ChooseModFolder(const std::filesystem::path& root, const std::optional<std::string>& in);

}  // namespace vey::platform
