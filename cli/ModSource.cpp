// ModSource: mod archives on the command line.
#include "cli/ModSource.h"

#include <iostream>

#include "cli/InstallCommand.h"
#include "cli/RunSignals.h"
#include "engine/support/URunSource.h"
#include "platform/ModArchive.h"

namespace vey::cli {

std::optional<std::string> ShipsInstallerFiles(const std::filesystem::path& modFolder,
                                               const std::filesystem::path& copy) {
  const std::vector<std::string> own = InstallerOwnEntries(modFolder);
  if (own.empty()) return std::nullopt;
  std::error_code ec;
  std::filesystem::remove_all(copy, ec);
  std::string names;
  for (std::size_t i = 0; i < own.size() && i < 5; ++i) names += (i ? ", " : "") + std::string("\"") + own[i] + "\"";
  return "the mod ships files under names the installer keeps for its own logs, backups and work folders (" + names +
         "); they would be taken for the installer's, so the mod is refused. Ask its maker to rename them.";
}

UnpackedMod UnpackMod(const std::filesystem::path& archive, const std::optional<std::string>& in,
                      const std::atomic<bool>* cancel) {
  const platform::ExtractedMod copy = platform::ExtractModArchive(archive, platform::ModCacheHome(), {}, cancel);
  return {copy.sha256, copy.folder, platform::ChooseModFolder(copy.folder, in), copy.reused};
}

void OpenModArchive(ModOptions& options, int failureExit) {
  const std::filesystem::path given = options.modDir.empty() ? "." : options.modDir;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(given, ec)) {
    if (!options.in.empty()) throw UsageError("--in chooses a folder inside a mod archive; --mod names no archive");
    return;
  }
  // A file given as the mod is meant as its archive: when it cannot be read
  // as one, say why instead of calling it no folder.
  if (const std::string problem = platform::ArchiveProblem(given); !problem.empty())
    throw ModSourceError("The archive \"" + given.string() +
                             "\" is damaged or is no archive that can be read (zip, 7z, rar, tar and compressed "
                             "tars can): " + problem + ". Download it again.",
                         failureExit);
  UnpackedMod mod;
  // Ctrl-C, a closed terminal or a kill stop the unpack; what it wrote goes.
  RunSignals signals;
  try {
    mod = UnpackMod(given, options.in.empty() ? std::nullopt : std::optional<std::string>(options.in),
                    &signals.Flag());
    if (signals.Flag().load())
      throw ModSourceError("Interrupted after unpacking \"" + given.string() + "\"; nothing was installed.",
                           kExitAborted);
  } catch (const platform::EModArchive& e) {
    if (e.Code() == platform::kArchiveInterrupted) throw ModSourceError(e.what(), kExitAborted);
    if (e.Code() == platform::kArchiveSeveralMods || e.Code() == platform::kArchiveNoMod) {
      // The list of mod folders goes before the one-line message.
      const std::string text = e.what();
      const std::size_t cut = text.find('\n');
      if (cut == std::string::npos) throw UsageError(text);
      throw UsageError(text.substr(0, cut), text.substr(cut + 1) + "\n");
    }
    throw ModSourceError(e.what(), failureExit);
  } catch (const Exception& e) {
    throw ModSourceError(e.what(), failureExit);
  }
  if (!mod.reused)
    if (auto why = ShipsInstallerFiles(mod.folder, mod.copy)) throw ModSourceError("Mod archive \"" + given.string() + "\": " + *why, failureExit);
  options.archive = options.modDir;
  options.archiveSha256 = mod.sha256;
  options.modDir = mod.folder.string();
  std::cerr << "Mod archive \"" << given.string() << "\" " << (mod.reused ? "already unpacked in" : "unpacked in")
            << " \"" << mod.folder.string() << "\"; the backup folder and the log are kept there.\n";
}

}  // namespace vey::cli
