// ModOpening: mod folders, instruction files and mod archives opened in the window.
#include "app/ModOpening.h"

#include <QDir>
#include <QFileInfo>

#include "platform/ModArchive.h"

namespace vey::app {
namespace {

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(path.toStdString()); }
QString FromFs(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

OpenedMod OpenModPath(const QString& chosen, const std::function<QString(const QStringList&)>& askWhich) {
  OpenedMod opened;
  const QFileInfo info(chosen);
  if (info.isDir()) {
    opened.folder = info.absoluteFilePath();
    return opened;
  }
  if (!info.exists()) {
    opened.error = QStringLiteral("\"%1\" does not exist.").arg(chosen);
    return opened;
  }
  // An instruction file stands for the mod folder that holds its data folder.
  if (info.suffix().compare(QLatin1String("ini"), Qt::CaseInsensitive) == 0) {
    QDir folder = info.absoluteDir();
    if (folder.dirName().compare(QLatin1String("veypatchdata"), Qt::CaseInsensitive) == 0) folder.cdUp();
    opened.folder = folder.absolutePath();
    return opened;
  }
  try {
    if (!platform::LooksLikeArchive(FsPath(info.absoluteFilePath()))) {
      opened.error = QStringLiteral("\"%1\" is neither a mod folder nor an archive that can be read.").arg(chosen);
      return opened;
    }
    const platform::ExtractedMod copy =
        platform::ExtractModArchive(FsPath(info.absoluteFilePath()), platform::ModCacheHome());
    const auto found = platform::FindModFolders(copy.folder);
    std::optional<std::string> in;
    if (found.size() > 1) {
      QStringList choices;
      for (const auto& folder : found) choices << (folder.empty() ? QStringLiteral(".") : QString::fromStdString(folder));
      const QString pick = askWhich ? askWhich(choices) : QString();
      if (pick.isEmpty()) return opened;
      in = pick.toStdString();
    }
    opened.folder = FromFs(platform::ChooseModFolder(copy.folder, in));
    opened.archive = info.absoluteFilePath();
  } catch (const Exception& e) {
    opened.error = QString::fromStdString(e.what());
  }
  return opened;
}

}  // namespace vey::app
