// RunWorker: one patch run on a thread of its own. It owns the engine and the
// kept log; the window's dialogs reach it through CrossThread wrappers, its
// log and progress go out through the LogRelay, and Finished() is emitted
// when the run is over, whatever ended it.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CrossThread.h"
#include "app/LogRelay.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/GameFileSystem.h"
#include "platform/LogViews.h"

namespace vey::app {

struct RunRequest {
  std::string iniName;   // Windows-1252, relative to dataPath
  std::string appPath;   // the installer folder, with a trailing '/'
  std::string dataPath;  // with a trailing '/'
  std::string gameDir;   // preset game folder; empty: registry and chooser
  std::string compiler;  // the person's script compiler; empty: the mod's
  std::string backupDir;  // the person's backup folder, with a trailing '/'; empty: the mod's "backup"
  std::string installationType;  // the chosen type's identifier; empty: the only one
  // Where the log is saved when the run is over (empty: not saved), and which view's.
  std::filesystem::path logFile;
  bool plaintextLog = false;
};

struct RunOutcome {
  bool completed = false;  // Run returned; result holds the counts
  TRunResult result;
  std::string failure;     // the closing box for a failure that ended the run (Windows-1252)
  std::string logError;    // why the log could not be saved
  // The run ended before changing anything: refused (the person answered No
  // to installing again, or another run holds the game folder), or no game
  // folder was settled. The person may then start it again.
  bool changedNothing = false;
  bool declined = false;  // the person answered No to installing again
};

// The window's own dialogs, used on its thread.
struct WindowDialogs {
  platform::IMessageBoxes& messages;
  platform::IOpenDialog& openDialog;
  platform::IFolderChooser& folderChooser;
  platform::IRegistry* registry;  // null: the Wine registry
};

class RunWorker : public QObject {
  Q_OBJECT

 public:
  // window: an object of the window's thread that carries the dialogs;
  // beforeDialog runs there before each one (it shows the pending log).
  RunWorker(RunRequest request, WindowDialogs dialogs, QObject* window, std::function<void()> beforeDialog,
            LogRelay& relay);
  ~RunWorker() override;

  // Runs on the window's thread, with the worker waiting, after the given
  // log line (0: never).
  void SetLinePause(int lineNumber, std::function<void()> onWindowThread);
  // Any thread: the run stops at its next safe point and puts back what it
  // changed (installer mode).
  void Cancel() { cancel_ = true; }

  // Read after Finished().
  const RunOutcome& Outcome() const { return outcome_; }
  const platform::RichTextLog& KeptRichLog() const { return richKept_; }
  const platform::PlainTextLog& KeptPlainLog() const { return plainKept_; }

 public Q_SLOTS:
  void Run();

 Q_SIGNALS:
  void Finished();

 private:
  void AfterLine(int lineNumber);

  RunRequest request_;
  WindowDialogs dialogs_;
  ThreadHop hop_;
  LogRelay& relay_;
  platform::RichTextLog richKept_;
  platform::PlainTextLog plainKept_;
  RunOutcome outcome_;
  int pauseLine_ = 0;
  std::function<void()> pause_;
  std::atomic<bool> cancel_{false};
};

}  // namespace vey::app
