// CrossThread: the platform's dialogs as the engine's worker thread sees them.
// Each call is carried out by the window's thread while the worker waits for
// the answer; before a dialog appears the window first shows every log line
// written so far, so lines and dialogs keep their order.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

#include "platform/Platform.h"

namespace vey::app {

// Runs call on the thread of context and waits for it to return; runs it
// directly when already on that thread. beforeDialog (may be empty) runs
// first, on the same thread.
class ThreadHop {
 public:
  ThreadHop(QObject* context, std::function<void()> beforeDialog)
      : context_(context), beforeDialog_(std::move(beforeDialog)) {}
  void Call(const std::function<void()>& call) const;

 private:
  QPointer<QObject> context_;
  std::function<void()> beforeDialog_;
};

class CrossThreadMessageBoxes : public platform::IMessageBoxes {
 public:
  CrossThreadMessageBoxes(platform::IMessageBoxes& inner, const ThreadHop& hop) : inner_(inner), hop_(hop) {}
  void ShowWarning(std::string_view text) override;
  void ShowInfo(std::string_view text) override;
  bool AskYesNo(std::string_view text) override;

 private:
  platform::IMessageBoxes& inner_;
  const ThreadHop& hop_;
};

// Hands the request fields to the window's dialog and the chosen file back.
class CrossThreadOpenDialog : public platform::IOpenDialog {
 public:
  CrossThreadOpenDialog(platform::IOpenDialog& inner, const ThreadHop& hop) : inner_(inner), hop_(hop) {}
  bool Execute() override;

 private:
  platform::IOpenDialog& inner_;
  const ThreadHop& hop_;
};

class CrossThreadFolderChooser : public platform::IFolderChooser {
 public:
  CrossThreadFolderChooser(platform::IFolderChooser& inner, const ThreadHop& hop) : inner_(inner), hop_(hop) {}
  std::string BrowseForFolder(std::string_view title, unsigned flags) override;

 private:
  platform::IFolderChooser& inner_;
  const ThreadHop& hop_;
};

}  // namespace vey::app
