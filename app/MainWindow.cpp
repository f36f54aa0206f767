// MainWindow: the controls, the preparation before the first showing, the
// summary toggle and quitting. The run is in MainWindowRun.cpp.
#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "app/NamespaceDialog.h"
#include "app/QtText.h"
#include "app/RtfTextDocument.h"
#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/UQK_IniFile.h"
#include "engine/support/USummary.h"
#include "platform/WineRegistry.h"

#ifndef VEY_VERSION
#define VEY_VERSION "0"
#endif

namespace vey::app {
namespace {

constexpr const char* kGame1Key = "\\SOFTWARE\\Fenwyck\\XT\\ARKAN";
constexpr const char* kGame2Key = "\\SOFTWARE\\Quenbrook\\Arkan2";

QFont SmallFixedFont() {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPointSizeF(std::max(7.0, f.pointSizeF() - 2));
  return f;
}

}  // namespace

MainWindow::MainWindow(const StartOptions& options, const QString& modFolder, DialogLayer dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      modFolder_(modFolder),
      gameDir_(options.gameDir),
      undoGame_(options.gameDir),
      compiler_(options.compiler),
      backupDir_(options.backupDir),
      iniName_(options.iniName),
      infoName_(options.infoName) {
  if (!dialogs_.messages) {
    qtMessages_ = std::make_unique<QtMessageBoxes>(this);
    dialogs_.messages = qtMessages_.get();
  }
  if (!dialogs_.openDialog) {
    qtOpenDialog_ = std::make_unique<QtOpenDialog>(this);
    dialogs_.openDialog = qtOpenDialog_.get();
  }
  if (!dialogs_.folderChooser) {
    qtFolderChooser_ = std::make_unique<QtFolderChooser>(this);
    dialogs_.folderChooser = qtFolderChooser_.get();
  }
  BuildControls();
  // A mod folder or archive dropped on the window opens that mod.
  setAcceptDrops(true);
  drainTimer_.setInterval(25);
  connect(&drainTimer_, &QTimer::timeout, this, [this] { DrainLog(false); });
}

MainWindow::~MainWindow() {
  // A window destroyed mid-run (only at program end) waits for the run: the
  // worker may be writing a file.
  if (thread_) {
    thread_->quit();
    thread_->wait();
  }
}

void MainWindow::BuildControls() {
  setWindowTitle(QStringLiteral("VEYPatcher (TLK / 2DA / GFF Patcher)"));
  setWindowIcon(AppIcon());
  setMinimumSize(480, 400);
  resize(566, 499);

  paneMain = new QWidget(this);
  paneMain->setObjectName(QStringLiteral("paneMain"));
  paneMain->installEventFilter(this);
  setCentralWidget(paneMain);

  txtInfo = new QTextBrowser(paneMain);
  txtInfo->setObjectName(QStringLiteral("txtInfo"));
  txtInfo->setOpenLinks(false);
  txtInfo->document()->setDocumentMargin(8);
  txtInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(txtInfo, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
    if (IsOpenableLink(url)) QDesktopServices::openUrl(url);
  });
  auto makeLog = [this](const QString& name) {
    auto* view = new QPlainTextEdit(paneMain);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setUndoRedoEnabled(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(9);
    view->setFont(font);
    return view;
  };
  txtLog = makeLog(QStringLiteral("txtLog"));
  txtFallback = makeLog(QStringLiteral("txtFallback"));
  views = new QStackedWidget(paneMain);
  views->addWidget(txtInfo);
  views->addWidget(txtLog);
  views->addWidget(txtFallback);
  views->setCurrentWidget(txtInfo);

  pbar = new QProgressBar(paneMain);
  pbar->setObjectName(QStringLiteral("pbar"));
  pbar->setTextVisible(false);
  pbar->setRange(0, 100);
  pbar->setValue(0);
  pbar->setFixedHeight(std::max(14, fontMetrics().height()));

  btnSummary = new QToolButton(paneMain);
  btnSummary->setObjectName(QStringLiteral("btnSummary"));
  btnSummary->setCheckable(true);
  btnSummary->setAutoRaise(true);
  btnSummary->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  btnSummary->setToolTip(QStringLiteral("Toggle summary of installation configuration."));
  connect(btnSummary, &QToolButton::clicked, this, [this] { btnSummaryClick(); });

  Label1 = new QLabel(QStringLiteral("VEYPatcher " VEY_VERSION), paneMain);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setEnabled(false);
  Label1->setFont(SmallFixedFont());
  lblAuthorTag = new QLabel(QStringLiteral("Linux desktop edition, built with Qt 6"), paneMain);
  lblAuthorTag->setObjectName(QStringLiteral("lblAuthorTag"));
  lblAuthorTag->setEnabled(false);
  lblAuthorTag->setFont(SmallFixedFont());
  lblAuthorTag->setVisible(false);

  btnContinue = new QPushButton(QStringLiteral("&Start patching"), paneMain);
  btnContinue->setObjectName(QStringLiteral("btnContinue"));
  btnContinue->setDefault(true);
  btnContinue->setAutoDefault(true);
  btnContinue->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  // The glyph sits at the right of the caption.
  btnContinue->setLayoutDirection(Qt::RightToLeft);
  connect(btnContinue, &QPushButton::clicked, this, [this] { btnContinueClick(); });
  btnUninstall = new QPushButton(QStringLiteral("&Uninstall…"), paneMain);
  btnUninstall->setObjectName(QStringLiteral("btnUninstall"));
  btnUninstall->setAutoDefault(false);
  btnUninstall->setToolTip(QStringLiteral("Undo the latest installation of this mod in the game folder."));
  connect(btnUninstall, &QPushButton::clicked, this, [this] { btnUninstallClick(); });
  btnCopyReport = new QPushButton(QStringLiteral("Copy &report"), paneMain);
  btnCopyReport->setObjectName(QStringLiteral("btnCopyReport"));
  btnCopyReport->setAutoDefault(false);
  btnCopyReport->setToolTip(
      QStringLiteral("Copy a report of the mods installed in the game folder, for a forum post. It names no "
                     "folder outside the game folder."));
  connect(btnCopyReport, &QPushButton::clicked, this, [this] { btnCopyReportClick(); });
  UpdateUninstallButton();
  btnQuit = new QPushButton(QStringLiteral("&Exit"), paneMain);
  btnQuit->setObjectName(QStringLiteral("btnQuit"));
  btnQuit->setAutoDefault(false);
  connect(btnQuit, &QPushButton::clicked, this, [this] { btnQuitClick(); });
  // Escape is the exit button's, as a dialog's cancel button.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (btnQuit->isEnabled()) btnQuitClick();
  });

  auto* labels = new QVBoxLayout;
  labels->setSpacing(0);
  labels->addWidget(Label1);
  labels->addWidget(lblAuthorTag);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addWidget(btnSummary);
  buttons->addLayout(labels);
  buttons->addStretch(1);
  buttons->addWidget(btnCopyReport);
  buttons->addWidget(btnUninstall);
  buttons->addWidget(btnContinue);
  buttons->addWidget(btnQuit);
  auto* layout = new QVBoxLayout(paneMain);
  layout->setContentsMargins(8, 8, 8, 6);
  layout->setSpacing(6);
  layout->addWidget(views, 1);
  layout->addWidget(pbar);
  layout->addLayout(buttons);

  statusBar()->setSizeGripEnabled(true);
  SetGameFolderStatus(QString());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == paneMain && event->type() == QEvent::MouseButtonDblClick)
    lblAuthorTag->setVisible(!lblAuthorTag->isVisible());
  return QMainWindow::eventFilter(watched, event);
}

std::filesystem::path MainWindow::InData(const std::string& name) const {
  try {
    return fs_.Resolve(dataPath_, name);
  } catch (const Exception&) {
    // A name that would leave the data folder names nothing inside it.
    return dataPath_ / "?";
  }
}

const TQK_Inifile& MainWindow::Instructions() {
  const std::filesystem::path path = InData(iniName_);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  const auto time = std::filesystem::last_write_time(path, ec);
  const std::string stamp = ec ? std::string("missing")
                               : path.string() + '|' + std::to_string(size) + '|' +
                                     std::to_string(time.time_since_epoch().count());
  if (!instructions_ || stamp != instructionsStamp_) {
    instructions_ = std::make_unique<TQK_Inifile>(path.string());
    instructionsStamp_ = stamp;
  }
  return *instructions_;
}

std::filesystem::path MainWindow::LogFile(bool plaintext) const {
  return std::filesystem::path(ToPath(modFolder_)) / (plaintext ? "installlog.txt" : "installlog.rtf");
}

void MainWindow::SetGameFolderStatus(const QString& folder) {
  statusBar()->showMessage(QStringLiteral("Game folder: %1").arg(folder));
}

bool MainWindow::Prepare(const std::function<int(NamespaceDialog&)>& execDialog) {
  finished_ = false;
  summaryShown_ = false;
  if (iniName_.empty()) iniName_ = "changes.ini";
  std::filesystem::path path = fs_.Child(std::filesystem::path(ToPath(modFolder_)), "veypatchdata") / "";
  std::string unusableType, typeName;
  if (fs_.IsFile(fs_.Child(path, "namespaces.ini"))) {
    NamespaceDialog dialog(fs_, path, this);
    dialog.PlaceOver(*this);
    const int answer = execDialog ? execDialog(dialog) : dialog.exec();
    if (answer != QDialog::Accepted) return false;
    iniName_ = dialog.GetNamespaceIni();
    infoName_ = dialog.GetNamespaceInfo();
    path = dialog.GetNamespacePath();
    unusableType = dialog.UnusableSubFolder();
    typeName = dialog.SelectedName();
    installationType_ = dialog.SelectedId();
  }
  dataPath_ = path;
  if (!unusableType.empty()) {
    // The type would silently install from the data folder itself, which is
    // not what the person chose.
    dialogs_.messages->ShowWarning(FormatMsg(
        "The installation type \"%s\" names the folder \"%s\", which is not inside the \"veypatchdata\" folder. "
        "Nothing can be installed.",
        {typeName, unusableType}));
    btnContinue->setEnabled(false);
  }
  if (!fs_.IsFile(InData(iniName_))) {
    dialogs_.messages->ShowWarning(
        FormatMsg("WARNING! Cannot locate the INI file \"%s\" with work instructions!", {iniName_}));
    btnContinue->setEnabled(false);
  }
  ReadWindowSettings();
  if (LoadInfo()) {
    const TQK_Inifile& ini = Instructions();
    btnContinue->setText(ini.ReadBool("Settings", "InstallerMode", false) ? QStringLiteral("In&stall Mod")
                                                                          : QStringLiteral("&Start patching"));
  } else {
    btnContinue->setEnabled(false);
  }
  return true;
}

void MainWindow::ReadWindowSettings() {
  const TQK_Inifile& ini = Instructions();
  setWindowTitle(FromWin1252(ini.ReadString("Settings", "WindowCaption", "Game Data Patcher for Arkan/VEY")));
  if (!gameDir_.isEmpty()) {
    // A folder given at start-up is the one the run will use.
    SetGameFolderStatus(QDir(gameDir_).absolutePath());
  } else if (ini.ReadBool("Settings", "LookupGameFolder", false)) {
    platform::WineRegistry wine;
    platform::IRegistry& registry = dialogs_.registry ? *dialogs_.registry : wine;
    const char* key = ini.ReadInteger("Settings", "LookupGameNumber", 2) == 1 ? kGame1Key : kGame2Key;
    SetGameFolderStatus(FromPath(registry.ReadString(key, "Path")));
  } else {
    SetGameFolderStatus(QStringLiteral("User selected."));
  }
}

bool MainWindow::LoadInfo() {
  const std::filesystem::path infoPath = InData(infoName_);
  const QString missing = FromWin1252(FormatMsg(
      "Unable to load the instructions text! Make sure the \"veypatchdata\" folder containing the \"%s\" file is "
      "located in the same folder as this application.",
      {infoName_}));
  if (!fs_.IsFile(infoPath)) {
    dialogs_.messages->ShowWarning(ToWin1252(missing));
    return false;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes = fs_.ReadFile(infoPath);
  } catch (const Exception& e) {
    dialogs_.messages->ShowWarning(e.what());
    return false;
  }
  const rtf::Document document = rtf::ReadRtf(bytes);
  if (LooksBinary(document, bytes)) {
    dialogs_.messages->ShowWarning(FormatMsg(
        "The information text \"%s\" cannot be shown: it is neither rich text nor plain text.", {infoName_}));
    return false;
  }
  txtInfo->setLineWrapMode(QTextEdit::WidgetWidth);
  BuildRtfDocument(document, *txtInfo->document(), QApplication::font());
  // Building the document leaves the cursor, and so the view, at its end;
  // the person reads from the top.
  txtInfo->moveCursor(QTextCursor::Start);
  txtInfo->verticalScrollBar()->setValue(0);
  return true;
}

void MainWindow::btnSummaryClick() {
  // After a run that may be started again the log is showing.
  views->setCurrentWidget(txtInfo);
  if (summaryShown_) {
    summaryShown_ = false;
    txtInfo->clear();
    LoadInfo();
  } else {
    summaryShown_ = true;
    ShowSummary();
  }
  btnSummary->setChecked(summaryShown_);
}

void MainWindow::ShowSummary() {
  const TQK_Inifile& ini = Instructions();
  platform::WineRegistry wine;
  const std::vector<std::string> lines =
      BuildSummary(ini, iniName_, infoName_, dialogs_.registry ? dialogs_.registry : &wine);
  QStringList text;
  for (const std::string& line : lines) text << FromWin1252(line);
  txtInfo->clear();
  txtInfo->setLineWrapMode(QTextEdit::NoWrap);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(9);
  txtInfo->document()->setDefaultFont(font);
  txtInfo->setPlainText(text.join(u'\n'));
}

void MainWindow::btnQuitClick() {
  if (finished_ || dialogs_.messages->AskYesNo("Are you sure you wish to quit?")) {
    finished_ = true;
    close();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (Running()) {
    // Never stop a run mid-file: the window closes once it has ended. An
    // installation stops at its next safe point and puts back what it
    // changed; a patch run has nothing to put back, so it runs to the end.
    event->ignore();
    if (closeAfterRun_) return;
    if (installerMode_) {
      if (dialogs_.messages->AskYesNo("The installation is still running. Stop it, put back the files it has "
                                      "changed and close the window?")) {
        closeAfterRun_ = true;
        if (worker_) worker_->Cancel();
      }
    } else if (dialogs_.messages->AskYesNo("The installation is still running. Close the window as soon as it "
                                           "has finished?")) {
      closeAfterRun_ = true;
    }
    return;
  }
  if (!finished_ && !dialogs_.messages->AskYesNo("Are you sure you wish to quit?")) {
    event->ignore();
    return;
  }
  finished_ = true;
  event->accept();
}

}  // namespace vey::app
