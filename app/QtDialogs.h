// QtDialogs: the platform's questions and boxes as Qt dialogs, shown on the
// window's thread, and the bundle of them the window uses, which tests replace
// with scripted answers.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vey::app {

class QtMessageBoxes : public platform::IMessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
  void ShowWarning(std::string_view text) override;
  void ShowInfo(std::string_view text) override;
  bool AskYesNo(std::string_view text) override;
  int AskChoice(std::string_view text, const std::vector<std::string>& choices) override;
  // The question box of AskChoice, not yet shown: one button per choice in
  // their order, then Cancel, which is the default.
  static std::unique_ptr<QMessageBox> ChoiceBox(QWidget* parent, std::string_view text,
                                                const std::vector<std::string>& choices);

 private:
  QPointer<QWidget> parent_;
};

// The file name the engine suggests is shown preselected; its folder is the
// data folder when the name has none.
class QtOpenDialog : public platform::IOpenDialog {
 public:
  explicit QtOpenDialog(QWidget* parent) : parent_(parent) {}
  bool Execute() override;
  // "TLK file (*.tlk)|*.tlk" as a Qt name filter list.
  static QString QtFilter(const std::string& filter);

 private:
  QPointer<QWidget> parent_;
};

class QtFolderChooser : public platform::IFolderChooser {
 public:
  explicit QtFolderChooser(QWidget* parent) : parent_(parent) {}
  std::string BrowseForFolder(std::string_view title, unsigned flags) override;

 private:
  QPointer<QWidget> parent_;
};

// What the window asks a person, all used on the window's thread. Members
// left empty are filled with the Qt dialogs above.
struct DialogLayer {
  platform::IMessageBoxes* messages = nullptr;
  platform::IOpenDialog* openDialog = nullptr;
  platform::IFolderChooser* folderChooser = nullptr;
  // Read on the worker thread; null: the Wine registry.
  platform::IRegistry* registry = nullptr;
};

}  // namespace vey::app
