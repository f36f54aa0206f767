// UVEYPatcher: TVEYPatcher, the patch engine of one run: its settings, the
// levelled and coloured progress log with its counters, and progress reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/UQK_IniFile.h"
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
  // Adds n work units and reports the position through OnProgress.
  void AdvanceProgress(std::int32_t n);
  // ProgressMax from the instruction lists; ProgressCount back to 0.
  void CountWorkItems();

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

  // Set by the owner after construction and before the run; not owned.
  // The view matching PlaintextLog() receives the log; without it, lines
  // are counted but go nowhere.
  platform::IRichLogView* RichLog = nullptr;
  platform::IPlainLogView* PlainLog = nullptr;
  // The game folder, once it is settled.
  std::function<void(const std::string& folder)> OnGameFolder;
  std::function<void(std::int32_t position, std::int32_t maximum)> OnProgress;

 private:
  void WriteLine(std::string_view plainTag, std::string_view richLead, std::string_view text,
                 platform::Rgb color, bool bold);

  PatcherPlatform platform_;
  // The paths come before the instruction file opened on them.
  std::string appPath_;
  std::string iniFileName_;
  std::string dataPath_;
  TQK_Inifile iniFile_;
  std::int32_t lineCount_ = 0;
  bool plaintextLog_ = false;
  std::int32_t logLevel_ = 3;
  std::int32_t warningCount_ = 0;
  std::int32_t errorCount_ = 0;
  std::string currentFile_;
  std::int32_t progressCount_ = 0;
  std::int32_t progressMax_ = 0;
};

}  // namespace vey
