// QtDialogs: message boxes, the file-open dialog and the folder chooser.
#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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

std::unique_ptr<QMessageBox> QtMessageBoxes::ChoiceBox(QWidget* parent, std::string_view text,
                                                       const std::vector<std::string>& choices) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, QApplication::applicationName(),
                                           FromWin1252(text), QMessageBox::NoButton, parent);
  for (std::size_t i = 0; i < choices.size(); ++i)
    box->addButton(FromWin1252(choices[i]), QMessageBox::AcceptRole)->setProperty("choice", static_cast<int>(i));
  box->setDefaultButton(box->addButton(QMessageBox::Cancel));
  return box;
}

int QtMessageBoxes::AskChoice(std::string_view text, const std::vector<std::string>& choices) {
  const auto box = ChoiceBox(parent_, text, choices);
  box->exec();
  const QVariant choice = box->clickedButton() ? box->clickedButton()->property("choice") : QVariant();
  return choice.isValid() ? choice.toInt() : -1;
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
