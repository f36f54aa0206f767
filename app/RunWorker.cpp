// RunWorker: the engine's run off the window's thread.
#include "app/RunWorker.h"

#include <exception>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "engine/support/UOutcome.h"
#include "engine/run/UTransaction.h"
#include "platform/Headless.h"
#include "platform/WineRegistry.h"

namespace vey::app {

RunWorker::RunWorker(RunRequest request, WindowDialogs dialogs, QObject* window, std::function<void()> beforeDialog,
                     LogRelay& relay)
    : request_(std::move(request)), dialogs_(dialogs), hop_(window, std::move(beforeDialog)), relay_(relay) {}

RunWorker::~RunWorker() = default;

void RunWorker::SetLinePause(int lineNumber, std::function<void()> onWindowThread) {
  pauseLine_ = lineNumber;
  pause_ = std::move(onWindowThread);
}

void RunWorker::AfterLine(int lineNumber) {
  if (pause_ && lineNumber == pauseLine_) hop_.Call(pause_);
}

void RunWorker::Run() {
  CrossThreadMessageBoxes messages(dialogs_.messages, hop_);
  CrossThreadOpenDialog openDialog(dialogs_.openDialog, hop_);
  CrossThreadFolderChooser askedFolder(dialogs_.folderChooser, hop_);
  platform::GivenFolder givenFolder(request_.gameDir);
  platform::EmptyRegistry noRegistry;
  platform::WineRegistry wineRegistry;
  platform::IRegistry* registry = dialogs_.registry ? dialogs_.registry : &wineRegistry;
  if (!request_.gameDir.empty()) registry = &noRegistry;
  platform::IFolderChooser& chooser =
      request_.gameDir.empty() ? static_cast<platform::IFolderChooser&>(askedFolder) : givenFolder;
  // The window repaints on its own thread; the engine need not pump events.
  platform::HeadlessEventPump events;
  platform::GameFileSystem files;
  PatcherPlatform bundle{openDialog, chooser, *registry, events, messages, files};

  RelayRichLog richView(relay_, richKept_);
  RelayPlainLog plainView(relay_, plainKept_);
  if (pause_) {
    richView.afterLine = [this](int n) { AfterLine(n); };
    plainView.afterLine = [this](int n) { AfterLine(n); };
  }
  bool gameFolderSettled = false;
  bool installerMode = false;
  try {
    TVEYPatcher patcher(request_.iniName, bundle, request_.appPath, request_.dataPath);
    installerMode = patcher.FileHandler.InstallerMode;
    patcher.RichLog = &richView;
    patcher.PlainLog = &plainView;
    patcher.Compiler.Compiler = request_.compiler;
    patcher.FileHandler.BackupDir = request_.backupDir;
    patcher.OnProgress = [this](std::int32_t position, std::int32_t maximum) {
      relay_.SetProgress(position, maximum);
    };
    patcher.OnGameFolder = [this, &gameFolderSettled](const std::string& folder) {
      gameFolderSettled = true;
      relay_.SetGameFolder(folder);
    };
    patcher.RunOptions.cancel = &cancel_;
    patcher.RunOptions.installationType = request_.installationType;
    patcher.RunOptions.reinstallIsQuestion = true;
    patcher.RunOptions.confirmReinstall = [this, &messages](const platform::RunRecord& earlier) {
      const bool again = messages.AskYesNo(FormatMsg("This mod was already installed into this game on %s UTC (run "
                                                     "%s). Installing it again may add its rows and fields a "
                                                     "second time. Install it again?",
                                                     {earlier.started, PathText(earlier.id)}));
      outcome_.declined = !again;
      return again;
    };
    patcher.Run(outcome_.result);
    outcome_.completed = true;
  } catch (const ERunRefused& e) {
    // Declined, or another run holds the game folder: nothing was changed.
    outcome_.failure = e.what();
    outcome_.changedNothing = true;
  } catch (const ECancelled& e) {
    outcome_.failure = std::string(e.what()) + " Check the progress log for what was rolled back.";
  } catch (const Exception& e) {
    outcome_.failure = FailureMessage(e);
  } catch (const std::exception& e) {
    // Anything else would end the program from this thread; the window
    // reports it like a failure and still saves the log.
    outcome_.failure = std::string("An unhandled error occured! ") + e.what();
  } catch (...) {
    outcome_.failure = "An unhandled error occured! ";
  }
  // Without a game folder an installation has not touched the game.
  if (!outcome_.completed && installerMode && !gameFolderSettled) outcome_.changedNothing = true;
  // Saved here rather than by the window: writing a long log as RTF would
  // hold up the window's thread.
  if (!request_.logFile.empty()) {
    try {
      if (request_.plaintextLog)
        plainKept_.SaveToFile(request_.logFile);
      else
        richKept_.SaveToFile(request_.logFile);
    } catch (const Exception& e) {
      outcome_.logError = e.what();
    }
  }
  Q_EMIT Finished();
}

}  // namespace vey::app
