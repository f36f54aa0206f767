// URunSource: where a run's mod came from and the options that shaped its
// result, kept beside the run's record so that the run can be installed
// again the same way, and the digest that tells whether the mod's files are
// still the ones installed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/JournalLayout.h"

namespace vey {

struct TRunSource {
  std::string modFolder;  // the installer's folder (holding "veypatchdata"), absolute
  std::string iniName;    // the instruction file's name given, empty for the default
  // Set when the mod came out of an archive: the archive, its SHA-256 and the
  // sub-folder chosen in it.
  std::string archive, archiveSha256, in;
  std::string installationType;  // the installation type's id, empty when there is one only
  std::string compiler;          // the person's own compiler, empty for the mod's
  bool noSandbox = false;
  std::vector<std::string> picks;  // "NAME=PATH" answers to the file questions
  std::string backupDir;           // empty: "backup" beside the installer
  // SHA-256 over the mod's shipped files as the run read them (ModDigest).
  std::string digest;
  // Set when the mod's files changed size while the run went on: the digest
  // is of what was read, which may not be what the folder holds now.
  std::string digestNote;
  // The name of the mod list's entry that installed it; empty for a mod
  // installed on its own.
  std::string entry;

  bool operator==(const TRunSource&) const = default;
};

// The SHA-256 of a folder's files, their relative names and contents (a link
// by its target, never followed), leaving out what the installer itself
// writes into a mod folder, in any letter case: the folder "backup" and the
// logs "installlog.rtf" and "installlog.txt" at the top, the folders
// "debug", "erfpatch_temp" and "nsspatch_temp" in "veypatchdata" and in its
// installation types' folders, and the leftovers of unfinished saves
// ("*.vey-*-*.tmp").
// A folder that cannot be read gives "".
std::string ModDigest(const std::filesystem::path& folder);

// ModDigest taken on a thread of its own, so that hashing the mod overlaps
// the run that installs it.
class TModDigestTask {
 public:
  explicit TModDigestTask(std::filesystem::path folder);
  // Waits for the thread.
  ~TModDigestTask();
  TModDigestTask(const TModDigestTask&) = delete;
  TModDigestTask& operator=(const TModDigestTask&) = delete;

  struct Result {
    std::string digest;
    // Names the files whose size differs now from when they were read (or
    // that are gone); empty when none does.
    std::string note;
  };
  // Waits for the digest; call once.
  Result Take();

 private:
  std::filesystem::path folder_;
  std::string digest_;
  std::vector<std::pair<std::string, std::uint64_t>> sizes_;  // relative path, size read
  std::thread thread_;
};

// The digest of the mod's files by today's rule and by the rule of earlier
// versions (fewer names left out), taken in one walk: a record written by an
// earlier version still matches the files it was taken from.
struct TModDigests {
  std::string current, earlier;
  bool Matches(const std::string& recorded) const;
};
TModDigests ModDigests(const std::filesystem::path& folder);

// The entries of a mod folder (relative, '/' between components) under the
// names ModDigest leaves out as the installer's own. A mod that ships such
// files when it is first unpacked is refused: its own files would count as
// the installer's.
std::vector<std::string> InstallerOwnEntries(const std::filesystem::path& folder);

// The same over every file, nothing left out: the files a list copies.
std::string FilesDigest(const std::filesystem::path& folder);

// The name a person knows a run's mod by: the archive it came out of, when
// its source record names one (the unpacked copy's folder is named by a
// digest), else the last name of its folder.
std::string RunModName(const std::filesystem::path& runFolder, const std::string& modFolder);

inline constexpr std::string_view kSourceFile = platform::journal::kSourceFile;
std::string SourceText(const TRunSource& source);
// Read as untrusted: nullopt, with the reason in problem, for a record of
// another version, an unknown key, a bad escape or a path that is not
// absolute.
std::optional<TRunSource> ParseSource(std::string_view text, std::string& problem);

// The record in the run folder; nullopt with problem set when it is missing
// (runs recorded before sources were kept) or damaged. Links are not followed.
std::optional<TRunSource> ReadRunSource(const std::filesystem::path& runFolder, std::string& problem);

}  // namespace vey
