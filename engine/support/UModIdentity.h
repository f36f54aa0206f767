// UModIdentity: which mods the game folder's journal says are installed,
// and whether a mod about to be installed is one of them, in the same
// version or another. The journal is the one place that knows: whichever
// list, path or command installed a mod, its run is there, and a run taken
// out (by an uninstall, a replay or a reset) is gone from it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/support/URunSource.h"
#include "platform/RunJournal.h"

namespace vey {

// A finished run that still stands, with what tells its mod.
struct TInstalledRun {
  platform::RunRecord run;        // the header (run.txt)
  std::optional<TRunSource> source;  // source.txt, when it was kept and reads
  // The mod list entry that installed it; empty for a mod installed on its
  // own, and for runs of lists recorded before entries were named.
  std::string entry;
  bool copy = false;  // a list's copy of loose files
};

// The game folder's runs that installed something and still stand: ended,
// not undone, not damaged, not failed; oldest first.
std::vector<TInstalledRun> InstalledRuns(const std::filesystem::path& gameFolder);

// A mod as it is now, to compare with what the journal holds.
struct TModVersion {
  // Who it is: a list entry's name, or (for a mod installed on its own) the
  // instruction file's name and the caption it sets, whatever installed the
  // runs compared. A caption a mod does not set tells no mod from another.
  std::string entry;
  std::string iniFile;  // the file name only
  std::string caption;
  bool copy = false;
  // Which version: the instruction file's digest and the installation type
  // (Windows-1252, as the run records it), and the digests of the files the
  // mod shipped (for a copy: of the files it copies).
  std::string instructionSha256;
  std::string installationType;
  TModDigests digests;
  // Other digests that stand for this version in records of earlier
  // versions (a copy's whole source).
  std::vector<std::string> olderDigests;
};

// The name of the instruction file of a run ("copy FROM -> TO" for a copy).
std::string RunIniFile(const platform::RunRecord& run);
// Whether a run's record describes this very version of the mod.
bool SameVersion(const TInstalledRun& run, const TModVersion& mod);

enum class TInstalledState { kNotInstalled, kInstalled, kChanged };
struct TInstalledMatch {
  TInstalledState state = TInstalledState::kNotInstalled;
  const TInstalledRun* run = nullptr;  // the run that decided, from runs
};

// What the journal says of the mod: the latest run of the same mod decides
// (installed when it is this version, changed when another); failing that,
// any run of this very version counts as installed, whoever put it there.
// legacyRun: the run a list record of an earlier version gives for the
// entry, for runs recorded before entries were named.
TInstalledMatch FindInstalled(const std::vector<TInstalledRun>& runs, const TModVersion& mod,
                              const std::string& legacyRun = {});

// The name a person knows a run's mod by (UTF-8): the list entry's name,
// else the caption the mod sets, else the archive's name without its
// extension, else the mod folder's name. An unpacked copy's folder is named
// by a digest, which is never shown: such a mod is "unnamed mod".
std::string RunName(const platform::RunRecord& run, const std::optional<TRunSource>& source);
// The same with the run's source record read from the journal (a run a
// reset undid included).
std::string RunName(const std::filesystem::path& gameFolder, const platform::RunRecord& run);

// The caption the engine records when the mod sets none.
inline constexpr const char* kDefaultCaption = "Game Data Patcher for Arkan/VEY";

}  // namespace vey
