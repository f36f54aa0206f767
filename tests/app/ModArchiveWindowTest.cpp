// The window opening a mod archive: chosen, given with --mod, or dropped on
// the window; an archive holding several mods asks which one.
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <cstdlib>

#include "AppTests.h"
#include "app/MainWindow.h"
#include "app/ModOpening.h"

namespace vey::test {
namespace {

constexpr const char* kPackedInfoRtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Packed {\\b mod}\\par}";

bool HaveBsdtar() { return std::system("command -v bsdtar >/dev/null 2>&1") == 0; }

// A zip of what was written into the folder (without its own data folder),
// made by Debian's bsdtar.
QString Zip(const ModDir& mod, const QString& archive) {
  std::filesystem::remove_all(mod.Data());
  const std::string command = "cd '" + mod.Root().string() + "' && bsdtar --format zip -cf '" +
                              archive.toStdString() + "' .";
  return std::system(command.c_str()) == 0 ? archive : QString();
}

}  // namespace

class ModArchiveWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    // The cache goes into a scratch folder, not the person's.
    qputenv("XDG_CACHE_HOME", cache_.path().toUtf8());
  }

  void OpensAnArchiveAndShowsItsMod() {
    if (!HaveBsdtar()) QSKIP("bsdtar is not installed");
    ModDir mod;
    mod.Write("My Mod/veypatchdata/changes.ini", "[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\n");
    mod.Write("My Mod/veypatchdata/info.rtf", kPackedInfoRtf);
    QTemporaryDir out;
    const QString archive = Zip(mod, out.filePath(QStringLiteral("packed mod.zip")));
    QVERIFY(!archive.isEmpty());

    int asked = 0;
    const app::OpenedMod opened = app::OpenModPath(archive, [&](const QStringList&) {
      ++asked;
      return QString();
    });
    QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
    QCOMPARE(asked, 0);
    QCOMPARE(opened.archive, archive);
    QVERIFY(opened.folder.startsWith(cache_.path() + QStringLiteral("/veypatcher/mods/")));
    QVERIFY(opened.folder.endsWith(QStringLiteral("/My Mod")));

    ScriptedDialogs dialogs;
    app::MainWindow w(app::StartOptions{}, opened.folder, dialogs.Layer());
    QVERIFY(w.Prepare());
    w.show();
    QCOMPARE(w.txtInfo->toPlainText(), QStringLiteral("Packed mod"));
    QVERIFY(w.btnContinue->isEnabled());
    QVERIFY(dialogs.Texts("warning").empty());

    // Dropped on the window, the archive is handed to the host to open.
    QSignalSpy dropped(&w, &app::MainWindow::ModDropped);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(archive)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.front().front().toString(), archive);
  }

  void AsksWhichModOfSeveral() {
    if (!HaveBsdtar()) QSKIP("bsdtar is not installed");
    ModDir mod;
    for (const char* name : {"One", "Two"}) {
      mod.Write(std::string(name) + "/veypatchdata/changes.ini", "[Settings]\r\nFileExists=1\r\n");
      mod.Write(std::string(name) + "/veypatchdata/info.rtf", kPackedInfoRtf);
    }
    QTemporaryDir out;
    const QString archive = Zip(mod, out.filePath(QStringLiteral("two.zip")));
    QStringList offered;
    app::OpenedMod opened = app::OpenModPath(archive, [&](const QStringList& choices) {
      offered = choices;
      return QStringLiteral("Two");
    });
    QCOMPARE(offered, (QStringList{"One", "Two"}));
    QVERIFY(opened.folder.endsWith(QStringLiteral("/Two")));
    // Cancelled: nothing opened and nothing to complain about.
    opened = app::OpenModPath(archive, [](const QStringList&) { return QString(); });
    QVERIFY(opened.folder.isEmpty());
    QVERIFY(opened.error.isEmpty());
  }

  void RefusesWhatIsNoMod() {
    QTemporaryDir out;
    const QString text = out.filePath(QStringLiteral("notes.txt"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("just text");
    file.close();
    QVERIFY(!app::OpenModPath(text, {}).error.isEmpty());
    QVERIFY(!app::OpenModPath(out.filePath(QStringLiteral("missing.zip")), {}).error.isEmpty());
    // An instruction file stands for its mod folder.
    ModDir mod;
    mod.Write("veypatchdata/changes.ini", "[Settings]\r\n");
    const app::OpenedMod byIni = app::OpenModPath(QString::fromStdString((mod.Data() / "changes.ini").string()), {});
    QCOMPARE(byIni.folder, QDir(mod.RootQ()).absolutePath());
  }

 private:
  QTemporaryDir cache_;
};

VEY_APP_TEST(ModArchiveWindowTest);

}  // namespace vey::test

#include "ModArchiveWindowTest.moc"
