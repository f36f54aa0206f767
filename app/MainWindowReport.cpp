// MainWindowReport: the game folder's report put on the clipboard, for a
// player to paste into a forum post.
#include <QApplication>
#include <QClipboard>
#include <QDir>

#include "app/MainWindow.h"
#include "app/QtText.h"
#include "engine/run/UGameReport.h"

namespace vey::app {

void MainWindow::btnCopyReportClick() {
  if (undoGame_.isEmpty() || Running()) return;
  platform::IMessageBoxes& boxes = *dialogs_.messages;
  try {
    const std::string report =
        GameReport(ToPath(QDir(undoGame_).absolutePath()), TReportPrivacy::FromEnvironment());
    QApplication::clipboard()->setText(QString::fromUtf8(report.data(), static_cast<qsizetype>(report.size())));
    boxes.ShowInfo(
        "The report of the game folder is on the clipboard. Paste it into your post; it names no folder "
        "outside the game folder.");
  } catch (const Exception& e) {
    boxes.ShowWarning(e.what());
  }
}

}  // namespace vey::app
