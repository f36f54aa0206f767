// ModListRun: running one prepared entry of a mod list.
#include "cli/ModListRun.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "cli/ProgressBar.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "common/UQK_IniFile.h"
#include "common/Win1252.h"
#include "engine/support/UOutcome.h"
#include "engine/support/UConflicts.h"
#include "engine/run/URunHistory.h"
#include "engine/support/URunReport.h"
#include "engine/run/UTransaction.h"
#include "engine/support/URunSource.h"
#include "common/FileIO.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/Headless.h"
#include "platform/LogViews.h"
#include "platform/JournalDir.h"
#include "platform/RunJournal.h"

namespace vey::cli {
namespace fs = std::filesystem;

namespace {

std::string VerdictOf(int warnings, int errors) { return errors > 0 ? "errors" : warnings > 0 ? "warnings" : "ok"; }

EntryRun RunInstaller(const PreparedMod& mod, const RunSetting& s) {
  const ModSelection& m = mod.mod;
  const std::string appPath = WithTrailingSlash(m.modFolder.lexically_normal().string());
  const std::string dataPath = WithTrailingSlash(m.dataPath.string());
  const std::string iniName = m.IniPath().lexically_relative(m.dataPath).string();

  std::ostringstream quiet;
  platform::Console console{s.out ? s.out : &quiet, &std::cin, false};
  platform::HeadlessMessageBoxes messages(console, true);
  platform::HeadlessOpenDialog openDialog(s.out);
  platform::GivenFolder chooser(s.gameFolder);
  platform::EmptyRegistry registry;
  platform::HeadlessEventPump events;
  PatcherPlatform bundle{openDialog, chooser, registry, events, messages, s.files};
  platform::RichTextLog richLog;
  platform::PlainTextLog plainLog;

  EntryRun run;
  TVEYPatcher patcher(iniName, bundle, appPath, dataPath);
  patcher.RichLog = &richLog;
  patcher.PlainLog = &plainLog;
  patcher.Report = s.report;
  if (s.bar) patcher.OnProgress = [&](std::int32_t position, std::int32_t maximum) { s.bar->Update(position, maximum); };
  if (s.out)
    patcher.OnLogLine = [&](std::string_view line, const platform::TextAttributes& attributes) {
      if (s.bar) s.bar->BeforeLine();
      *s.out << platform::TerminalLine(line, attributes, s.colour) << '\n' << std::flush;
      if (s.bar) s.bar->AfterLine();
    };
  patcher.Compiler.TimeoutSeconds = s.compileTimeout;
  // An entry that ends with errors says why, even when its log is not shown.
  patcher.OnLogEntry = [&run](LogKind kind, std::string_view text) {
    if (kind == LogKind::Error && run.message.empty()) run.message = MessageToUtf8(text);
  };
  if (s.list && !s.list->compiler.empty()) patcher.Compiler.Compiler = s.list->compiler;
  if (s.list) patcher.Compiler.Sandbox = !s.list->noSandbox;
  patcher.RunOptions.journal = s.journal;
  patcher.RunOptions.lockHeld = s.lockHeld;
  patcher.RunOptions.rollbackOnFailure = true;
  patcher.RunOptions.installationType = Utf8ToWin1252(m.namespaceId);
  patcher.RunOptions.cancel = s.cancel;
  if (s.journal) {
    // Kept with the run, so that it can be installed again and is named
    // after its archive rather than its unpacked copy.
    TRunSource source;
    std::error_code ec;
    source.modFolder = fs::absolute(m.modFolder, ec).lexically_normal().string();
    source.installationType = patcher.RunOptions.installationType;
    source.compiler = patcher.Compiler.Compiler;
    source.noSandbox = !patcher.Compiler.Sandbox;
    source.entry = mod.entry->name;
    if (mod.archive) {
      source.archive = fs::absolute(mod.entry->source, ec).lexically_normal().string();
      source.archiveSha256 = mod.sourceSha256;
      source.in = mod.entry->in.value_or("");
    }
    patcher.RunOptions.source = source;
  }
  // The list decided to install it (resuming skips what is installed).
  patcher.RunOptions.confirmReinstall = [](const platform::RunRecord&) { return true; };
  try {
    TRunResult result;
    patcher.Run(result);
    run.warnings = result.Warnings;
    run.errors = result.Errors;
    run.verdict = VerdictOf(run.warnings, run.errors);
  } catch (const ERunRefused& e) {
    run.verdict = e.Code() == kRefusedLocked ? "locked" : "failed";
    run.message = MessageToUtf8(e.what());
  } catch (const ECancelled& e) {
    run.verdict = "cancelled";
    run.message = MessageToUtf8(e.what());
  } catch (const Exception& e) {
    run.verdict = "failed";
    run.message = MessageToUtf8(FailureMessage(e));
  }
  if (run.verdict != "locked") {
    run.warnings = std::max(run.warnings, static_cast<int>(patcher.WarningCount()));
    run.errors = std::max(run.errors, static_cast<int>(patcher.ErrorCount()));
  }
  if (s.journal && !run.Failed())
    if (const platform::RunRecord* record = patcher.RunRecordOfRun()) run.runId = record->id;
  // The log beside the mod's unpacked copy (or its folder), as `install` leaves it.
  if (s.journal && run.verdict != "locked") {
    try {
      TQK_Inifile settings(m.IniPath().string());
      if (settings.ReadBool("Settings", "PlaintextLog", false))
        plainLog.SaveToFile(fs::path(appPath) / "installlog.txt");
      else
        richLog.SaveToFile(fs::path(appPath) / "installlog.rtf");
    } catch (const Exception&) {
      // A log that cannot be saved leaves the installation as it is.
    }
  }
  return run;
}

// The files below folder, relative, in name order.
std::vector<fs::path> FilesBelow(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path().lexically_relative(folder));
  std::sort(files.begin(), files.end());
  return files;
}

// The installer's records are never a copy's target, whatever the list says.
bool InsideJournal(const fs::path& target, const fs::path& game) {
  const fs::path relative = target.lexically_normal().lexically_relative(game);
  const fs::path home = platform::JournalHome(game).filename();
  return !relative.empty() && EqualsNoCase(relative.begin()->string(), home.string());
}

void Say(const RunSetting& s, const std::string& line) {
  if (!s.out) return;
  if (s.bar) s.bar->BeforeLine();
  *s.out << line << '\n' << std::flush;
  if (s.bar) s.bar->AfterLine();
}

EntryRun RunCopy(const PreparedMod& mod, const RunSetting& s) {
  EntryRun run;
  const ModListEntry& e = *mod.entry;
  const fs::path game = fs::path(s.gameFolder).lexically_normal();
  // Held for the whole copy: one thing at a time per game folder.
  std::optional<TRunHistory> history;
  std::unique_ptr<platform::RunJournal> journal;
  if (s.journal) {
    try {
      if (!s.lockHeld) {
        history.emplace(game.string());
        history->Lock(e.name);
        // What a kill cut short is settled before anything else changes.
        history->RecoverUnfinished();
      }
    } catch (const ERunRefused& ex) {
      run.verdict = ex.Code() == kRefusedLocked ? "locked" : "failed";
      run.message = MessageToUtf8(ex.what());
      return run;
    }
    platform::RunRecord header;
    // Named after its source (the archive or the folder): the cache folder's
    // name is only a digest.
    header.modFolder = fs::absolute(e.source).lexically_normal().string();
    header.instructionFile = "copy " + e.copy->from + " -> " + e.copy->to;
    // The digest of the files it copies tells this version of the copy from
    // others; the caption carries the entry's name.
    header.instructionSha256 = mod.version.digests.current;
    header.caption = e.name;
    header.journal = platform::ReadJournalIdentity(game);
    journal = std::make_unique<platform::RunJournal>(s.files, game, header);
  }
  s.files.AddWritableRoot(game);
  // As for an installer run: no spelling of the journal and no link into it
  // is a target.
  s.files.AddGuardedFolder(platform::JournalHome(game));
  try {
    const std::string to = e.copy->to == "." ? "" : e.copy->to;
    const fs::path target = to.empty() ? game : s.files.Resolve(game, to);
    const auto files = FilesBelow(mod.copyFrom);
    std::vector<TWritePlace> places;
    // Folders made or found in this copy: each is checked once, its files
    // are still checked one by one as they are written.
    std::set<fs::path> folders;
    std::int32_t done = 0;
    for (const fs::path& relative : files) {
      if (s.cancel && s.cancel->load()) throw ECancelled("Installation interrupted.");
      // Letter case follows what is there: "Foo.TGA" replaces "foo.tga".
      const fs::path destination = s.files.Resolve(target, relative.generic_string());
      if (InsideJournal(destination, game))
        throw EPathError("Refusing to copy \"" + relative.generic_string() + "\" into the installer's own records.");
      if (folders.insert(destination.parent_path()).second) s.files.CreateDirectories(destination.parent_path());
      s.files.CopyFile(mod.copyFrom / relative, destination);
      places.push_back({TWritePlace::Kind::File, destination.lexically_relative(game).generic_string(), "", ""});
      if (s.bar) s.bar->Update(++done, static_cast<std::int32_t>(files.size()));
    }
    Say(s, "Copied " + Counted(files.size(), "file") + " into \"" + (to.empty() ? "." : to) + "\".");
    if (journal) {
      // The places this run wrote, for the conflict report; without them the
      // run stays undoable.
      const std::string text = PlacesText(places);
      try {
        journal->Handle().WriteText(kPlacesFile, text);
      } catch (const Exception&) {
      }
      journal->Finish("ok");
      run.runId = journal->Record().id;
    }
    run.verdict = "ok";
  } catch (const Exception& ex) {
    run.verdict = dynamic_cast<const ECancelled*>(&ex) ? "cancelled" : "failed";
    run.message = MessageToUtf8(ex.what());
    run.errors = 1;
    Say(s, "Error! " + run.message);
    if (journal) {
      const platform::RollbackResult r = journal->RollBack();
      Say(s, "Rolled back: " + Counted(r.restored, "file") + " put back and " +
                 Counted(r.removed, "new file or folder", "new files and folders") + " removed.");
    }
  }
  return run;
}

}  // namespace

EntryRun RunListEntry(const PreparedMod& mod, const RunSetting& setting) {
  return mod.entry->IsCopy() ? RunCopy(mod, setting) : RunInstaller(mod, setting);
}

}  // namespace vey::cli
