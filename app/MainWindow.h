// MainWindow: the installer's window: the mod's information text or the
// configuration summary, the start and exit buttons, and during a run the
// live log, the progress bar and the game folder in the status bar. The run
// itself happens on a RunWorker's thread.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/LogRelay.h"
#include "app/QtDialogs.h"
#include "app/RunWorker.h"
#include "app/StartOptions.h"
#include "common/UQK_IniFile.h"
#include "platform/GameFileSystem.h"

namespace vey::app {

class NamespaceDialog;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // modFolder: the installer's folder, holding "veypatchdata"; the log and
  // the backups go there. Dialogs left empty in dialogs are Qt's.
  MainWindow(const StartOptions& options, const QString& modFolder, DialogLayer dialogs = {},
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The preparation before the window is first shown: the installation type,
  // the instruction file's settings and the information text. False when the
  // installation-type dialog was left: the program then ends without a run.
  // execDialog shows the dialog (tests answer it); empty: exec().
  bool Prepare(const std::function<int(NamespaceDialog&)>& execDialog = {});

  void btnContinueClick();
  void btnQuitClick();
  void btnSummaryClick();
  // Undoes the latest recorded installation of this mod, after asking.
  void btnUninstallClick();
  // Puts the game folder's plain-text report on the clipboard.
  void btnCopyReportClick();

  bool Finished() const { return finished_; }
  bool SummaryShown() const { return summaryShown_; }
  // From the start of the run until the outcome box, the view catching up included.
  bool Running() const { return thread_ != nullptr || runEnded_; }
  const std::string& IniName() const { return iniName_; }
  const std::string& InfoName() const { return infoName_; }
  // The identifier of the installation type chosen; empty when the mod has one only.
  const std::string& InstallationType() const { return installationType_; }
  const std::filesystem::path& DataPath() const { return dataPath_; }
  std::filesystem::path LogFile(bool plaintext) const;

  // The next run stops after the given log line and runs onWindowThread
  // (with every line so far shown) before going on; for screenshots.
  void SetLinePause(int lineNumber, std::function<void()> onWindowThread);

  // Lines not yet shown in the log views.
  std::size_t PendingLogEntries() const { return backlog_.size(); }

  // Controls, named as the tests and the screenshots find them.
  QWidget* paneMain = nullptr;
  QStackedWidget* views = nullptr;
  QTextBrowser* txtInfo = nullptr;       // information text and summary
  QPlainTextEdit* txtLog = nullptr;      // the coloured log
  QPlainTextEdit* txtFallback = nullptr; // the plain log
  QProgressBar* pbar = nullptr;
  QPushButton* btnContinue = nullptr;
  QPushButton* btnQuit = nullptr;
  QToolButton* btnSummary = nullptr;
  QPushButton* btnUninstall = nullptr;
  QPushButton* btnCopyReport = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* lblAuthorTag = nullptr;

 Q_SIGNALS:
  // The run is over: outcome box closed, log saved.
  void RunFinished();
  // A file or folder was dropped on the window while no run was going: the
  // host opens it as the next mod.
  void ModDropped(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  std::filesystem::path InData(const std::string& name) const;
  // The instruction file, read again only when it changed on disk: a large
  // one takes a while to read, and the start button must react at once.
  const TQK_Inifile& Instructions();
  void ReadWindowSettings();
  bool LoadInfo();
  void ShowSummary();
  void SetGameFolderStatus(const QString& folder);
  void UpdateUninstallButton();
  // After an uninstall: the start button and the summary work again.
  void ReadyToInstallAgain();

  void StartRun(bool plaintextLog, int logLevel);
  void DrainLog(bool everything);
  void ApplyEntry(const LogEntry& entry);
  void OnRunFinished();
  void CompleteRun();
  void FinalPart();
  void SaveLog();

  platform::GameFileSystem fs_;
  std::unique_ptr<TQK_Inifile> instructions_;
  std::string instructionsStamp_;
  std::unique_ptr<QtMessageBoxes> qtMessages_;
  std::unique_ptr<QtOpenDialog> qtOpenDialog_;
  std::unique_ptr<QtFolderChooser> qtFolderChooser_;
  DialogLayer dialogs_;

  QString modFolder_;
  QString gameDir_;
  QString undoGame_;  // the game folder to uninstall from: given, or settled by a run
  QString compiler_;
  QString backupDir_;
  bool finished_ = false;
  bool summaryShown_ = false;
  std::string iniName_;
  std::string infoName_;
  std::string installationType_;
  std::filesystem::path dataPath_;

  // The settings read at the start click, for the outcome and the saved log.
  bool installerMode_ = false;
  int logLevel_ = 3;
  bool plaintextLog_ = false;
  bool ranEngine_ = false;
  bool closeAfterRun_ = false;
  bool runEnded_ = false;  // the worker is done; the view is catching up

  LogRelay relay_;
  QThread* thread_ = nullptr;
  RunWorker* worker_ = nullptr;
  std::unique_ptr<RunWorker> finishedWorker_;
  QTimer drainTimer_;
  std::deque<LogEntry> backlog_;
  bool richLogStarted_ = false;
  bool plainLogStarted_ = false;
  int pauseLine_ = 0;
  std::function<void()> pause_;
};

}  // namespace vey::app
