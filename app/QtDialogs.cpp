// QtDialogs: message boxes, the file-open dialog and the folder chooser.
#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/QtText.h"

namespace vey::app {

void QtMessageBoxes::ShowWarning(std::string_view text) {
  QMessageBox::warning(parent_, QApplication::applicationName(), FromWin1252(text));
}

void QtMessageBoxes::ShowInfo(std::string_view text) {
  QMessageBox::information(parent_, QApplication::applicationName(), FromWin1252(text));
}

bool QtMessageBoxes::AskYesNo(std::string_view text) {
  return QMessageBox::question(parent_, QApplication::applicationName(), FromWin1252(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QString QtOpenDialog::QtFilter(const std::string& filter) {
  // Pairs of "description|pattern"; Qt wants "description (pattern)" per line,
  // and the descriptions usually carry the pattern already.
  const QStringList parts = FromWin1252(filter).split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    const QString pattern = QString(parts[i + 1]).replace(u';', u' ');
    if (!description.contains(u'(')) description += QStringLiteral(" (%1)").arg(pattern);
    filters << description;
  }
  filters << QApplication::translate("QtOpenDialog", "All files (*)");
  return filters.join(QStringLiteral(";;"));
}

bool QtOpenDialog::Execute() {
  const QString suggested = FromWin1252(FileName);
  const QString chosen =
      QFileDialog::getOpenFileName(parent_, FromWin1252(Title), suggested, QtFilter(Filter));
  if (chosen.isEmpty()) return false;
  FileName = ToPath(chosen);
  return true;
}

std::string QtFolderChooser::BrowseForFolder(std::string_view title, unsigned /*flags*/) {
  const QString folder = QFileDialog::getExistingDirectory(parent_, FromWin1252(title));
  return folder.isEmpty() ? std::string() : ToPath(folder);
}

}  // namespace vey::app
