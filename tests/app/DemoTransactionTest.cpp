// The demo installed through the window as a transaction: the question
// before installing it a second time, and closing the window mid-run, which
// stops the run and puts the game back as it was.
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "AppTests.h"
#include "app/MainWindow.h"

namespace vey::test {
namespace {

std::map<std::string, std::string> Snapshot(const std::filesystem::path& game) { return GameSnapshot(game); }

struct Demo {
  QTemporaryDir dir;
  std::string root = dir.path().toStdString() + "/demo";
  std::filesystem::path Game() const { return root + "/game"; }

  bool Make() const {
    const std::string command =
        "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + root + "\" > /dev/null";
    return std::system(command.c_str()) == 0;
  }
  std::unique_ptr<app::MainWindow> Open(ScriptedDialogs& dialogs) const {
    app::StartOptions options;
    options.gameDir = QString::fromStdString(root + "/game");
    options.compiler = QStringLiteral(VEY_SOURCE_DIR "/demo/standin-compiler");
    auto window = std::make_unique<app::MainWindow>(options, QString::fromStdString(root + "/mod"), dialogs.Layer());
    if (!window->Prepare()) return nullptr;
    window->show();
    return window;
  }
  // Clicks the start button and waits for the run's end.
  static bool Run(app::MainWindow& window) {
    QSignalSpy finished(&window, &app::MainWindow::RunFinished);
    window.btnContinueClick();
    return window.Running() && finished.wait(60000);
  }
};

}  // namespace

class DemoTransactionTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A second install of the same mod asks first: No leaves every game file
  // as it was, Yes installs it again.
  void AsksBeforeInstallingAgain() {
    Demo demo;
    QVERIFY(demo.Make());
    {
      ScriptedDialogs first;
      auto window = demo.Open(first);
      QVERIFY(window);
      QVERIFY(Demo::Run(*window));
      QCOMPARE(first.Texts("question").size(), 1u);  // the mod's own confirmation only
    }
    const auto installed = Snapshot(demo.Game());

    ScriptedDialogs declined;
    declined.answers = {true, false};
    auto window = demo.Open(declined);
    QVERIFY(window);
    QVERIFY(Demo::Run(*window));
    const auto questions = declined.Texts("question");
    QCOMPARE(questions.size(), 2u);
    QVERIFY(questions[1].starts_with("This mod was already installed into this game on "));
    QVERIFY(questions[1].ends_with("Install it again?"));
    QCOMPARE(declined.Texts("info"), std::vector<std::string>{"The mod was not installed again; nothing was changed."});
    QVERIFY(declined.Texts("warning").empty());
    QVERIFY(Snapshot(demo.Game()) == installed);

    ScriptedDialogs accepted;
    accepted.answers = {true, true};
    window = demo.Open(accepted);
    QVERIFY(window);
    QVERIFY(Demo::Run(*window));
    QCOMPARE(accepted.Texts("question").size(), 2u);
    // The second run may warn about what it finds installed; it runs to its end.
    const QString log = window->txtLog->toPlainText();
    QVERIFY(log.contains(QStringLiteral("Installing it again as asked.")));
    QVERIFY(log.contains(QStringLiteral(" \u2022 Done.")));
    QVERIFY(Snapshot(demo.Game()) != installed);
  }

  // The window's uninstall: with nothing recorded it says so; after the demo
  // was installed it undoes it, refusing first when a game file changed
  // since and forcing only on a second Yes. Every time the game folder ends
  // byte-identical to before the install.
  void UninstallsTheOpenMod() {
    struct Case {
      const char* name;
      bool touchFile;  // change an installed file by hand before uninstalling
    };
    for (const Case& c : {Case{"untouched", false}, Case{"changed since", true}}) {
      Demo demo;
      QVERIFY(demo.Make());
      const auto before = Snapshot(demo.Game());
      ScriptedDialogs dialogs;
      auto window = demo.Open(dialogs);
      QVERIFY(window);
      QVERIFY2(window->btnUninstall->isEnabled(), c.name);
      window->btnUninstall->click();
      QCOMPARE(dialogs.Texts("info").size(), 1u);
      QVERIFY(dialogs.Texts("info")[0].starts_with("No installation of this mod is recorded"));

      QVERIFY(Demo::Run(*window));
      QVERIFY(window->btnUninstall->isEnabled());
      QVERIFY(!window->btnContinue->isEnabled());
      QVERIFY(Snapshot(demo.Game()) != before);
      if (c.touchFile) {
        std::ofstream(demo.Game() / "dialog.tlk", std::ios::binary | std::ios::app) << "later edit";
        dialogs.answers = {true, false};  // uninstall? yes; put back anyway? no
        const auto edited = Snapshot(demo.Game());
        window->btnUninstall->click();
        const auto questions = dialogs.Texts("question");
        QVERIFY2(questions.back().find("changed after it:\n  dialog.tlk") != std::string::npos,
                 questions.back().c_str());
        QVERIFY(questions.back().ends_with("Put the old files back anyway? The later changes to these files are "
                                           "lost."));
        QVERIFY(Snapshot(demo.Game()) == edited);
      }
      const std::size_t asked = dialogs.Texts("question").size();
      dialogs.answers = {true, true};
      window->btnUninstall->click();
      const auto questions = dialogs.Texts("question");
      QCOMPARE(questions.size(), asked + (c.touchFile ? 2 : 1));
      // Named by the caption the mod sets.
      QVERIFY(questions[asked].starts_with("Uninstall the mod \"VEYPatcher demo mod\", installed into this game on "));
      QVERIFY(dialogs.Texts("warning").empty());
      QVERIFY2(dialogs.Texts("info").back().starts_with("The mod \"VEYPatcher demo mod\" was uninstalled: "),
               dialogs.Texts("info").back().c_str());
      QVERIFY2(Snapshot(demo.Game()) == before, c.name);
      // The mod is out of the game: it can be installed again at once.
      QVERIFY(window->btnContinue->isEnabled());
      // The run left the history with the undo.
      window->btnUninstall->click();
      QVERIFY(dialogs.Texts("info").back().starts_with("No installation of this mod is recorded"));
    }
  }

  // Closing the window mid-run and answering Yes stops the run at its next
  // file, puts back every game file and then closes the window. The close
  // comes while the worker waits after a log line, so no timing is involved.
  void ClosingMidRunRollsBack() {
    Demo demo;
    QVERIFY(demo.Make());
    const auto before = Snapshot(demo.Game());
    ScriptedDialogs dialogs;
    auto window = demo.Open(dialogs);
    QVERIFY(window);
    // Line 20 comes after the talk table, the copied files and an archive
    // were changed, and before the run's end.
    window->SetLinePause(20, [&] { window->close(); });
    QVERIFY(Demo::Run(*window));

    const auto questions = dialogs.Texts("question");
    QCOMPARE(questions.size(), 2u);
    QVERIFY(questions[1].starts_with("The installation is still running. Stop it"));
    QVERIFY(dialogs.Texts("info").empty());
    QCOMPARE(dialogs.Texts("warning"),
             std::vector<std::string>{"The installation was interrupted. Check the progress log for what was "
                                      "rolled back."});
    const QString log = window->txtLog->toPlainText();
    QVERIFY(log.contains(QStringLiteral("dialog.tlk file updated")));
    QVERIFY(log.contains(QStringLiteral("Rolling back: the installation was interrupted.")));
    QVERIFY(!log.contains(QStringLiteral("Done.")));
    QVERIFY(Snapshot(demo.Game()) == before);
    QVERIFY(!window->isVisible());
  }

  // "Copy report" puts the game folder's report on the clipboard: the demo
  // mod listed, the folder shown from the home folder, no other path in it.
  void CopiesTheReport() {
    Demo demo;
    QVERIFY(demo.Make());
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", demo.dir.path().toUtf8());
    ScriptedDialogs dialogs;
    auto window = demo.Open(dialogs);
    QVERIFY(window);
    QVERIFY(Demo::Run(*window));
    QVERIFY(window->btnCopyReport->isEnabled());
    QApplication::clipboard()->clear();
    window->btnCopyReport->click();
    qputenv("HOME", home);
    const QString report = QApplication::clipboard()->text();
    QVERIFY2(report.contains(QStringLiteral("Game folder: ~/demo/game\n")), qPrintable(report));
    // Named by the caption the mod sets.
    QVERIFY2(report.contains(QStringLiteral("  1. VEYPatcher demo mod - ok, ")), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("dialog.tlk: ")), qPrintable(report));
    QVERIFY2(!report.contains(demo.dir.path()), qPrintable(report));
    QVERIFY(dialogs.Texts("info").back().starts_with("The report of the game folder is on the clipboard."));
  }
};

VEY_APP_TEST(DemoTransactionTest);

}  // namespace vey::test

#include "DemoTransactionTest.moc"
