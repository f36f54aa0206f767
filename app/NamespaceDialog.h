// NamespaceDialog: the choice of installation type when the mod's data folder
// holds "namespaces.ini": a drop-down of the types and the chosen one's
// description. The reading of the file is TNamespaces'.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <string>

#include "engine/support/UNamespaces.h"
#include "platform/GameFileSystem.h"

namespace vey::app {

class NamespaceDialog : public QDialog {
  Q_OBJECT

 public:
  NamespaceDialog(const platform::GameFileSystem& fs, std::filesystem::path dataPath, QWidget* parent = nullptr);

  // The selected type's files, read after the dialog was accepted.
  std::string GetNamespaceIni() const { return types_.GetNamespaceIni(); }
  std::string GetNamespaceInfo() const { return types_.GetNamespaceInfo(); }
  std::filesystem::path GetNamespacePath() const { return types_.GetNamespacePath(); }
  // The selected type's "DataPath" when it names no folder inside the data
  // folder (the type then falls back to the data folder itself); else empty.
  std::string UnusableSubFolder() const;
  // The selected type's name as listed, and its identifier in "namespaces.ini".
  std::string SelectedName() const;
  std::string SelectedId() const;
  // Centres the dialog on window once that is shown, else on the screen it
  // will show on.
  void PlaceOver(const QWidget& window);

  QComboBox* cbNamespace = nullptr;
  QPlainTextEdit* txtDesc = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void FillList();
  void NamespaceChanged(int index);

  const platform::GameFileSystem& fs_;
  std::filesystem::path dataPath_;
  TNamespaces types_;
};

}  // namespace vey::app
