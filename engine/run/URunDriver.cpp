// URunDriver: Run, the one entry point of a patch run, and its 2DA loop.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "engine/run/UInstructionText.h"
#include "engine/support/URunReport.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/UERFHandler.h"
#include "formats/UTLKFile.h"

namespace vey {
namespace {

// The process that made a work file: "NAME.vey-PID-N.tmp" for a save,
// "PID-N_NAME" for a document staged for an archive; 0 for neither.
pid_t MakerOf(const std::string& name, bool staged) {
  std::size_t start = 0;
  if (!staged) {
    if (!platform::IsWriterTemp(name)) return 0;
    start = name.rfind(".vey-") + 5;
  }
  const std::size_t dash = name.find('-', start);
  if (dash == std::string::npos || dash == start || (staged && name.find('_', dash) == std::string::npos)) return 0;
  const std::string digits = name.substr(start, dash - start);
  if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<pid_t>(std::stol(digits));
}

// Work files of a process that still runs (the same mod installed into
// another game folder at the same time) are left alone.
bool LeftByTheDead(const std::string& name, bool staged) {
  const pid_t maker = MakerOf(name, staged);
  if (maker <= 0) return false;
  return maker == ::getpid() || (::kill(maker, 0) != 0 && errno == ESRCH);
}

// The user's short date and long time, as the process locale writes them.
std::string NowText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

}  // namespace

void TVEYPatcher::Run(TRunResult& result) {
  LogMessage(FormatMsg(FileHandler.InstallerMode ? "Installation started %s..."
                                                 : "Patch operation started %s...",
                       {NowText()}),
             LogKind::Status);
  LogLostCharacters(*this);
  try {
    CountWorkItems();
    FileHandler.CheckBackupFolder();
    if (FileHandler.InstallerMode) {
      FileHandler.LocateFile("dialog.tlk", fkTLK);
      transaction_->Begin(FileHandler.GameFolder);
    }
    RecoverScriptSources();
    RecoverWorkFolder();
    ProcessTLKList();
    ProcessInstallList();
    Process2DAList();
    PatchGFFFiles();
    ProcessHACKList();
    ProcessCompileList();
    ProcessSSFList();

    // Files taken out of archives are edited here; a folder that still holds
    // something stays for the person to look at.
    const std::string workFolder = DataPath() + "erfpatch_temp/";
    if (Files().IsDirectory(workFolder)) {
      try {
        Files().RemoveEmptyDirectory(workFolder);
      } catch (const Exception&) {
      }
    }

    const std::int32_t w = WarningCount(), e = ErrorCount();
    if (w > 0 && e == 0)
      LogMessage(FormatMsg("Done. Changes have been applied, but %s warnings were encountered.",
                           {IntToStr(w)}),
                 LogKind::Status);
    else if (w == 0 && e > 0)
      LogMessage(FormatMsg("Done. Some changes may have been applied, but %s errors were encountered!",
                           {IntToStr(e)}),
                 LogKind::Status);
    else if (w > 0 && e > 0)
      LogMessage(FormatMsg("Done. Some changes may have been applied, but %s errors and %s warnings "
                           "were encountered!",
                           {IntToStr(e), IntToStr(w)}),
                 LogKind::Status);
    else
      LogMessage("Done. All changes have been applied.", LogKind::Status);
    // Logged errors and warnings do not undo the run; it can be undone later.
    transaction_->Commit(e > 0 ? "errors" : w > 0 ? "warnings" : "ok");
    result.Warnings = w;
    result.Errors = e;
  } catch (const ERunRefused& e) {
    // Nothing was changed and the lock is another run's: nothing to undo.
    const bool answeredNo = e.Code() == kRefusedAlreadyInstalled && RunOptions.reinstallIsQuestion;
    LogMessage(e.what(), answeredNo ? LogKind::Status : LogKind::Error);
    throw;
  } catch (const std::exception& e) {
    LogFailure(e);
    transaction_->Fail(dynamic_cast<const ECancelled*>(&e) ? "the installation was interrupted"
                                                           : "the run ended with a failure");
    throw;
  }
}

void TVEYPatcher::RecoverWorkFolder() {
  const std::string work = DataPath() + "erfpatch_temp/";
  if (!Files().IsDirectory(work)) return;
  for (const std::string& name : Files().List(work))
    if (LeftByTheDead(name, false)) Files().RemoveFile(work + name);
  const std::string queued = work + "queued/";
  if (Files().IsDirectory(queued)) {
    for (const std::string& name : Files().List(queued))
      if (LeftByTheDead(name, true) || LeftByTheDead(name, false)) Files().RemoveFile(queued + name);
    Files().RemoveEmptyDirectory(queued);
  }
  Files().RemoveEmptyDirectory(work);
}

void TVEYPatcher::LogFailure(const std::exception& failure) {
  if (const auto* e = dynamic_cast<const EHell*>(&failure))
    LogMessage(std::string(e->what()) + " (TLK)", LogKind::Error);
  else if (const auto* e = dynamic_cast<const EDead*>(&failure))
    LogMessage(std::string(e->what()) + " (2DA-" + IntToStr(e->Code()) + ")", LogKind::Error);
  else if (const auto* e = dynamic_cast<const EAbort*>(&failure))
    LogMessage(std::string(e->what()) + " (GEN-" + IntToStr(e->Code()) + ")", LogKind::Error);
  else if (const auto* e = dynamic_cast<const EGFFError*>(&failure))
    LogMessage(std::string(e->what()) + " (GFF-" + IntToStr(e->Code()) + ")", LogKind::Error);
  // A damaged archive is the archive's failure, not an unforeseen one.
  else if (const auto* e = dynamic_cast<const EERFError*>(&failure))
    LogMessage(std::string(e->what()) + " (ERF-" + IntToStr(e->Code()) + ")", LogKind::Error);
  else if (const auto* e = dynamic_cast<const EFOpenError*>(&failure))
    LogMessage(std::string(e->what()) + " (EXT-" + IntToStr(e->Code()) + ")", LogKind::Error);
  else if (const auto* e = dynamic_cast<const ECancelled*>(&failure))
    LogMessage(e->what(), LogKind::Error);
  else if (const auto* e = dynamic_cast<const Exception*>(&failure))
    LogMessage(FormatMsg("Unhandled exception: %s (%s)", {e->what(), IntToStr(e->Code())}),
               LogKind::Error);
  // Anything else (out of memory) passes unlogged, as before; the run is
  // still undone.
}

void TVEYPatcher::Process2DAList() {
  for (const std::string& key : IniFile().ReadSection("2DAList")) {
    const std::string value = IniFile().ReadString("2DAList", key, "");
    SetCurrentFile(value);
    if (value.empty() || !FileHandler.LocateFile(value, fk2DA)) {
      LogMessage(FormatMsg("No %s file was specified! Skipping it...", {value}), LogKind::Warning);
      continue;
    }
    const std::string path = FileHandler.GetFilePath();
    const std::vector<std::uint8_t> loaded = Files().ReadFile(path);
    TableFile.LoadFromBytes(loaded, path);
    if (!TableFile.Loaded()) {
      LogMessage(FormatMsg("Unable to load the 2DA file %s! Skipping it...", {value}),
                 LogKind::Warning);
      continue;
    }
    const std::int32_t rowsBefore = TableFile.RowCount(), columnsBefore = TableFile.ColumnCount();
    // The cells changed are noted as they change, for the report.
    if (Report) TableFile.KeepChanges();
    for (const std::string& modifierKey : IniFile().ReadSection(value)) {
      const std::string modifier = IniFile().ReadString(value, modifierKey, "");
      if (modifierKey.empty() || modifier.empty()) continue;
      // Case-sensitive substring tests, first match wins.
      if (modifierKey.find("AddRow") != std::string::npos)
        ApplyAddRow(modifier);
      else if (modifierKey.find("ChangeRow") != std::string::npos)
        ApplyChangeRow(modifier);
      else if (modifierKey.find("AddColumn") != std::string::npos)
        ApplyAddColumn(modifier);
      else if (modifierKey.find("CopyRow") != std::string::npos)
        ApplyCopyRow(modifier);
      else
        LogMessage(FormatMsg("Invalid modifier type \"%s\" found for modifier label \"%s\". Skipping...",
                             {modifierKey, modifier}),
                   LogKind::Warning);
    }
    if (FileHandler.BackupFile())
      LogMessage(FormatMsg("Saving unaltered backup copy of %s in %s",
                           {FileHandler.FileName, PathText(FileHandler.BackupFolder()) + value}),
                 LogKind::Install);
    const std::string savePath = FileHandler.GetFilePath();
    Files().WriteFile(savePath, TableFile.SaveToBytes());
    if (Report) {
      Report->TableGrown(savePath, TableFile, rowsBefore, columnsBefore);
      Report->CellsChanged(savePath, TableFile);
    }
    AdvanceProgress(1);
    LogMessage(FormatMsg("Updated 2DA file %s.", {PathText(savePath)}), LogKind::Install);
  }
}

}  // namespace vey
