// StartOptions: the window's command line (--mod DIR, --game DIR,
// --compiler PATH, --backup-dir DIR and the instruction and information file names) and where the mod folder is found.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace vey::app {

struct StartOptions {
  QString modDir;   // the folder holding "veypatchdata"; empty: look for it
  QString gameDir;  // preset game folder
  QString compiler;  // the person's own script compiler; empty: the mod's
  QString backupDir;  // the person's own backup folder; empty: the mod folder's "backup"
  std::string iniName = "changes.ini";  // Windows-1252
  std::string infoName = "info.rtf";
  QString error;    // a malformed command line
};

// arguments without the program name. Of the other arguments, a first one
// ending in ".ini" (any letter case) names the instruction file and a second
// one ending in ".rtf" the information file; others are ignored.
StartOptions ParseStartOptions(const QStringList& arguments);

// The mod folder: --mod, else the executable's folder when it holds
// "veypatchdata", else the current folder when it does, else what choose
// returns (empty: none chosen).
QString FindModFolder(const StartOptions& options, const QString& executableDir, const QString& currentDir,
                      const std::function<QString()>& choose);

inline constexpr const char* kChooseModFolderTitle = "Choose the mod folder, the one that holds veypatchdata";

}  // namespace vey::app
