// The window as a player meets it: the installation type recorded so that
// the command line and the window see each other's installs, starting again
// after a folder that is no game folder or after a No to installing again,
// the progress bar at the end of a run, and a long information text.
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "AppTests.h"
#include "app/MainWindow.h"
#include "app/NamespaceDialog.h"
#include "platform/RunJournal.h"

namespace vey::test {
namespace {

const std::string kTlk("TLK V3.0\0\0\0\0\0\0\0\0\x14\0\0\0", 20);

// Two installation types; "lite" installs its own file from its own folder.
void WriteTypedMod(const ModDir& mod) {
  mod.Write("veypatchdata/namespaces.ini",
            "[Namespaces]\r\nstd=default\r\nlite=LiteSection\r\n"
            "[LiteSection]\r\nName=Lite\r\nIniName=lite.ini\r\nInfoName=lite.rtf\r\nDataPath=lite\r\n");
  for (const auto& [folder, name] : {std::pair<std::string, std::string>{"veypatchdata/", "changes"},
                                     std::pair<std::string, std::string>{"veypatchdata/lite/", "lite"}}) {
    mod.Write(folder + name + ".ini", SettingsIni("ConfirmMessage=N/A\r\n[InstallList]\r\nf=override\r\n[f]\r\n"
                                                  "File0=" + name + ".txt"));
    mod.Write(folder + name + ".txt", name);
  }
  mod.Write("veypatchdata/info.rtf", "Standard");
  mod.Write("veypatchdata/lite/lite.rtf", "Lite");
}

int RunCli(const QStringList& arguments, QString* output = nullptr) {
  QProcess cli;
  cli.start(QStringLiteral(VEY_CLI_PATH), arguments);
  if (!cli.waitForFinished(60000)) return -1;
  if (output) *output = QString::fromUtf8(cli.readAllStandardOutput() + cli.readAllStandardError());
  return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

std::unique_ptr<app::MainWindow> OpenLite(const ModDir& mod, ScriptedDialogs& dialogs, const QString& game) {
  app::StartOptions options;
  options.gameDir = game;
  auto window = std::make_unique<app::MainWindow>(options, mod.RootQ(), dialogs.Layer());
  const bool prepared = window->Prepare([](app::NamespaceDialog& d) {
    d.cbNamespace->setCurrentIndex(1);
    return int(QDialog::Accepted);
  });
  if (!prepared) return nullptr;
  window->show();
  return window;
}

// Clicks the start button and waits for the run's end.
bool Start(app::MainWindow& window) {
  QSignalSpy finished(&window, &app::MainWindow::RunFinished);
  window.btnContinueClick();
  return window.Running() && finished.wait(30000);
}

}  // namespace

class TryAgainTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // An install by the window is recorded with its type and refused by the
  // command line as installed already; one by the command line is found by
  // the window, which asks. Answering No there is no error, and the person
  // can still start the installation.
  void TypeIsSharedWithTheCommandLineAndNoCanBeTakenBack() {
    ModDir mod;
    WriteTypedMod(mod);
    mod.Write("game/dialog.tlk", kTlk);
    mod.Write("other/dialog.tlk", kTlk);
    const QString game = QString::fromStdString((mod.Root() / "game").string());
    const QString other = QString::fromStdString((mod.Root() / "other").string());

    ScriptedDialogs first;
    auto window = OpenLite(mod, first, game);
    QVERIFY(window);
    QCOMPARE(window->InstallationType(), std::string("lite"));
    QVERIFY(Start(*window));
    QCOMPARE(first.Texts("question").size(), 0u);
    const auto runs = platform::ListRuns(mod.Root() / "game");
    QCOMPARE(runs.size(), 1u);
    QCOMPARE(runs[0].installationType, std::string("lite"));
    QString said;
    const QStringList install{QStringLiteral("install"), QStringLiteral("--mod"), mod.RootQ(),
                              QStringLiteral("--namespace"), QStringLiteral("lite"), QStringLiteral("--yes"),
                              QStringLiteral("--game")};
    QCOMPARE(RunCli(install + QStringList{game}, &said), 4);
    QVERIFY2(said.contains(QStringLiteral("already installed into this game on ")), qPrintable(said));

    QCOMPARE(RunCli(install + QStringList{other}), 0);
    const platform::RunRecord earlier = platform::ListRuns(mod.Root() / "other").at(0);
    // A run that ended in a later second than it started.
    const std::string runText = "other/.veypatcher/runs/" + earlier.id + "/run.txt";
    std::string record = mod.Read(runText);
    record.replace(record.find("\nended=") + 7, 19, "2999-01-01 00:00:00");
    mod.Write(runText, record);
    const std::string started = earlier.started;
    ScriptedDialogs declined;
    declined.answers = {false};
    window = OpenLite(mod, declined, other);
    QVERIFY(window);
    QVERIFY(Start(*window));
    const auto questions = declined.Texts("question");
    QCOMPARE(questions.size(), 1u);
    // The time the history lists.
    QVERIFY2(questions[0].starts_with("This mod was already installed into this game on " + started + " UTC"),
             questions[0].c_str());
    QCOMPARE(declined.Texts("info"),
             std::vector<std::string>{"The mod was not installed again; nothing was changed."});
    QVERIFY(declined.Texts("warning").empty());
    const QString log = window->txtLog->toPlainText();
    QVERIFY2(log.contains(QStringLiteral("It was not installed again, as answered.")), qPrintable(log));
    QVERIFY2(!log.contains(QStringLiteral("Error:")), qPrintable(log));
    QCOMPARE(platform::ListRuns(mod.Root() / "other").size(), 1u);

    QVERIFY(window->btnContinue->isEnabled());
    declined.answers = {true};
    QVERIFY(Start(*window));
    QVERIFY(window->txtLog->toPlainText().contains(QStringLiteral("Installing it again as asked.")));
    QCOMPARE(platform::ListRuns(mod.Root() / "other").size(), 2u);
    // A finished installation is not started twice from the same window.
    QVERIFY(!window->btnContinue->isEnabled());
  }

  // A chosen folder that is no game folder is refused; the person chooses
  // again without restarting. The run that follows skips a file that is
  // there already, and still ends with the bar full.
  void AnotherFolderAfterAWrongOne() {
    ModDir mod;
    mod.Write("veypatchdata/changes.ini",
              SettingsIni("ConfirmMessage=N/A\r\n[InstallList]\r\nf=override\r\n[f]\r\nFile0=new.txt\r\n"
                          "File1=here.txt"));
    mod.Write("veypatchdata/info.rtf", "Info");
    mod.Write("veypatchdata/new.txt", "new");
    mod.Write("veypatchdata/here.txt", "mod's");
    mod.Write("game/dialog.tlk", kTlk);
    mod.Write("game/override/here.txt", "game's");
    mod.Write("notagame/readme.txt", "");
    ScriptedDialogs dialogs;
    dialogs.folder = (mod.Root() / "notagame").string();
    app::MainWindow window(app::StartOptions{}, mod.RootQ(), dialogs.Layer());
    QVERIFY(window.Prepare());
    window.show();
    QVERIFY(Start(window));
    QCOMPARE(dialogs.Texts("warning").size(), 1u);
    QVERIFY(dialogs.Texts("warning")[0].find("dialog.tlk file not found") != std::string::npos);
    QVERIFY(window.btnContinue->isEnabled());
    QVERIFY(window.btnSummary->isEnabled());
    QVERIFY(!mod.Exists("notagame/override"));

    dialogs.folder = (mod.Root() / "game").string();
    QVERIFY(Start(window));
    QCOMPARE(dialogs.Texts("folder").size(), 2u);
    QCOMPARE(mod.Read("game/override/new.txt"), std::string("new"));
    QCOMPARE(mod.Read("game/override/here.txt"), std::string("game's"));
    const auto warnings = dialogs.Texts("warning");
    QCOMPARE(warnings.size(), 2u);
    QVERIFY2(warnings[1].starts_with("The Installer is finished, but 1 warnings"), warnings[1].c_str());
    QVERIFY(window.pbar->maximum() > 0);
    QCOMPARE(window.pbar->value(), window.pbar->maximum());
    QVERIFY(!window.btnContinue->isEnabled());

    // The summary still shows after a run that could be started again.
    window.btnSummaryClick();
    QCOMPARE(window.views->currentWidget(), static_cast<QWidget*>(window.txtInfo));
  }

  void LongInformationTextOpensAtTheTop() {
    ModDir mod;
    std::string rtf = "{\\rtf1\\ansi First line\\par";
    for (int i = 0; i < 300; ++i) rtf += "More text " + std::to_string(i) + "\\par";
    mod.Write("veypatchdata/changes.ini", SettingsIni(""));
    mod.Write("veypatchdata/info.rtf", rtf + "}");
    ScriptedDialogs dialogs;
    app::MainWindow window(app::StartOptions{}, mod.RootQ(), dialogs.Layer());
    QVERIFY(window.Prepare());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    const QScrollBar* bar = window.txtInfo->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);
  }
};

VEY_APP_TEST(TryAgainTest);

}  // namespace vey::test

#include "TryAgainTest.moc"
