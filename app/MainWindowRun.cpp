// MainWindowRun: the start button: the checks and the confirmation, the run
// on its worker thread, the log shown in batches, the outcome box and the
// saved log.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>

#include "app/MainWindow.h"
#include "app/QtText.h"
#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/UQK_IniFile.h"
#include "engine/support/UOutcome.h"
#include "formats/URtfReader.h"

namespace vey::app {
namespace {

// Adding lines to the views stops after this long; the rest waits for the
// next tick, so a burst of log lines never freezes the window.
constexpr qint64 kDrainBudgetMs = 10;

QTextCharFormat LineFormat(const platform::TextAttributes& a, const QFont& fixed) {
  QTextCharFormat f;
  if (a.fontName == "Courier New" || a.fontName.empty())
    f.setFontFamilies({fixed.family()});
  else
    f.setFontFamilies({QString::fromStdString(a.fontName), fixed.family()});
  f.setForeground(QColor(a.color.r, a.color.g, a.color.b));
  f.setFontWeight(a.bold ? QFont::Bold : QFont::Normal);
  return f;
}

}  // namespace

void MainWindow::SetLinePause(int lineNumber, std::function<void()> onWindowThread) {
  pauseLine_ = lineNumber;
  pause_ = std::move(onWindowThread);
}

void MainWindow::btnContinueClick() {
  if (Running()) return;
  if (iniName_.empty()) iniName_ = "changes.ini";
  bool fileExists = false;
  std::string confirm;
  {
    const TQK_Inifile& ini = Instructions();
    fileExists = ini.ReadBool("Settings", "FileExists", false);
    installerMode_ = ini.ReadBool("Settings", "InstallerMode", false);
    confirm = ini.ReadString("Settings", "ConfirmMessage", "");
    logLevel_ = ini.ReadInteger("Settings", "LogLevel", 3);
    plaintextLog_ = ini.ReadBool("Settings", "PlaintextLog", false);
  }
  if (!fileExists) {
    dialogs_.messages->ShowWarning(FormatMsg("Unable to load the %s file! Make sure the \"veypatchdata\" folder is "
                                             "located in the same folder as this application.",
                                             {iniName_}));
    FinalPart();
    return;
  }
  if (confirm.empty()) confirm = "This will start patching the necessary game files. Do you want to do this?";
  if (confirm != "N/A" && !dialogs_.messages->AskYesNo(confirm)) {
    FinalPart();
    return;
  }
  StartRun(plaintextLog_, logLevel_);
}

void MainWindow::StartRun(bool plaintextLog, int logLevel) {
  btnContinue->setEnabled(false);
  btnSummary->setEnabled(false);
  btnQuit->setEnabled(false);
  btnUninstall->setEnabled(false);
  btnCopyReport->setEnabled(false);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  if (plaintextLog && logLevel > 0) views->setCurrentWidget(txtFallback);
  ranEngine_ = true;

  RunRequest request;
  // The engine opens the instruction file under its name as it is on disk.
  const std::filesystem::path iniPath = InData(iniName_);
  request.iniName = fs_.IsFile(iniPath) ? iniPath.lexically_relative(dataPath_).string() : iniName_;
  request.appPath = ToPath(modFolder_) + "/";
  request.dataPath = dataPath_.string();
  request.gameDir = gameDir_.isEmpty() ? std::string() : ToPath(QDir(gameDir_).absolutePath());
  request.compiler = compiler_.isEmpty() ? std::string() : ToPath(QFileInfo(compiler_).absoluteFilePath());
  request.backupDir = backupDir_.isEmpty() ? std::string() : ToPath(QDir(backupDir_).absolutePath()) + "/";
  request.installationType = installationType_;
  if (logLevel > 0) request.logFile = LogFile(plaintextLog);
  request.plaintextLog = plaintextLog;
  WindowDialogs dialogs{*dialogs_.messages, *dialogs_.openDialog, *dialogs_.folderChooser, dialogs_.registry};
  worker_ = new RunWorker(std::move(request), dialogs, this, [this] { DrainLog(true); }, relay_);
  if (pause_) worker_->SetLinePause(pauseLine_, pause_);
  thread_ = new QThread(this);
  worker_->moveToThread(thread_);
  connect(thread_, &QThread::started, worker_, &RunWorker::Run);
  connect(worker_, &RunWorker::Finished, this, &MainWindow::OnRunFinished, Qt::QueuedConnection);
  drainTimer_.start();
  thread_->start();
}

void MainWindow::DrainLog(bool everything) {
  for (LogEntry& e : relay_.Take()) backlog_.push_back(std::move(e));
  int position = 0, maximum = 0;
  if (relay_.TakeProgress(position, maximum)) {
    if (pbar->maximum() != maximum) pbar->setMaximum(maximum);
    pbar->setValue(std::min(position, maximum));
  }
  if (auto folder = relay_.TakeGameFolder()) {
    SetGameFolderStatus(FromPath(*folder));
    undoGame_ = FromPath(*folder);
  }
  if (backlog_.empty()) {
    if (runEnded_) CompleteRun();
    return;
  }

  QPlainTextEdit* touched[2] = {nullptr, nullptr};
  bool atEnd[2] = {true, true};
  for (int i = 0; i < 2; ++i) {
    QScrollBar* bar = (i == 0 ? txtLog : txtFallback)->verticalScrollBar();
    atEnd[i] = bar->value() >= bar->maximum() - 2;
  }
  QElapsedTimer clock;
  clock.start();
  QTextCursor rich(txtLog->document());
  QTextCursor plain(txtFallback->document());
  rich.movePosition(QTextCursor::End);
  plain.movePosition(QTextCursor::End);
  rich.beginEditBlock();
  plain.beginEditBlock();
  const QFont fixed = txtLog->font();
  QHash<quint64, QTextCharFormat> formats;
  std::size_t done = 0;
  for (; done < backlog_.size(); ++done) {
    if (!everything && (done & 15) == 0 && clock.elapsed() >= kDrainBudgetMs) break;
    const LogEntry& entry = backlog_[done];
    QPlainTextEdit* view = entry.plain ? txtFallback : txtLog;
    QTextCursor& cursor = entry.plain ? plain : rich;
    bool& started = entry.plain ? plainLogStarted_ : richLogStarted_;
    touched[entry.plain ? 1 : 0] = view;
    if (entry.clear) {
      // The run's first line replaces the information text.
      cursor.endEditBlock();
      view->document()->clear();
      cursor = QTextCursor(view->document());
      cursor.beginEditBlock();
      started = false;
      if (views->currentWidget() != view) views->setCurrentWidget(view);
      continue;
    }
    if (started) cursor.insertBlock();
    started = true;
    if (entry.plain) {
      cursor.insertText(entry.text);
    } else {
      const platform::TextAttributes& a = entry.attributes;
      const quint64 key = (quint64(a.color.r) << 16) | (quint64(a.color.g) << 8) | a.color.b |
                          (quint64(a.bold) << 24) | (quint64(a.sizePoints & 0xff) << 25);
      auto it = formats.find(key);
      if (it == formats.end()) it = formats.insert(key, LineFormat(a, fixed));
      cursor.insertText(entry.text, *it);
    }
  }
  rich.endEditBlock();
  plain.endEditBlock();
  backlog_.erase(backlog_.begin(), backlog_.begin() + static_cast<std::ptrdiff_t>(done));
  for (int i = 0; i < 2; ++i)
    if (touched[i] && atEnd[i]) touched[i]->verticalScrollBar()->setValue(touched[i]->verticalScrollBar()->maximum());
  if (runEnded_ && backlog_.empty()) CompleteRun();
}

void MainWindow::OnRunFinished() {
  thread_->quit();
  thread_->wait();
  thread_->deleteLater();
  thread_ = nullptr;
  finishedWorker_.reset(worker_);
  worker_ = nullptr;
  // The view may still be behind; it catches up tick by tick before the
  // outcome box, so that the window stays responsive meanwhile.
  runEnded_ = true;
  DrainLog(false);
}

void MainWindow::CompleteRun() {
  runEnded_ = false;
  drainTimer_.stop();
  QApplication::restoreOverrideCursor();

  const RunOutcome& outcome = finishedWorker_->Outcome();
  if (outcome.completed) {
    // A skipped file never advances the bar; a finished run shows it full.
    pbar->setValue(pbar->maximum());
    const std::string text = OutcomeMessage(installerMode_, outcome.result.Warnings, outcome.result.Errors);
    if (OutcomeIsAllClear(outcome.result.Warnings, outcome.result.Errors))
      dialogs_.messages->ShowInfo(text);
    else
      dialogs_.messages->ShowWarning(text);
  } else if (outcome.declined) {
    dialogs_.messages->ShowInfo("The mod was not installed again; nothing was changed.");
  } else {
    dialogs_.messages->ShowWarning(outcome.failure);
  }
  if (outcome.changedNothing) {
    // A wrong folder or a No is no reason to restart the program.
    btnContinue->setEnabled(true);
    btnSummary->setEnabled(true);
    pbar->setValue(0);
  }
  FinalPart();
  Q_EMIT RunFinished();
  if (closeAfterRun_) close();
}

void MainWindow::FinalPart() {
  btnQuit->setEnabled(true);
  UpdateUninstallButton();
  btnQuit->setFocus();
  finished_ = true;
  if (logLevel_ > 0) SaveLog();
}

void MainWindow::SaveLog() {
  // After a run the worker has saved its log.
  if (ranEngine_ && finishedWorker_) {
    const std::string& error = finishedWorker_->Outcome().logError;
    if (!error.empty()) dialogs_.messages->ShowWarning(error);
    return;
  }
  try {
    if (plaintextLog_) {
      platform::PlainTextLog shown;
      const QString text = txtFallback->toPlainText();
      if (!text.isEmpty())
        for (const QString& line : text.split(u'\n')) shown.AppendLine(ToWin1252(line));
      shown.SaveToFile(LogFile(true));
      return;
    }
    // No run: the pane's content is saved, the information text or the summary.
    const std::filesystem::path infoPath = InData(infoName_);
    if (!summaryShown_ && fs_.IsFile(infoPath)) {
      const std::vector<std::uint8_t> bytes = fs_.ReadFile(infoPath);
      if (rtf::ReadRtf(bytes).isRtf) {
        WriteFileAtomic(LogFile(false), bytes);
        return;
      }
    }
    platform::RichTextLog shown;
    platform::TextAttributes attributes;
    attributes.sizePoints = 9;
    shown.SetAttributes(attributes);
    for (QTextBlock block = txtInfo->document()->begin(); block.isValid(); block = block.next())
      shown.AppendLine(ToWin1252(block.text()));
    shown.SaveToFile(LogFile(false));
  } catch (const Exception& e) {
    dialogs_.messages->ShowWarning(e.what());
  }
}

}  // namespace vey::app
