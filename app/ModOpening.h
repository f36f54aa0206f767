// ModOpening: what the person chose or dropped on the window, settled to the
// mod's folder: a folder as it is, an instruction file's mod folder, or a mod
// archive unpacked into the cache (asking which mod when it holds several).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vey::app {

struct OpenedMod {
  QString folder;   // the folder holding "veypatchdata"; empty when none
  QString archive;  // the archive it came from, if any
  QString error;    // why nothing was opened (empty also when the question was cancelled)
};

// askWhich gets the mod folders of an archive holding several ("." for its
// root) and returns the one chosen, or an empty string to cancel.
OpenedMod OpenModPath(const QString& chosen, const std::function<QString(const QStringList&)>& askWhich);

inline constexpr const char* kChooseModTitle =
    "Choose the mod: its archive, or the changes.ini in its folder; or a build file";
inline constexpr const char* kModFileFilter =
    "Mods (*.zip *.7z *.rar *.tar *.tgz *.tar.gz *.tar.bz2 *.tar.xz *.txz *.tar.zst *.ini);;Build files (*.toml);;"
    "All files (*)";
inline constexpr const char* kChooseModInArchiveTitle = "The archive holds several mods";

}  // namespace vey::app
