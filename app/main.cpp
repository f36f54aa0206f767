// veypatcher: the installer's desktop window. Finds the mod folder, lets the
// user choose an installation type, and shows the window until it is closed.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>

#include "app/AppIcon.h"
#include "app/Automation.h"
#include "app/MainWindow.h"
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
  const QString modFolder =
      vey::app::FindModFolder(options, QApplication::applicationDirPath(), QDir::currentPath(), [] {
        return QFileDialog::getExistingDirectory(nullptr, QString::fromUtf8(vey::app::kChooseModFolderTitle));
      });
  if (modFolder.isEmpty()) return 0;

  std::unique_ptr<vey::app::Automation> automation = vey::app::Automation::FromEnvironment();
  vey::app::MainWindow window(options, modFolder, automation ? automation->Dialogs() : vey::app::DialogLayer{});
  std::function<int(vey::app::NamespaceDialog&)> execDialog;
  if (automation) execDialog = [&](vey::app::NamespaceDialog& d) { return automation->ExecNamespaceDialog(d); };
  if (!window.Prepare(execDialog)) return 0;
  // First shown centred on the desktop.
  if (QScreen* screen = QApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  if (automation) automation->Drive(window);
  const int status = QApplication::exec();
  return automation ? automation->ExitStatus() : status;
}
