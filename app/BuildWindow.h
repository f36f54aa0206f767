// BuildWindow: a whole published build in the window. A table of its mods
// in install order with their state, a filter for the rows a person must act
// on, a details pane with the mod's texts, download pages and options, and
// Check, Install and Cancel. The check and the install run on a thread of
// their own through the list layer, which the command line drives too; the
// window only shows what they return and saves the choices beside the build.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "modlist/BuildSession.h"

namespace vey::app {

// True for a readable file whose content makes it a published build.
bool IsBuildFilePath(const QString& path);

class BuildWindow : public QMainWindow {
  Q_OBJECT

 public:
  BuildWindow(QString buildFile, QString downloads, QString game, QWidget* parent = nullptr);
  ~BuildWindow() override;

  // Checks the build on the worker thread; the table fills when it is done.
  void Check();
  // Installs every chosen, ready mod in order on the worker thread.
  void Install();
  // Asks the install to stop: the current mod is rolled back, the earlier stay.
  void Cancel();
  void SetGameFolder(const QString& folder);
  void SetDownloadsFolder(const QString& folder);
  bool Busy() const { return worker_ != nullptr; }
  // The row's state word as shown ("ready", "missing download", "installed", ...).
  QString StateOf(int row) const;
  const modlist::BuildSession* Session() const { return session_.get(); }

  // Controls, named as the tests and the screenshots find them.
  QLabel* lblBuild = nullptr;
  QLabel* lblDownloads = nullptr;
  QLabel* lblGame = nullptr;
  QPushButton* btnDownloads = nullptr;
  QPushButton* btnGame = nullptr;
  QCheckBox* cbAttention = nullptr;
  QTableWidget* tblMods = nullptr;
  QTextBrowser* txtDetails = nullptr;
  QWidget* paneOptions = nullptr;
  QLabel* lblCurrent = nullptr;
  QProgressBar* pbar = nullptr;
  QPlainTextEdit* txtLog = nullptr;
  QLabel* lblSummary = nullptr;
  QPushButton* btnCheck = nullptr;
  QPushButton* btnInstall = nullptr;
  QPushButton* btnCancel = nullptr;

 Q_SIGNALS:
  // A check or an install is over and the table shows its outcome.
  void WorkDone();

 private:
  struct Line {
    QString text;
    platform::TextAttributes attributes;
    bool coloured = false;
  };
  void BuildControls();
  void ShowSession();
  void FillRow(int row);
  void ShowDetails();
  void ApplyFilter();
  void ModToggled(int row, bool chosen);
  void OptionToggled(const modlist::BuildMod& mod, const modlist::BuildOption& option, bool chosen);
  void SaveChoices();
  void SetBusy(bool busy);
  void Push(Line line);
  void Drain();
  const modlist::BuildMod* ModOfRow(int row) const;

  QString buildFile_, downloads_, game_;
  std::unique_ptr<modlist::BuildSession> session_;
  std::vector<std::string> states_;  // per mod: the journal's word after an install, else empty
  QString error_;                    // the build could not be opened
  QThread* worker_ = nullptr;
  std::atomic<bool> cancel_{false};
  std::mutex linesMutex_;
  std::vector<Line> lines_;
  QTimer drain_;
  bool updating_ = false;
};

}  // namespace vey::app
