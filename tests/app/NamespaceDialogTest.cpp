// The installation-type dialog: its list and descriptions, and the choice as
// the window takes it over (a chosen type replaces the file names given).
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "AppTests.h"
#include "app/MainWindow.h"
#include "app/NamespaceDialog.h"

namespace vey::test {

class NamespaceDialogTest : public QObject {
  Q_OBJECT

  static void WriteTypes(const ModDir& mod) {
    mod.Write("veypatchdata/namespaces.ini",
              "[Namespaces]\r\nstd=default\r\nlite=lite\r\nblank=\r\n"
              "[lite]\r\nName=Lite\r\nDescription=Fewer files\r\nIniName=lite.ini\r\nInfoName=lite.rtf\r\n"
              "DataPath=litefolder\r\n");
    mod.Write("veypatchdata/litefolder/lite.ini", SettingsIni("WindowCaption=Lite caption"));
    mod.Write("veypatchdata/litefolder/lite.rtf", "{\\rtf1 Lite text\\par}");
    mod.Write("veypatchdata/changes.ini", SettingsIni("WindowCaption=Standard caption"));
    mod.Write("veypatchdata/info.rtf", "Standard text");
  }

 private Q_SLOTS:
  void ListsTypesWithTheirDefaults() {
    ModDir mod;
    WriteTypes(mod);
    platform::GameFileSystem fs;
    app::NamespaceDialog dialog(fs, mod.Data() / "");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("VEYPatcher - Select installation type"));
    QCOMPARE(dialog.cbNamespace->count(), 3);
    QCOMPARE(dialog.cbNamespace->itemText(0), QStringLiteral("Standard install"));
    QCOMPARE(dialog.cbNamespace->itemText(1), QStringLiteral("Lite"));
    QCOMPARE(dialog.cbNamespace->itemText(2), QStringLiteral("*no name set*"));
    QCOMPARE(dialog.txtDesc->toPlainText(), QStringLiteral("*no description set*"));
    dialog.cbNamespace->setCurrentIndex(1);
    QCOMPARE(dialog.txtDesc->toPlainText(), QStringLiteral("Fewer files"));
    QCOMPARE(dialog.btnOK->text(), QStringLiteral("&Select"));
    QCOMPARE(dialog.btnCancel->text(), QStringLiteral("&Exit"));
  }

  void ChosenTypeReplacesTheArgument() {
    ModDir mod;
    WriteTypes(mod);
    ScriptedDialogs dialogs;
    app::StartOptions options = app::ParseStartOptions({"given.ini", "given.rtf"});
    app::MainWindow window(options, mod.RootQ(), dialogs.Layer());
    QVERIFY(window.Prepare([](app::NamespaceDialog& d) {
      d.cbNamespace->setCurrentIndex(1);
      QTest::mouseClick(d.btnOK, Qt::LeftButton);
      return d.result();
    }));
    QCOMPARE(window.IniName(), std::string("lite.ini"));
    QCOMPARE(window.InfoName(), std::string("lite.rtf"));
    QCOMPARE(window.DataPath(), mod.Data() / "litefolder" / "");
    QCOMPARE(window.windowTitle(), QStringLiteral("Lite caption"));
    QCOMPARE(window.txtInfo->toPlainText(), QStringLiteral("Lite text"));
    QVERIFY(dialogs.shown.empty());
  }

  // A type whose folder is missing or outside would install the standard
  // files instead; the window says so and starts nothing.
  void TypeFolderThatIsNoFolderOfTheMod_data() {
    QTest::addColumn<QString>("dataPath");
    QTest::addColumn<bool>("refused");
    QTest::newRow("missing") << "nowhere" << true;
    QTest::newRow("climbs out") << "..\\veypatchdata" << true;
    QTest::newRow("present") << "litefolder" << false;
  }
  void TypeFolderThatIsNoFolderOfTheMod() {
    QFETCH(QString, dataPath);
    QFETCH(bool, refused);
    ModDir mod;
    WriteTypes(mod);
    mod.Write("veypatchdata/namespaces.ini", "[Namespaces]\r\nlite=lite\r\n[lite]\r\nName=Lite\r\nIniName=lite.ini\r\nInfoName=lite.rtf\r\n"
                                             "DataPath=" + dataPath.toStdString() + "\r\n");
    ScriptedDialogs dialogs;
    app::MainWindow window(app::StartOptions{}, mod.RootQ(), dialogs.Layer());
    QVERIFY(window.Prepare([](app::NamespaceDialog&) { return int(QDialog::Accepted); }));
    QCOMPARE(window.btnContinue->isEnabled(), !refused);
    if (refused)
      QCOMPARE(dialogs.Texts("warning"),
               std::vector<std::string>{"The installation type \"Lite\" names the folder \"" + dataPath.toStdString() +
                                        "\", which is not inside the \"veypatchdata\" folder. Nothing can be "
                                        "installed."});
    else
      QVERIFY(dialogs.shown.empty());
  }

  // Before the window shows, the dialog sits in the middle of the screen;
  // once the window shows, in the middle of the window.
  void DialogIsCentred() {
    ModDir mod;
    WriteTypes(mod);
    ScriptedDialogs dialogs;
    app::MainWindow window(app::StartOptions{}, mod.RootQ(), dialogs.Layer());
    QPoint centre;
    const auto record = [&centre](app::NamespaceDialog& d) {
      centre = d.geometry().center();
      return int(QDialog::Accepted);
    };
    QVERIFY(window.Prepare(record));
    const QPoint screen = window.screen()->availableGeometry().center();
    QVERIFY2((centre - screen).manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));

    window.show();
    window.move(window.screen()->availableGeometry().topLeft() + QPoint(40, 30));
    QVERIFY(window.Prepare(record));
    const QPoint middle = window.frameGeometry().center();
    QVERIFY2((centre - middle).manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
  }

  void LeavingTheDialogEndsWithoutARun() {
    ModDir mod;
    WriteTypes(mod);
    ScriptedDialogs dialogs;
    app::MainWindow window(app::StartOptions{}, mod.RootQ(), dialogs.Layer());
    QVERIFY(!window.Prepare([](app::NamespaceDialog& d) {
      QTest::mouseClick(d.btnCancel, Qt::LeftButton);
      return d.result();
    }));
    QVERIFY(dialogs.shown.empty());
    QVERIFY(!mod.Exists("installlog.rtf"));
  }
};

VEY_APP_TEST(NamespaceDialogTest);

}  // namespace vey::test

#include "NamespaceDialogTest.moc"
