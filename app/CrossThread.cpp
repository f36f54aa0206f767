// CrossThread: dialogs asked for by the worker, shown by the window's thread.
#include "app/CrossThread.h"

#include <QMetaObject>
#include <QThread>

namespace vey::app {

void ThreadHop::Call(const std::function<void()>& call) const {
  auto onWindowThread = [&] {
    if (beforeDialog_) beforeDialog_();
    call();
  };
  QObject* context = context_.data();
  if (!context || context->thread() == QThread::currentThread()) {
    onWindowThread();
    return;
  }
  QMetaObject::invokeMethod(context, onWindowThread, Qt::BlockingQueuedConnection);
}

void CrossThreadMessageBoxes::ShowWarning(std::string_view text) {
  hop_.Call([&] { inner_.ShowWarning(text); });
}

void CrossThreadMessageBoxes::ShowInfo(std::string_view text) {
  hop_.Call([&] { inner_.ShowInfo(text); });
}

bool CrossThreadMessageBoxes::AskYesNo(std::string_view text) {
  bool yes = false;
  hop_.Call([&] { yes = inner_.AskYesNo(text); });
  return yes;
}

bool CrossThreadOpenDialog::Execute() {
  bool chosen = false;
  hop_.Call([&] {
    inner_.FileName = FileName;
    inner_.DefaultExt = DefaultExt;
    inner_.Filter = Filter;
    inner_.Title = Title;
    chosen = inner_.Execute();
    if (chosen) FileName = inner_.FileName;
  });
  return chosen;
}

std::string CrossThreadFolderChooser::BrowseForFolder(std::string_view title, unsigned flags) {
  std::string folder;
  hop_.Call([&] { folder = inner_.BrowseForFolder(title, flags); });
  return folder;
}

}  // namespace vey::app
