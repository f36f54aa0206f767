// The window on small mods written by each test: start-up checks, the start
// button's settings, the outcome boxes, the saved log, the summary toggle and
// closing during a run. Every dialog is answered by ScriptedDialogs.
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "AppTests.h"
#include "app/MainWindow.h"

namespace vey::test {
namespace {

constexpr const char* kInfoRtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello {\\b mod}\\par}";
const std::string kTlk("TLK V3.0\0\0\0\0\0\0\0\0\x14\0\0\0", 20);

struct Fixture {
  ModDir mod;
  ScriptedDialogs dialogs;
  std::unique_ptr<app::MainWindow> window;

  explicit Fixture(const std::string& ini, const std::string& info = kInfoRtf) {
    if (!ini.empty()) mod.Write("veypatchdata/changes.ini", ini);
    if (!info.empty()) mod.Write("veypatchdata/info.rtf", info);
  }
  app::MainWindow& Open(app::StartOptions options = {}) {
    window = std::make_unique<app::MainWindow>(options, mod.RootQ(), dialogs.Layer());
    if (!window->Prepare()) qFatal("the type dialog was left");
    window->show();
    return *window;
  }
  // Clicks the start button and waits until the run, if one started, is over.
  void Start() {
    QSignalSpy finished(window.get(), &app::MainWindow::RunFinished);
    window->btnContinueClick();
    if (window->Running()) QVERIFY(finished.wait(30000));
  }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void StartUpRefusesBadInput_data() {
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QString>("warning");
    QTest::newRow("no instruction file")
        << "" << QByteArray(kInfoRtf)
        << "WARNING! Cannot locate the INI file \"changes.ini\" with work instructions!";
    QTest::newRow("no information file")
        << "[Settings]\r\nFileExists=1\r\n" << QByteArray()
        << "Unable to load the instructions text! Make sure the \"veypatchdata\" folder containing the \"info.rtf\" "
           "file is located in the same folder as this application.";
    QTest::newRow("binary information file")
        << "[Settings]\r\nFileExists=1\r\n" << QByteArray("MZ\x90\0\3\0\0\0\4\0\0\0\xff\xff", 16)
        << "The information text \"info.rtf\" cannot be shown: it is neither rich text nor plain text.";
  }
  void StartUpRefusesBadInput() {
    QFETCH(QString, ini);
    QFETCH(QByteArray, info);
    QFETCH(QString, warning);
    Fixture f(ini.toStdString(), info.toStdString());
    if (info.isEmpty()) std::filesystem::remove(f.mod.Data() / "info.rtf");
    app::MainWindow& w = f.Open();
    QCOMPARE(f.dialogs.Texts("warning").front(), warning.toStdString());
    QVERIFY(!w.btnContinue->isEnabled());
    QVERIFY(w.btnQuit->isEnabled());
  }

  void ShowsSettingsAndControls() {
    Fixture f("[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\nWindowCaption=My \xE9 mod\r\n");
    app::MainWindow& w = f.Open();
    QCOMPARE(w.windowTitle(), QStringLiteral("My \u00e9 mod"));
    QCOMPARE(w.btnContinue->text(), QStringLiteral("In&stall Mod"));
    QCOMPARE(w.btnQuit->text(), QStringLiteral("&Exit"));
    QCOMPARE(w.btnSummary->toolTip(), QStringLiteral("Toggle summary of installation configuration."));
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Game folder: User selected."));
    QCOMPARE(w.txtInfo->toPlainText(), QStringLiteral("Hello mod"));
    QVERIFY(w.minimumSize() == QSize(480, 400));
    QVERIFY(!w.lblAuthorTag->isVisible());
    QTest::mouseDClick(w.paneMain, Qt::LeftButton);
    QVERIFY(w.lblAuthorTag->isVisible());
    QTest::mouseDClick(w.paneMain, Qt::LeftButton);
    QVERIFY(!w.lblAuthorTag->isVisible());

    Fixture patcher("[Settings]\r\nFileExists=1\r\n");
    QCOMPARE(patcher.Open().btnContinue->text(), QStringLiteral("&Start patching"));
    QCOMPARE(patcher.window->windowTitle(), QStringLiteral("Game Data Patcher for Arkan/VEY"));
  }

  // "N/A" exactly skips the question; other spellings are the question.
  void Confirmation_data() {
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("ran");
    QTest::newRow("N/A") << "N/A" << true << "" << true;
    QTest::newRow("n/a") << "n/a" << true << "n/a" << true;
    QTest::newRow("default, yes") << "" << true
                                  << "This will start patching the necessary game files. Do you want to do this?"
                                  << true;
    QTest::newRow("declined") << "Go on?" << false << "Go on?" << false;
  }
  void Confirmation() {
    QFETCH(QString, confirm);
    QFETCH(bool, answer);
    QFETCH(QString, question);
    QFETCH(bool, ran);
    Fixture f("[Settings]\r\nFileExists=1\r\nConfirmMessage=" + confirm.toStdString() + "\r\n");
    f.dialogs.answers = {answer};
    app::MainWindow& w = f.Open();
    f.Start();
    const auto questions = f.dialogs.Texts("question");
    if (question.isEmpty())
      QVERIFY(questions.empty());
    else
      QCOMPARE(questions, std::vector<std::string>{question.toStdString()});
    QVERIFY(w.Finished());
    QCOMPARE(w.btnContinue->isEnabled(), !ran);
    QCOMPARE(w.btnSummary->isEnabled(), !ran);
    QVERIFY(w.btnQuit->isEnabled());
    QCOMPARE(f.dialogs.Texts("info").size(), ran ? 1u : 0u);
    QVERIFY(f.mod.Exists("installlog.rtf"));
    if (!ran) {
      // The pane still holds the information text, and that is what is saved.
      QCOMPARE(f.mod.Read("installlog.rtf"), std::string(kInfoRtf));
      // Finished: Exit quits without asking.
      f.dialogs.shown.clear();
      w.btnQuitClick();
      QVERIFY(f.dialogs.shown.empty());
      QVERIFY(!w.isVisible());
    }
  }

  void MissingMarkerRunsNothing() {
    Fixture f("[Settings]\r\nInstallerMode=1\r\n");
    app::MainWindow& w = f.Open();
    f.Start();
    QCOMPARE(f.dialogs.Texts("warning"),
             std::vector<std::string>{"Unable to load the changes.ini file! Make sure the \"veypatchdata\" folder is "
                                      "located in the same folder as this application."});
    QVERIFY(f.dialogs.Texts("question").empty());
    QVERIFY(w.btnContinue->isEnabled());
    QVERIFY(w.Finished());
  }

  void LogLevelZeroKeepsTheTextAndWritesNoLog() {
    Fixture f("[Settings]\r\nFileExists=1\r\nConfirmMessage=N/A\r\nLogLevel=0\r\n");
    app::MainWindow& w = f.Open();
    f.Start();
    QCOMPARE(w.views->currentWidget(), static_cast<QWidget*>(w.txtInfo));
    QCOMPARE(w.txtInfo->toPlainText(), QStringLiteral("Hello mod"));
    QCOMPARE(f.dialogs.Texts("info"),
             std::vector<std::string>{
                 "The Patcher is finished. Please check the progress log for details about what has been done."});
    QVERIFY(!f.mod.Exists("installlog.rtf"));
    QVERIFY(!f.mod.Exists("installlog.txt"));
  }

  void PlaintextLogUsesThePlainView() {
    Fixture f("[Settings]\r\nFileExists=1\r\nConfirmMessage=N/A\r\nPlaintextLog=1\r\n");
    app::MainWindow& w = f.Open();
    f.Start();
    QCOMPARE(w.views->currentWidget(), static_cast<QWidget*>(w.txtFallback));
    QVERIFY(w.txtFallback->toPlainText().startsWith(QStringLiteral(" [STATUS] \tPatch operation started")));
    QVERIFY(!f.mod.Exists("installlog.rtf"));
    const std::string saved = f.mod.Read("installlog.txt");
    QVERIFY(saved.starts_with(" [STATUS] \tPatch operation started"));
    QCOMPARE(QString::fromStdString(saved).trimmed(), w.txtFallback->toPlainText().trimmed());
  }

  void WarningAndFailureBoxes() {
    const std::string ini =
        "[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\nConfirmMessage=N/A\r\n"
        "[InstallList]\r\nf0=override\r\n[f0]\r\nFile0=missing.txt\r\nFile1=here.txt\r\n"
        "[here.txt]\r\n!OverrideType=warn\r\n";
    {
      Fixture f(ini);
      f.mod.Write("veypatchdata/here.txt", "new");
      f.mod.Write("game/dialog.tlk", kTlk);
      f.mod.Write("game/override/here.txt", "old");
      app::StartOptions options;
      options.gameDir = QString::fromStdString((f.mod.Root() / "game").string());
      f.Open(options);
      f.Start();
      QCOMPARE(f.dialogs.Texts("warning"),
               std::vector<std::string>{"The Installer is finished, but 2 warnings were encountered! The Mod may or "
                                        "may not be properly installed. Please check the progress log for further "
                                        "details."});
      QCOMPARE(f.window->statusBar()->currentMessage(),
               QStringLiteral("Game folder: %1/").arg(QString::fromStdString((f.mod.Root() / "game").string())));
    }
    {
      Fixture f(ini);
      f.mod.Write("nogame/readme.txt", "not a game");
      app::StartOptions options;
      options.gameDir = QString::fromStdString((f.mod.Root() / "nogame").string());
      f.Open(options);
      f.Start();
      QCOMPARE(f.dialogs.Texts("warning"),
               std::vector<std::string>{"An error occured! Invalid game folder specified, dialog.tlk file not found! "
                                        "Make sure you have selected the correct folder. (GEN-7)"});
      // The failure is in the saved log too.
      QVERIFY(f.mod.Read("installlog.rtf").find("dialog.tlk file not found") != std::string::npos);
      QVERIFY(!f.mod.Exists("nogame/override"));
    }
  }

  void SummaryToggle() {
    Fixture f("[Settings]\r\nFileExists=1\r\nConfirmMessage=N/A\r\nLogLevel=7\r\n");
    app::MainWindow& w = f.Open();
    QTest::mouseClick(w.btnSummary, Qt::LeftButton);
    QVERIFY(w.SummaryShown());
    QVERIFY(w.btnSummary->isChecked());
    const QString summary = w.txtInfo->toPlainText();
    QVERIFY(summary.contains(QStringLiteral("VEYPatcher - CONFIGURATION SUMMARY\n")));
    QVERIFY(summary.contains(QStringLiteral("Config file: changes.ini\n")));
    QVERIFY(!summary.contains(QStringLiteral("Log level:")));
    QTest::mouseClick(w.btnSummary, Qt::LeftButton);
    QVERIFY(!w.SummaryShown());
    QCOMPARE(w.txtInfo->toPlainText(), QStringLiteral("Hello mod"));
    f.Start();
    QVERIFY(!w.btnSummary->isEnabled());
  }

  // Closing mid-run asks, and the window closes once the run has ended (this
  // run has no file left to stop before). The chooser's question also shows
  // that the log written before it is on screen.
  void ClosingDuringARunWaitsForItsEnd() {
    Fixture f("[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\nConfirmMessage=N/A\r\n");
    f.mod.Write("game/dialog.tlk", kTlk);
    f.dialogs.folder = (f.mod.Root() / "game").string();
    app::MainWindow& w = f.Open();
    QString shownAtChooser;
    bool stillOpen = false;
    f.dialogs.onDialog = [&](const std::string& kind) {
      if (kind != "folder") return;
      shownAtChooser = w.txtLog->toPlainText();
      w.close();
      stillOpen = w.isVisible();
    };
    f.Start();
    QVERIFY(shownAtChooser.contains(QStringLiteral("Installation started")));
    QVERIFY(stillOpen);
    QCOMPARE(f.dialogs.Texts("question").size(), 1u);
    QVERIFY(f.dialogs.Texts("question")[0].starts_with("The installation is still running."));
    QCOMPARE(f.dialogs.Texts("info").size(), 1u);
    QVERIFY(!w.isVisible());
    QVERIFY(f.mod.Exists("installlog.rtf"));
  }
};

VEY_APP_TEST(MainWindowTest);

}  // namespace vey::test

#include "MainWindowTest.moc"
