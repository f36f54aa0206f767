// UVEYPatcher: TVEYPatcher, the patch engine of one run: its settings, the
// levelled and coloured progress log with its counters, progress reports, the
// token memory and the steps of a run, one per instruction list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/UQK_IniFile.h"
#include "engine/support/EngineErrors.h"
#include "engine/support/U2DAQuery.h"
#include "engine/support/UCompilerLauncher.h"
#include "engine/run/UPatchFileHandler.h"
#include "engine/run/UTransaction.h"
#include "formats/U2DAEdit.h"
#include "formats/UGFFChanges.h"
#include "formats/UGFFFile.h"
#include "platform/GameFileSystem.h"
#include "platform/Platform.h"

namespace vey {

// One kind per LogMessage call; the values are bits.
enum class LogKind : std::int32_t { Debug = 1, Error = 2, Warning = 4, Install = 8, Status = 16 };

// What the engine needs from its host, borrowed for the length of a run.
struct PatcherPlatform {
  platform::IOpenDialog& openDialog;
  platform::IFolderChooser& folderChooser;
  platform::IRegistry& registry;
  platform::IEventPump& events;
  platform::IMessageBoxes& messages;
  platform::GameFileSystem& files;
};

// A StrRef token number and the string number it stands for: first the index
// in the mod's talk table, after appending the number in the game's table.
struct TStrRefEntry {
  std::int32_t Token = 0;
  std::int32_t Value = 0;
};
// In TLKList order; the same token may occur twice and lookups take the first.
using TStrRefList = std::vector<TStrRefEntry>;
// 2DAMEMORY slots: token n addresses element n-1; grown on demand.
using TMemory = std::vector<std::string>;

// What a finished run hands back.
struct TRunResult {
  std::int32_t Warnings = 0;
  std::int32_t Errors = 0;
};

// One script prepared for compiling.
struct TCompileFileInfo {
  bool IsInclude = true;       // no start function: not compiled
  std::string SourceCopyPath;  // the unchanged source in "nsspatch_temp"
  std::string ScriptPath;      // the processed source that is compiled
};

// Who stores a 2DAMEMORY value (StoreMemoryToken's kind).
enum TMemoryKind : std::int32_t {
  mkAddRow = 1,
  mkChangeRow = 2,  // also the update of an exclusive match
  mkCopyRow = 4,
  mkAddColumn = 8,
  mkGFFField = 16,
};

// Higher slot numbers are refused like malformed ones: no mod needs them, and
// growing the memory to such a number would exhaust it.
constexpr std::int64_t kMaxMemorySlots = 100000;

class TRunReport;

class TVEYPatcher {
 public:
  // appPath is the installer's own folder. dataPath, when empty or not an
  // existing folder, becomes appPath + "veypatchdata/". Both are kept with a
  // trailing '/'. The instruction file is dataPath + iniFileName; a missing
  // one makes every setting take its default.
  TVEYPatcher(std::string iniFileName, const PatcherPlatform& platform, std::string appPath,
              std::string dataPath);
  ~TVEYPatcher();
  TVEYPatcher(const TVEYPatcher&) = delete;
  TVEYPatcher& operator=(const TVEYPatcher&) = delete;

  // Writes one line to the active view when LogLevel admits the kind, counts
  // errors and warnings whether written or not, then lets the host process
  // pending events. LogLevel 0 does nothing at all.
  void LogMessage(std::string_view text, LogKind kind);
  // Writes lines as if "LogLevel" were level, while errors and warnings are
  // still counted (or not) as the mod's "LogLevel" says.
  void SetShownLogLevel(std::int32_t level) { shownLevel_ = level; }
  // Adds n work units and reports the position through OnProgress.
  void AdvanceProgress(std::int32_t n);
  // ProgressMax from the instruction lists; ProgressCount back to 0.
  void CountWorkItems();

  // The whole run: start line, work count, game folder, every list in its
  // fixed order, work-folder removal and the verdict. A failure that escapes a
  // list is logged with its class tag and passed on; result is then untouched.
  // In installer mode the run is one transaction (TRunOptions): refused with
  // ERunRefused before any change, rolled back when a failure ends it.
  void Run(TRunResult& result);
  TRunOptions RunOptions;
  // This run's record (every changed file, sizes and digests once it ended);
  // null without a journal.
  const platform::RunRecord* RunRecordOfRun() const { return transaction_->Record(); }
  // Before the run changes the mod's own files: its digest is settled first.
  void BeforeModFilesChange() { transaction_->SettleDigest(); }
  // Puts back script sources that an interrupted run left processed.
  void RecoverScriptSources();
  // Removes what a killed run left in the data folder's "erfpatch_temp":
  // unfinished saves and documents waiting for an archive.
  void RecoverWorkFolder();
  // The 2DAList: load each table, apply its modifiers, back up, save.
  void Process2DAList();

  // Token memory.
  void LoadStrRefTable();
  bool IsStrRefToken(std::string_view text) const;
  std::int32_t ResolveStrRefToken(std::string_view text);
  // False when token is no 2DAMEMORY token or names slot 0.
  bool StoreMemoryToken(std::string_view token, std::string_view source, std::string_view fieldPath,
                        std::int32_t index, std::int32_t kind);
  std::string ResolveMemoryToken(std::string_view value);
  // A value from the instruction file with its token replaced: a StrRef token
  // becomes its string number, then a 2DAMEMORY token its slot's text. A slot
  // holding token text is not resolved again.
  std::string SubstituteTokens(std::string_view value);

  // The data-folder file to copy for a listed name ("!SourceFile"; EAbort when
  // it is missing) and the name it is saved under ("!SaveAs").
  std::string GetSourceFileName(std::string_view name);
  std::string GetSaveAsName(std::string_view name) const;
  // The instruction section the name lookups read for a listed file: the
  // file's own section, or the section of the GFFList entry that names the
  // file through "!Filename" while that entry is processed.
  std::string SectionFor(std::string_view name) const;
  void SetFileSection(std::string fileName, std::string section);
  void ClearFileSection();

  // Talk tables.
  void ProcessTLKList();
  void AppendTalkTable(std::int32_t pass);

  // 2DA modifiers, each on one modifier section against TableFile.
  void ApplyAddRow(std::string_view section);
  void ApplyChangeRow(std::string_view section);
  void ApplyAddColumn(std::string_view section);
  void ApplyCopyRow(std::string_view section);
  struct ExclusiveCheck {
    bool proceed = true;
    std::int32_t row = -1;
  };
  ExclusiveCheck CheckExclusiveColumn(std::string_view section, std::string_view column);
  void UpdateExclusiveRow(std::string_view section, std::int32_t row);
  bool UpdatedExclusiveMatch(std::string_view section);
  bool FindLabelIndexRow(std::int32_t& row, std::string_view section, std::string_view value,
                         std::string_view key);

  // Files installed unchanged, and the check for same-named override files.
  void ProcessInstallList();
  void CheckOverride(std::string_view fileName, std::string_view section,
                     std::string_view defaultDestination, bool destinationKnown);

  // GFF documents.
  void PatchGFFFiles();
  bool AddGFFField(std::string_view section, std::string_view defaultPath);
  // Fields attached or changed by AddField sections so far, nested ones
  // included: a section that only changes existing fields still changes the
  // document.
  std::int32_t AddFieldChanges() const { return addFieldChanges_; }

  // Soundsets, compiled-script integers, script compilation.
  void ProcessSSFList();
  void ProcessHACKList();
  void PatchBinaryFile(std::string_view fileName);
  void ProcessCompileList();
  TCompileFileInfo PrepareScript(const std::string& path);

  platform::GameFileSystem& Files() { return platform_.files; }

  TQK_Inifile& IniFile() { return iniFile_; }
  const TQK_Inifile& IniFile() const { return iniFile_; }
  const std::string& AppPath() const { return appPath_; }
  const std::string& IniFileName() const { return iniFileName_; }
  const std::string& DataPath() const { return dataPath_; }
  std::int32_t LineCount() const { return lineCount_; }
  bool PlaintextLog() const { return plaintextLog_; }
  std::int32_t LogLevel() const { return logLevel_; }
  std::int32_t WarningCount() const { return warningCount_; }
  std::int32_t ErrorCount() const { return errorCount_; }
  // The file the current list entry names, quoted in messages.
  const std::string& CurrentFile() const { return currentFile_; }
  void SetCurrentFile(std::string name) { currentFile_ = std::move(name); }
  std::int32_t ProgressCount() const { return progressCount_; }
  std::int32_t ProgressMax() const { return progressMax_; }
  const PatcherPlatform& Platform() const { return platform_; }

  // How scripts are compiled: the person's own compiler, the sandbox.
  TCompilerSettings Compiler;

  // Set by the owner after construction and before the run; not owned.
  // The view matching PlaintextLog() receives the log; without it, lines
  // are counted but go nowhere.
  platform::IRichLogView* RichLog = nullptr;
  platform::IPlainLogView* PlainLog = nullptr;
  // The game folder, once it is settled.
  std::function<void(const std::string& folder)> OnGameFolder;
  std::function<void(std::int32_t position, std::int32_t maximum)> OnProgress;
  // When set, the lists note in it what they change inside files.
  TRunReport* Report = nullptr;
  // Every written line in its plain-text form (tag and text) with the colour
  // and weight it has in the rich view, whichever view is active; the command
  // line prints and records the log through it.
  std::function<void(std::string_view taggedLine, const platform::TextAttributes& attributes)>
      OnLogLine;
  // Every written line's kind and text (Windows-1252), for hosts that keep
  // the log as data.
  std::function<void(LogKind kind, std::string_view text)> OnLogEntry;

 private:
  void LogFailure(const std::exception& e);
  void WriteLine(std::string_view plainTag, std::string_view richLead, std::string_view text,
                 platform::Rgb color, bool bold);

  PatcherPlatform platform_;
  // The paths come before the instruction file opened on them.
  std::string appPath_;
  std::string iniFileName_;
  std::string dataPath_;
  TQK_Inifile iniFile_;
  std::int32_t lineCount_ = 0;
  LogKind writingKind_ = LogKind::Debug;
  bool plaintextLog_ = false;
  std::int32_t logLevel_ = 3;
  std::optional<std::int32_t> shownLevel_;
  std::int32_t warningCount_ = 0;
  std::int32_t errorCount_ = 0;
  std::string currentFile_;
  std::int32_t progressCount_ = 0;
  std::int32_t progressMax_ = 0;
  std::string aliasFile_;
  std::string aliasSection_;
  // The AddField sections being processed, outermost first: a section that
  // is met again inside itself would add fields without end.
  std::vector<std::string> addFieldChain_;
  std::int32_t addFieldChanges_ = 0;
  std::unique_ptr<TTransaction> transaction_;

 public:
  // Shared by the lists, reused for every file of their kind. Declared after
  // the paths and the platform they are built from.
  T2DAHandler TableFile;
  TGFFFile GFFDocument;
  // What the GFF list's edits changed in GFFDocument, while a report is kept.
  TGFFChangeLog GFFChanges;
  TPatchFileHandler FileHandler;
  TStrRefList StrRefTable;
  TMemory Memory;

 private:
  // Cell and label lookups of the 2DA modifiers over TableFile; every change
  // the modifiers make goes through it.
  T2DAQuery tableQuery_{TableFile};
};

}  // namespace vey
