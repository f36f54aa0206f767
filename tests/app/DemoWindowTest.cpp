// The whole demo mod installed through the window: the colours and weights of
// the log, the outcome box and the saved log.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "AppTests.h"
#include "app/MainWindow.h"

namespace vey::test {

class DemoWindowTest : public QObject {
  Q_OBJECT

  static QColor ColorOf(const QTextBlock& block) { return block.begin().fragment().charFormat().foreground().color(); }
  static bool BoldOf(const QTextBlock& block) {
    return block.begin().fragment().charFormat().fontWeight() >= QFont::Bold;
  }

 private Q_SLOTS:
  void InstallsTheDemo() {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/demo";
    const std::string command =
        "python3 \"" VEY_SOURCE_DIR "/demo/make_demo_game.py\" \"" + root + "\" > /dev/null";
    QCOMPARE(std::system(command.c_str()), 0);

    ScriptedDialogs dialogs;
    app::StartOptions options;
    options.gameDir = QString::fromStdString(root + "/game");
    options.compiler = QStringLiteral(VEY_SOURCE_DIR "/demo/standin-compiler");
    app::MainWindow window(options, QString::fromStdString(root + "/mod"), dialogs.Layer());
    QVERIFY(window.Prepare());
    window.show();
    QVERIFY(window.txtInfo->toPlainText().startsWith(QStringLiteral("VEYPatcher demo mod")));
    QSignalSpy finished(&window, &app::MainWindow::RunFinished);
    window.btnContinueClick();
    QVERIFY(window.Running());
    QVERIFY(!window.btnQuit->isEnabled());
    QVERIFY(finished.wait(60000));

    QCOMPARE(dialogs.Texts("question").size(), 1u);
    QCOMPARE(dialogs.Texts("info"),
             std::vector<std::string>{
                 "The Installer is finished. Please check the progress log for details about what has been done."});
    QCOMPARE(window.views->currentWidget(), static_cast<QWidget*>(window.txtLog));
    QCOMPARE(window.PendingLogEntries(), 0u);

    // Status lines green and bold, debug lines blue, install lines dark grey.
    QTextDocument* log = window.txtLog->document();
    const QTextBlock first = log->firstBlock();
    QVERIFY(first.text().startsWith(QStringLiteral(" \u2022 Installation started")));
    QCOMPARE(ColorOf(first), QColor(2, 97, 17));
    QVERIFY(BoldOf(first));
    QTextBlock last = log->lastBlock();
    QCOMPARE(last.text(), QStringLiteral(" \u2022 Done. All changes have been applied."));
    QCOMPARE(ColorOf(last), QColor(2, 97, 17));
    QVERIFY(BoldOf(last));
    int debug = 0, install = 0;
    for (QTextBlock b = log->firstBlock(); b.isValid(); b = b.next()) {
      if (b.text().contains(QStringLiteral("Install path set to"))) {
        QCOMPARE(ColorOf(b), QColor(4, 32, 152));
        QVERIFY(!BoldOf(b));
        ++debug;
      }
      if (b.text().contains(QStringLiteral("Installing unmodified files..."))) {
        QCOMPARE(ColorOf(b), QColor(46, 46, 46));
        ++install;
      }
    }
    QCOMPARE(debug, 1);
    QCOMPARE(install, 1);
    QVERIFY(window.pbar->value() > 0);

    // The saved log is an RTF document with the same lines and colours.
    std::ifstream in(root + "/mod/installlog.rtf", std::ios::binary);
    const std::string rtf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(rtf.starts_with("{\\rtf1\\ansi"));
    QVERIFY(rtf.find("\\red2\\green97\\blue17") != std::string::npos);
    QVERIFY(rtf.find("\\red4\\green32\\blue152") != std::string::npos);
    QVERIFY(rtf.find("\\b  \\'95 Installation started") != std::string::npos);
    QVERIFY(rtf.find("Done. All changes have been applied.") != std::string::npos);
    QVERIFY(std::filesystem::exists(root + "/game/override/appearance.2da"));
  }
};

VEY_APP_TEST(DemoWindowTest);

}  // namespace vey::test

#include "DemoWindowTest.moc"
