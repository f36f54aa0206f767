// QtText: the two kinds of text the engine hands over, turned into QString:
// Windows-1252 text from instruction files, and file system paths.
#pragma once

#include <QFile>
#include <QString>

#include <filesystem>
#include <string>
#include <string_view>

#include "common/PathText.h"
#include "common/Win1252.h"

namespace vey::app {

// Paths inside messages and log lines are marked (common/PathText.h); their
// characters come back here.
inline QString FromWin1252(std::string_view text) { return QString::fromStdString(MessageToUtf8(text)); }
inline std::string ToWin1252(const QString& text) { return Utf8ToWin1252(text.toStdString()); }

inline QString FromPath(const std::string& path) { return QFile::decodeName(path.c_str()); }
inline QString FromPath(const std::filesystem::path& path) { return FromPath(path.string()); }
inline std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace vey::app
