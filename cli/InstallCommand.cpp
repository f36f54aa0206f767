// InstallCommand: the installer's start button on the command line: choose
// the installation type, check the instruction file, confirm, run the engine
// with the log on standard output, report the outcome and save the log.
#include "cli/InstallCommand.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "cli/GameChoice.h"
#include "cli/InstallResult.h"
#include "cli/ModFolder.h"
#include "cli/ModUpdate.h"
#include "cli/ProgressBar.h"
#include "common/FileIO.h"
#include "common/PathText.h"
#include "cli/RunSignals.h"
#include "common/StrFormat.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "common/Sha256.h"
#include "engine/support/UModIdentity.h"
#include "engine/support/UOutcome.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/UTLKFile.h"
#include "platform/GameFileSystem.h"
#include "platform/Headless.h"
#include "platform/LogViews.h"
#include "platform/TerminalColour.h"
#include "platform/OverlayFileSystem.h"
#include "platform/WineRegistry.h"

namespace vey::cli {
namespace {

struct InstallOptions {
  ModOptions mod;
  std::string gameDir;
  bool yes = false;
  std::string logFile;
  std::vector<std::string> picks;
  std::optional<std::int32_t> logLevel;
  TCompilerSettings compiler;
  bool noSandbox = false;
  bool noRollback = false;
  bool reinstall = false;
  bool dryRun = false;
  std::string jsonFile;
  std::string backupDir;
  // Set by a replay, which holds the game folder itself.
  bool lockHeld = false;
  // Put a new version in the place of the installed one.
  bool update = false;
  // The mod list entry a replayed run was installed for.
  std::string entry;
};

std::string Absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  return std::filesystem::absolute(path, ec).lexically_normal().string();
}

// What a replay needs to install the mod again with the same result.
TRunSource SourceOf(const InstallOptions& options, const std::string& appPath, const std::string& type) {
  TRunSource source;
  source.modFolder = Absolute(appPath);
  source.iniName = options.mod.iniName;
  source.installationType = type;
  source.compiler = Absolute(options.compiler.Compiler);
  source.noSandbox = options.noSandbox;
  source.backupDir = Absolute(options.backupDir);
  source.entry = options.entry;
  if (!options.mod.archive.empty()) {
    source.archive = Absolute(options.mod.archive);
    source.archiveSha256 = options.mod.archiveSha256;
    source.in = options.mod.in;
  }
  for (const std::string& pick : options.picks) {
    const std::size_t eq = pick.find('=');
    source.picks.push_back(pick.substr(0, eq + 1) + Absolute(pick.substr(eq + 1)));
  }
  return source;
}

// The window's failure text, without its lead when the engine's message
// carries its own ("Error! ..."), so the command line never says it twice.
std::string CommandLineFailure(const Exception& e) {
  std::string text = FailureMessage(e);
  if (!platform::SaysItsKind(e.what())) return text;
  for (std::string_view lead : {"An error occured! ", "An unhandled error occured! "})
    if (text.starts_with(lead)) return text.substr(lead.size());
  return text;
}

int RunInstall(const InstallOptions& options, InstallResult& outcome);

// The run, then its result for other programs when one is asked for.
int RunInstall(const InstallOptions& options) {
  // Refused before anything changes: a result that cannot be written would
  // leave a mod manager with an installed mod and no word of it.
  if (!options.jsonFile.empty() && !CanWriteResult(options.jsonFile))
    throw UsageError("--json: cannot write the result file \"" + options.jsonFile + "\"");
  InstallResult outcome(options.jsonFile, options.dryRun);
  const int exitCode = RunInstall(options, outcome);
  if (outcome.Wanted() && !outcome.Write(exitCode)) return exitCode == kExitOk ? kExitNotRun : exitCode;
  return exitCode;
}

int RunInstall(const InstallOptions& options, InstallResult& outcome) {
  // The start line shows the date and time as the user's locale writes them.
  std::setlocale(LC_TIME, "");
  // A dry run reads the folders as they are and keeps its writes apart.
  std::unique_ptr<platform::GameFileSystem> fileSystem =
      options.dryRun ? std::make_unique<platform::OverlayFileSystem>()
                     : std::make_unique<platform::GameFileSystem>();
  platform::GameFileSystem& files = *fileSystem;
  // The result keeps what it needs before the file system goes.
  struct Settle {
    InstallResult& outcome;
    ~Settle() { outcome.Settle(); }
  } settle{outcome};
  platform::Console console = platform::Console::Standard();
  std::optional<bool> preset;
  if (options.yes) preset = true;
  platform::HeadlessMessageBoxes messages(console, preset);

  std::error_code ec;
  if (!files.IsDirectory(std::filesystem::absolute(options.mod.modDir, ec)))
    throw UsageError("--mod: \"" + options.mod.modDir + "\" is not a folder");
  // Refused before anything is asked, like every other usage error.
  const std::string givenGame = options.gameDir.empty() ? std::string() : CheckedGameOption(options.gameDir);
  std::string backupDir;
  if (!options.backupDir.empty()) {
    const std::filesystem::path given = std::filesystem::absolute(options.backupDir, ec);
    if (std::filesystem::exists(given, ec) && !std::filesystem::is_directory(given, ec))
      throw UsageError("--backup-dir: \"" + options.backupDir + "\" is not a folder");
    backupDir = WithTrailingSlash(given.lexically_normal().string());
  }
  const ModSelection mod = SelectMod(options.mod, files, &console);
  const std::string appPath = WithTrailingSlash(mod.modFolder.lexically_normal().string());
  const std::string dataPath = WithTrailingSlash(mod.dataPath.string());
  std::string iniName = mod.iniName;
  const std::filesystem::path iniPath = mod.IniPath();
  if (!files.IsFile(iniPath)) {
    messages.ShowWarning(FormatMsg("WARNING! Cannot locate the INI file \"%s\" with work instructions!", {iniName}));
    return kExitNotRun;
  }
  // The information text is for the window to show; a command-line install runs without it.
  // The engine opens the file under its name as it is on disk.
  iniName = iniPath.lexically_relative(mod.dataPath).string();
  outcome.SetFolders(appPath, iniPath.string());

  bool installerMode = false;
  std::int32_t logLevel = 3;
  bool plaintextLog = false;
  std::string gameFolder = givenGame;
  {
    TQK_Inifile ini(iniPath.string());
    if (ini.Encoding() == TTextEncoding::Utf16) {
      messages.ShowWarning(Utf16FileMessage(iniName));
      return kExitNotRun;
    }
    installerMode = ini.ReadBool("Settings", "InstallerMode", false);
    logLevel = ini.ReadInteger("Settings", "LogLevel", 3);
    plaintextLog = ini.ReadBool("Settings", "PlaintextLog", false);
    if (!ini.ReadBool("Settings", "FileExists", false)) {
      messages.ShowWarning(FormatMsg("Unable to load the %s file! Make sure the \"veypatchdata\" folder is located "
                                     "in the same folder as this application.",
                                     {iniName}));
      return kExitNotRun;
    }
    if (options.logLevel) logLevel = *options.logLevel;
    if (installerMode && gameFolder.empty()) {
      platform::WineRegistry registry;
      gameFolder = FindGameFolder(ini, registry, platform::FinderPlaces::FromEnvironment(), console);
    }
    std::string confirm = ini.ReadString("Settings", "ConfirmMessage", "");
    if (confirm.empty()) confirm = "This will start patching the necessary game files. Do you want to do this?";
    if (confirm != "N/A" && !messages.AskYesNo(confirm)) {
      *console.out << "Nothing was changed." << std::endl;
      return kExitNotRun;
    }
  }

  // Another version of this mod installed: never over it; --update puts the
  // new one in its place.
  if (!options.lockHeld && !gameFolder.empty()) {
    TModVersion version;
    {
      TQK_Inifile ini(iniPath.string());
      version.caption = ini.ReadString("Settings", "WindowCaption", kDefaultCaption);
    }
    version.iniFile = iniPath.filename().string();
    version.instructionSha256 = Sha256OfFile(iniPath);
    version.installationType = mod.namespaceId;
    version.digests = ModDigests(mod.modFolder);
    const std::vector<TInstalledRun> runs = InstalledRuns(gameFolder);
    const TInstalledMatch match = FindInstalled(runs, version);
    if (match.state == TInstalledState::kChanged) {
      const std::string said =
          FormatMsg("Another version of this mod was installed into this game on %s UTC (run %s); installing this "
                    "one over it would apply the mod twice.",
                    {match.run->run.started, match.run->run.id});
      if (!options.update || options.dryRun) {
        const std::string message =
            said + (options.dryRun ? std::string(" A dry run cannot show an update.")
                                   : std::string(" Nothing was changed. Give --update to take the old version out (the "
                                                 "mods installed after it are installed again) and install this one in "
                                                 "its place."));
        outcome.SetFailure(message);
        messages.ShowWarning(message);
        return kExitNotRun;
      }
      std::cout << said << " Updating it in place.\n";
      InstallOptions inner = options;
      inner.lockHeld = true;
      inner.update = false;
      inner.reinstall = true;
      inner.yes = true;
      inner.gameDir = gameFolder;
      // A list's entry stays the list's when updated on its own.
      inner.entry = match.run->entry;
      int installed = kExitAborted;
      const int code = UpdateInPlace(gameFolder, {{match.run->run.id, [&] {
                                                     installed = RunInstall(inner, outcome);
                                                     return installed;
                                                   }}},
                                     std::cout);
      // Refused before any change, as an install that did not run; cut short
      // (put back, or not all of it), as a failed one.
      if (code == kExitOk) return installed;
      return code == 1 ? kExitNotRun : code == kExitLocked || code == kExitJournal ? code : kExitAborted;
    }
  }

  std::ofstream logFile;
  if (!options.logFile.empty()) {
    logFile.open(options.logFile, std::ios::binary | std::ios::trunc);
    if (!logFile) {
      std::cerr << "Cannot write the log file \"" << options.logFile << "\".\n";
      return kExitNotRun;
    }
  }

  platform::HeadlessOpenDialog openDialog(&std::cerr);
  for (const std::string& pick : options.picks) openDialog.AddAnswer(pick);
  std::unique_ptr<platform::IFolderChooser> chooser;
  if (!gameFolder.empty())
    chooser = std::make_unique<platform::GivenFolder>(gameFolder);
  else
    chooser = std::make_unique<platform::HeadlessFolderChooser>(console);
  // A settled game folder replaces the registry lookup as well as the chooser.
  std::unique_ptr<platform::IRegistry> registry;
  if (!gameFolder.empty())
    registry = std::make_unique<platform::EmptyRegistry>();
  else
    registry = std::make_unique<platform::WineRegistry>();
  platform::HeadlessEventPump events;
  PatcherPlatform bundle{openDialog, *chooser, *registry, events, messages, files};

  platform::RichTextLog richLog;
  platform::PlainTextLog plainLog;
  // With the result on standard output the person's log goes to standard error.
  std::ostream& human = options.jsonFile == "-" ? std::cerr : std::cout;
  const int humanFd = options.jsonFile == "-" ? STDERR_FILENO : STDOUT_FILENO;
  const bool colour = platform::ColourWanted(humanFd);
  if (outcome.Wanted() || options.dryRun) outcome.Observe(files, outcome.Wanted());
  int exitCode = kExitOk;
  {
    TVEYPatcher patcher(iniName, bundle, appPath, dataPath);
    patcher.RichLog = &richLog;
    patcher.PlainLog = &plainLog;
    if (options.logLevel) patcher.SetShownLogLevel(*options.logLevel);
    patcher.Compiler = options.compiler;
    patcher.Compiler.Sandbox = !options.noSandbox;
    patcher.FileHandler.BackupDir = backupDir;
    patcher.Report = outcome.Report();
    patcher.OnGameFolder = [&](const std::string& folder) { outcome.SetGameFolder(folder); };
    patcher.OnLogEntry = [&](LogKind kind, std::string_view text) { outcome.Log(kind, text); };
    ProgressBar bar(human, ::isatty(humanFd) == 1, ProgressBar::TerminalWidth(humanFd));
    patcher.OnProgress = [&](std::int32_t position, std::int32_t maximum) { bar.Update(position, maximum); };
    patcher.OnLogLine = [&](std::string_view line, const platform::TextAttributes& attributes) {
      bar.BeforeLine();
      human << platform::TerminalLine(line, attributes, colour) << '\n' << std::flush;
      bar.AfterLine();
      if (logFile.is_open()) logFile << MessageToUtf8(line) << '\n' << std::flush;
    };
    RunSignals signals;
    patcher.RunOptions.rollbackOnFailure = !options.noRollback;
    // A dry run changes nothing, so there is nothing to record or undo.
    patcher.RunOptions.journal = !options.dryRun;
    patcher.RunOptions.dryRun = options.dryRun;
    patcher.RunOptions.installationType = mod.namespaceId;
    patcher.RunOptions.cancel = &signals.Flag();
    patcher.RunOptions.confirmReinstall = [&](const platform::RunRecord&) { return options.reinstall; };
    patcher.RunOptions.source = SourceOf(options, appPath, mod.namespaceId);
    patcher.RunOptions.lockHeld = options.lockHeld;
    try {
      TRunResult result;
      patcher.Run(result);
      bar.Finish();
      outcome.SetCounts(result.Warnings, result.Errors);
      if (const platform::RunRecord* record = patcher.RunRecordOfRun()) outcome.SetRun(record->id);
      const std::string closing = OutcomeMessage(installerMode, result.Warnings, result.Errors);
      if (result.Errors == 0 && result.Warnings == 0) {
        messages.ShowInfo(closing);
      } else {
        messages.ShowWarning(closing);
        exitCode = result.Errors > 0 ? kExitErrors : kExitWarnings;
      }
    } catch (const ERunRefused& e) {
      bar.Finish();
      std::string message = e.what();
      if (e.Code() == kRefusedAlreadyInstalled) message += " Give --reinstall to install it again.";
      outcome.SetCounts(patcher.WarningCount(), patcher.ErrorCount());
      outcome.SetFailure(message);
      messages.ShowWarning(message);
      exitCode = e.Code() == kRefusedLocked    ? kExitLocked
                 : e.Code() == kRefusedJournal ? kExitJournal
                                               : kExitNotRun;
    } catch (const ECancelled& e) {
      bar.Finish();
      outcome.SetCounts(patcher.WarningCount(), patcher.ErrorCount());
      outcome.SetFailure(e.what());
      messages.ShowWarning(std::string(e.what()) + " Check the progress log for what was rolled back.");
      exitCode = kExitAborted;
    } catch (const Exception& e) {
      bar.Finish();
      outcome.SetCounts(patcher.WarningCount(), patcher.ErrorCount());
      outcome.SetFailure(FailureMessage(e));
      messages.ShowWarning(CommandLineFailure(e));
      exitCode = kExitAborted;
    } catch (const std::exception& e) {
      bar.Finish();
      outcome.SetCounts(patcher.WarningCount(), patcher.ErrorCount());
      outcome.SetFailure(std::string("An unhandled error occured! ") + e.what());
      std::cerr << "An unhandled error occured! " << platform::TerminalText(e.what()) << '\n';
      exitCode = kExitAborted;
    }
  }

  outcome.Settle();
  // A refused dry run ends as the real run would, with nothing to list.
  if (options.dryRun && exitCode != kExitNotRun && exitCode != kExitLocked) PrintChanges(human, outcome.Files());
  // The log goes beside the installer, as the desktop program leaves it; a
  // dry run leaves nothing behind.
  if (logLevel > 0 && !options.dryRun) {
    try {
      if (plaintextLog)
        plainLog.SaveToFile(std::filesystem::path(appPath) / "installlog.txt");
      else
        richLog.SaveToFile(std::filesystem::path(appPath) / "installlog.rtf");
    } catch (const Exception& e) {
      std::cerr << platform::TerminalText(e.what()) << '\n';
    }
  }
  return exitCode;
}

}  // namespace

int InstallAgain(const TRunSource& source, const std::string& gameFolder, int compileTimeout) {
  InstallOptions options;
  options.mod.modDir = source.modFolder;
  options.mod.iniName = source.iniName;
  options.mod.namespaceId = source.installationType;
  options.gameDir = gameFolder;
  options.yes = true;
  options.picks = source.picks;
  options.compiler.Compiler = source.compiler;
  options.compiler.TimeoutSeconds = compileTimeout;
  options.noSandbox = source.noSandbox;
  options.backupDir = source.backupDir;
  options.reinstall = true;
  options.lockHeld = true;
  // Still known by its archive and list entry once installed again.
  options.mod.archive = source.archive;
  options.mod.archiveSha256 = source.archiveSha256;
  options.mod.in = source.in;
  options.entry = source.entry;
  return RunInstall(options);
}

void AddCompileTimeoutOption(CLI::App& command, int& seconds) {
  command
      .add_option("--compile-timeout", seconds,
                  "End a script compile that takes longer than SECONDS (default " +
                      std::to_string(TCompilerSettings::kDefaultCompileTimeout) + "); the script then fails to compile")
      ->option_text("SECONDS")
      ->check(CLI::Range(1, 86400));
}

void RegisterInstallCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<InstallOptions>();
  CLI::App* install = app.add_subcommand("install", "Install a mod into a game folder");
  AddModOptions(*install, options->mod, kExitNotRun);
  install->add_option("--game", options->gameDir,
                      "Game folder (the one holding dialog.tlk); replaces the registry and the folder question");
  install->add_flag("--yes", options->yes, "Answer Yes to the confirmation question");
  install->add_option("--log-level", options->logLevel,
                      "Print and record the log as with this \"LogLevel\" (0-4) instead of the mod's; "
                      "the counts and the verdict stay the mod's")
      ->check(CLI::Range(0, 4));
  install->add_option("--log-file", options->logFile,
                      "Also write every log line, tagged, as UTF-8 text to this file");
  install->add_option("--pick", options->picks,
                      "NAME=PATH: the file to use when the installer asks for file NAME (repeatable)")
      ->allow_extra_args(false);
  install->add_option("--compiler", options->compiler.Compiler,
                      "Compile scripts with this compiler of your own instead of the one the mod ships "
                      "(a native program, or a Windows program run under wine)")
      ->check(CLI::ExistingFile);
  install->add_flag("--no-sandbox", options->noSandbox,
                    "Run the script compiler without bubblewrap's sandbox");
  AddCompileTimeoutOption(*install, options->compiler.TimeoutSeconds);
  install->add_flag("--no-rollback", options->noRollback,
                    "Keep the changes of a run that a failure ends (it can still be undone with uninstall)");
  install->add_flag("--reinstall", options->reinstall,
                    "Install even when these instructions were already applied to this game");
  install->add_flag("--update", options->update,
                    "When another version of this mod is installed, take it out (the mods installed after it are "
                    "installed again) and install this one in its place");
  install->add_flag("--dry-run", options->dryRun,
                    "Do the whole run without changing anything: every write is kept in a scratch "
                    "folder that is thrown away; prints the files the run would change");
  install->add_option("--backup-dir", options->backupDir,
                      "Keep the unaltered files in this folder of your own (made when missing; it may be a "
                      "link) instead of the mod folder's \"backup\"");
  install->add_option("--json", options->jsonFile,
                      "Write the result as JSON (docs/install-result.md) to this file; - for standard "
                      "output, the log then goes to standard error");
  install->footer(
      "Without --game, in installer mode, the game folder is looked up in the Wine registry (when the mod asks "
      "for it) and in Steam libraries and the Wine, Proton, Lutris and Heroic prefixes (see \"games\").\n"
      "Every run is recorded in GAME/.veypatcher so that it can be undone (see history and uninstall); "
      "a run that a failure ends or that is interrupted is rolled back.\n"
      "Exit status: 0 done; 1 done with warnings; 2 done with errors; 3 a failure ended the run (rolled back); "
      "4 nothing was run (no instruction file, not confirmed, the mod is already installed without "
      "--reinstall, another version of it is installed without --update, or the mod folder's \"backup\" is a link); 5 another installation is running in this game folder; 64 usage error (also a --game "
      "that is no game folder, or several game folders found and no terminal to choose on).\n"
      "--dry-run keeps no record and changes nothing; --json writes the result described in "
      "docs/install-result.md.");
  install->callback([options, &exitCode] {
    for (const std::string& pick : options->picks) {
      std::size_t eq = pick.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == pick.size())
        throw UsageError("--pick expects NAME=PATH, got \"" + pick + "\"");
    }
    exitCode = RunInstall(*options);
  });
}

}  // namespace vey::cli
