// MainWindowDrop: a mod folder or archive dropped on the window.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/MainWindow.h"

namespace vey::app {
namespace {

// The one local file or folder the drop carries; empty for anything else.
QString DroppedPath(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!Running() && !DroppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedPath(event->mimeData());
  // A run in progress keeps its mod.
  if (Running() || path.isEmpty()) return;
  event->acceptProposedAction();
  Q_EMIT ModDropped(path);
}

}  // namespace vey::app
