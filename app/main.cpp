// veypatcher: the installer's desktop window. Finds the mod folder, lets the
// user choose an installation type, and shows the window until it is closed.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/AppIcon.h"
#include "app/Automation.h"
#include "app/BuildWindow.h"
#include "app/MainWindow.h"
#include "app/ModOpening.h"
#include "app/NamespaceDialog.h"
#include "app/StartOptions.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VEYPatcher"));
  QApplication::setWindowIcon(vey::app::AppIcon());

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  const vey::app::StartOptions options = vey::app::ParseStartOptions(arguments);
  if (!options.error.isEmpty()) {
    QMessageBox::warning(nullptr, QApplication::applicationName(),
                         options.error + QStringLiteral("\n\nUsage: veypatcher [--mod DIR] [--game DIR] [--compiler PATH] [--backup-dir DIR] [FILE.ini [FILE.rtf]]"));
    return 64;
  }
  // A published build, named on the command line or chosen: the build view.
  const auto openBuild = [&](const QString& file) {
    vey::app::BuildWindow window(file, QString(), options.gameDir);
    if (QScreen* screen = QApplication::primaryScreen())
      window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    window.Check();
    return QApplication::exec();
  };
  for (const QString& argument : arguments)
    if (!argument.startsWith(QLatin1Char('-')) && vey::app::IsBuildFilePath(argument)) return openBuild(argument);
  const QString chosen =
      vey::app::FindModFolder(options, QApplication::applicationDirPath(), QDir::currentPath(), [] {
        return QFileDialog::getOpenFileName(nullptr, QString::fromUtf8(vey::app::kChooseModTitle), QString(),
                                            QString::fromUtf8(vey::app::kModFileFilter));
      });
  if (chosen.isEmpty()) return 0;
  if (vey::app::IsBuildFilePath(chosen)) return openBuild(chosen);
  // An archive holding several mods: the person picks one.
  const auto askWhich = [](const QStringList& choices) {
    bool ok = false;
    const QString pick = QInputDialog::getItem(nullptr, QString::fromUtf8(vey::app::kChooseModInArchiveTitle),
                                               QStringLiteral("Which mod?"), choices, 0, false, &ok);
    return ok ? pick : QString();
  };
  const vey::app::OpenedMod first = vey::app::OpenModPath(chosen, askWhich);
  if (!first.error.isEmpty()) {
    QMessageBox::warning(nullptr, QApplication::applicationName(), first.error);
    return 1;
  }
  if (first.folder.isEmpty()) return 0;

  std::unique_ptr<vey::app::Automation> automation = vey::app::Automation::FromEnvironment();
  std::function<int(vey::app::NamespaceDialog&)> execDialog;
  if (automation) execDialog = [&](vey::app::NamespaceDialog& d) { return automation->ExecNamespaceDialog(d); };
  std::unique_ptr<vey::app::MainWindow> window;
  // A window for the mod in folder; false when its installation-type dialog was left.
  std::function<bool(const QString&)> openWindow = [&](const QString& folder) {
    auto next = std::make_unique<vey::app::MainWindow>(options, folder,
                                                       automation ? automation->Dialogs() : vey::app::DialogLayer{});
    if (!next->Prepare(execDialog)) return false;
    // A mod dropped on the window replaces it, once the drop has been handled.
    QObject::connect(next.get(), &vey::app::MainWindow::ModDropped, [&](const QString& path) {
      const vey::app::OpenedMod dropped = vey::app::OpenModPath(path, askWhich);
      if (!dropped.error.isEmpty()) QMessageBox::warning(window.get(), QApplication::applicationName(), dropped.error);
      if (dropped.folder.isEmpty()) return;
      QTimer::singleShot(0, [&, folder = dropped.folder] {
        std::unique_ptr<vey::app::MainWindow> previous = std::move(window);
        if (!openWindow(folder)) {
          window = std::move(previous);
          return;
        }
        window->move(previous->pos());
        window->show();
        previous->hide();
      });
    });
    window = std::move(next);
    return true;
  };
  if (!openWindow(first.folder)) return 0;
  // First shown centred on the desktop.
  if (QScreen* screen = QApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - window->rect().center());
  window->show();
  if (automation) automation->Drive(*window);
  const int status = QApplication::exec();
  return automation ? automation->ExitStatus() : status;
}
