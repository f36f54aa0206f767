// CliCommon: what the subcommands of veypatcher-cli share: exit codes, the
// usage failure, the mod-folder options and UTF-8 output of Windows-1252 text.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <string_view>

namespace vey::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;      // a damaged or unreadable input file
constexpr int kExitNothingRun = 4;  // the instruction file is missing
constexpr int kExitUsage = 64;
// Undoing runs (uninstall, replay, reset): refused because files changed
// outside the installer, or some files could not be put back.
constexpr int kExitRefused = 1;
constexpr int kExitIncomplete = 2;

// A command line that cannot be carried out as written. main() prints its
// message as one line with a hint and exits with kExitUsage.
// details, when given, is printed before that line (a list of choices).
class UsageError : public CLI::ParseError {
 public:
  explicit UsageError(const std::string& message, std::string details = {})
      : CLI::ParseError("UsageError", message, kExitUsage), details_(std::move(details)) {}
  const std::string& Details() const { return details_; }

 private:
  std::string details_;
};

// A mod archive that cannot be used (unreadable, an entry refused); main()
// prints the message and exits with the code the command gives for it.
class ModSourceError : public CLI::ParseError {
 public:
  ModSourceError(const std::string& message, int exitCode) : CLI::ParseError("ModSourceError", message, exitCode) {}
};

// The options that name a mod the way `install` does.
struct ModOptions {
  std::string modDir = ".";  // the installer's folder, holding "veypatchdata"; or an archive
  std::string iniName;       // empty: "changes.ini", or the installation type's
  std::string infoName;      // empty: "info.rtf", or the installation type's
  std::string namespaceId;   // an identifier of "namespaces.ini"
  std::string in;            // the mod's folder inside an archive that holds several
  std::string archive;       // set when --mod named an archive (modDir is then its unpacked copy)
  std::string archiveSha256;
};

// --mod also takes an archive: it is unpacked into the cache once the
// command line is read, and a refused one ends the command with
// archiveFailureExit.
void AddModOptions(CLI::App& command, ModOptions& options, int archiveFailureExit = kExitFailed);

// Writes message text (Windows-1252, paths marked) as UTF-8 and a line break.
void PrintLine(std::ostream& out, std::string_view win1252Text);

}  // namespace vey::cli
