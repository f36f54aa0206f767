// StartOptions: the window's command line and the search for the mod folder.
#include "app/StartOptions.h"

#include <QDir>
#include <QFileInfo>

#include "app/QtText.h"

namespace vey::app {

StartOptions ParseStartOptions(const QStringList& arguments) {
  StartOptions options;
  QStringList positional;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    auto value = [&](const QString& name, QString& into) {
      if (a == name) {
        if (i + 1 >= arguments.size()) {
          options.error = QStringLiteral("%1 needs a folder").arg(name);
          return true;
        }
        into = arguments[++i];
        return true;
      }
      if (a.startsWith(name + u'=')) {
        into = a.mid(name.size() + 1);
        return true;
      }
      return false;
    };
    if (value(QStringLiteral("--mod"), options.modDir) || value(QStringLiteral("--game"), options.gameDir) ||
        value(QStringLiteral("--compiler"), options.compiler) ||
        value(QStringLiteral("--backup-dir"), options.backupDir))
      continue;
    positional << a;
  }
  if (!positional.isEmpty() && positional[0].right(4).toLower() == QLatin1String(".ini"))
    options.iniName = ToWin1252(positional[0]);
  if (positional.size() >= 2 && positional[1].right(4).toLower() == QLatin1String(".rtf"))
    options.infoName = ToWin1252(positional[1]);
  return options;
}

QString FindModFolder(const StartOptions& options, const QString& executableDir, const QString& currentDir,
                      const std::function<QString()>& choose) {
  if (!options.modDir.isEmpty()) return QDir(options.modDir).absolutePath();
  for (const QString& folder : {executableDir, currentDir})
    if (!folder.isEmpty() && QFileInfo(QDir(folder).filePath(QStringLiteral("veypatchdata"))).isDir())
      return QDir(folder).absolutePath();
  return choose ? choose() : QString();
}

}  // namespace vey::app
