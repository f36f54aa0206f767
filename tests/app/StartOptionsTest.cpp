// The window's command line: which arguments name the instruction and
// information files, and where the mod folder is looked for.
#include <QDir>
#include <QTest>

#include "AppTests.h"
#include "app/QtDialogs.h"
#include "app/StartOptions.h"

namespace vey::test {

class StartOptionsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void FileNameArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("info");
    QTest::newRow("none") << QStringList{} << "changes.ini" << "info.rtf";
    QTest::newRow("both") << QStringList{"other.ini", "other.rtf"} << "other.ini" << "other.rtf";
    QTest::newRow("capitals") << QStringList{"MINE.INI", "Text.RTF"} << "MINE.INI" << "Text.RTF";
    // A first argument of another kind is ignored; the second is still examined.
    QTest::newRow("first not ini") << QStringList{"readme.txt", "about.rtf"} << "changes.ini" << "about.rtf";
    QTest::newRow("rtf first") << QStringList{"about.rtf"} << "changes.ini" << "info.rtf";
    QTest::newRow("second not rtf") << QStringList{"x.ini", "y.doc"} << "x.ini" << "info.rtf";
    QTest::newRow("options do not count") << QStringList{"--mod", "/m", "x.ini", "--game=/g", "y.rtf"} << "x.ini"
                                          << "y.rtf";
  }
  void FileNameArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, ini);
    QFETCH(QString, info);
    const app::StartOptions options = app::ParseStartOptions(arguments);
    QCOMPARE(QString::fromStdString(options.iniName), ini);
    QCOMPARE(QString::fromStdString(options.infoName), info);
    QVERIFY(options.error.isEmpty());
  }

  void FolderOptions() {
    const app::StartOptions options =
        app::ParseStartOptions({"--mod", "/m", "--game=/g", "--backup-dir", "/b", "x.ini"});
    QCOMPARE(options.modDir, QStringLiteral("/m"));
    QCOMPARE(options.gameDir, QStringLiteral("/g"));
    QCOMPARE(options.backupDir, QStringLiteral("/b"));
    QCOMPARE(QString::fromStdString(options.iniName), QStringLiteral("x.ini"));
    QVERIFY(!app::ParseStartOptions({"--mod"}).error.isEmpty());
  }

  // The engine's "description|pattern" filters as the Qt file dialog's.
  void OpenDialogFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("pattern in description") << "TLK file (*.tlk)|*.tlk" << "TLK file (*.tlk);;All files (*)";
    QTest::newRow("pattern added") << "Soundsets|*.ssf" << "Soundsets (*.ssf);;All files (*)";
    QTest::newRow("two patterns") << "Scripts|*.nss;*.ncs" << "Scripts (*.nss *.ncs);;All files (*)";
    QTest::newRow("two pairs") << "A (*.a)|*.a|B (*.b)|*.b" << "A (*.a);;B (*.b);;All files (*)";
    QTest::newRow("empty") << "" << "All files (*)";
  }
  void OpenDialogFilters() {
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(app::QtOpenDialog::QtFilter(filter.toStdString()), qt);
  }

  void ModFolderSearchOrder() {
    ModDir withData;  // holds veypatchdata
    ModDir empty;
    std::filesystem::remove_all(empty.Data());
    int asked = 0;
    auto chooser = [&] {
      ++asked;
      return QStringLiteral("/chosen");
    };
    app::StartOptions given;
    given.modDir = empty.RootQ();
    QCOMPARE(app::FindModFolder(given, withData.RootQ(), withData.RootQ(), chooser), QDir(empty.RootQ()).absolutePath());
    const app::StartOptions none;
    QCOMPARE(app::FindModFolder(none, withData.RootQ(), empty.RootQ(), chooser), QDir(withData.RootQ()).absolutePath());
    QCOMPARE(app::FindModFolder(none, empty.RootQ(), withData.RootQ(), chooser), QDir(withData.RootQ()).absolutePath());
    QCOMPARE(asked, 0);
    QCOMPARE(app::FindModFolder(none, empty.RootQ(), empty.RootQ(), chooser), QStringLiteral("/chosen"));
    QCOMPARE(asked, 1);
  }
};

VEY_APP_TEST(StartOptionsTest);

}  // namespace vey::test

#include "StartOptionsTest.moc"
