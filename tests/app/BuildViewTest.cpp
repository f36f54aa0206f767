// The build view: a synthetic build over real downloads, checked on the
// worker thread; options that exclude each other; a missing download fetched
// and checked again; the install into a game, with the choices the window
// saved read back by the command line. With VEY_SCREENSHOT_DIR set, each
// state is saved there as build-<state>.png (the suffix from
// VEY_SCREENSHOT_SUFFIX, e.g. "@2x").
#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include "AppTests.h"
#include "app/BuildWindow.h"

namespace vey::test {
namespace {

QString ViewPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

void ViewWrite(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void ViewZip(const std::filesystem::path& from, const std::filesystem::path& archive) {
  QProcess tar;
  tar.setWorkingDirectory(ViewPath(from));
  tar.start(QStringLiteral("bsdtar"), {QStringLiteral("--format"), QStringLiteral("zip"), QStringLiteral("-cf"), ViewPath(archive),
                                       QStringLiteral(".")});
  QVERIFY(tar.waitForFinished(30000));
  QCOMPARE(tar.exitCode(), 0);
}

// Written as plain literals: the meta-object compiler misreads raw strings.
const char* kViewBuild =
    "[metadata]\n"
    "fileFormatVersion = \"2.0\"\n"
    "\n"
    "[[thisMod]]\n"
    "Guid = \"A-1\"\n"
    "Name = \"Armour Pack\"\n"
    "Author = \"Smith\"\n"
    "Category = \"Appearance\"\n"
    "Description = \"New armour for every faction.\"\n"
    "[thisMod.ModLinkFilenames.\"https://example.org/armour\"]\n"
    "[[thisMod.Instructions]]\n"
    "Action = \"Extract\"\n"
    "Source = [\"<<modDirectory>>\\\\Armour*.zip\"]\n"
    "[[thisMod.Instructions]]\n"
    "Action = \"Choose\"\n"
    "Source = [\"DARK\", \"LIGHT\"]\n"
    "[[thisMod.Options]]\n"
    "Guid = \"DARK\"\n"
    "Name = \"Dark\"\n"
    "IsSelected = true\n"
    "Restrictions = [\"LIGHT\"]\n"
    "[[thisMod.Options.Instructions]]\n"
    "Action = \"Move\"\n"
    "Source = [\"<<modDirectory>>\\\\Armour v1\\\\Dark\\\\*\"]\n"
    "Destination = \"<<gameDirectory>>\\\\Override\"\n"
    "[[thisMod.Options]]\n"
    "Guid = \"LIGHT\"\n"
    "Name = \"Light\"\n"
    "[[thisMod.Options.Instructions]]\n"
    "Action = \"Move\"\n"
    "Source = [\"<<modDirectory>>\\\\Armour v1\\\\Light\\\\*\"]\n"
    "Destination = \"<<gameDirectory>>\\\\Override\"\n"
    "\n"
    "[[thisMod]]\n"
    "Guid = \"B-2\"\n"
    "Name = \"Party Banter\"\n"
    "Author = \"Jones\"\n"
    "Category = \"Dialogue\"\n"
    "[thisMod.ModLinkFilenames.\"https://example.org/banter\"]\n"
    "[[thisMod.Instructions]]\n"
    "Action = \"Extract\"\n"
    "Source = [\"<<modDirectory>>\\\\Banter*.zip\"]\n"
    "[[thisMod.Instructions]]\n"
    "Action = \"Copy\"\n"
    "Source = [\"<<modDirectory>>\\\\Banter\\\\*.txt\"]\n"
    "Destination = \"<<gameDirectory>>\\\\Override\"\n"
    "\n"
    "[[thisMod]]\n"
    "Guid = \"C-3\"\n"
    "Name = \"Executable Patch\"\n"
    "Category = \"Fixes\"\n"
    "Directions = \"Run the patch on the game's executable yourself.\"\n";

}  // namespace

class BuildViewTest : public QObject {
  Q_OBJECT

  ModDir dir;
  std::filesystem::path Downloads() const { return dir.Root() / "downloads"; }
  std::filesystem::path Game() const { return dir.Root() / "game"; }

  static bool WaitDone(app::BuildWindow& w) {
    QSignalSpy done(&w, &app::BuildWindow::WorkDone);
    return done.wait(60000);
  }
  static int RowOf(const app::BuildWindow& w, const QString& name) {
    for (int row = 0; row < w.tblMods->rowCount(); ++row)
      if (w.tblMods->item(row, 2)->text() == name) return row;
    return -1;
  }
  static void Shot(app::BuildWindow& w, const char* state, bool settle = true) {
    const QString shots = qEnvironmentVariable("VEY_SCREENSHOT_DIR");
    if (shots.isEmpty()) return;
    if (settle) QTest::qWait(200);
    const QString name = QStringLiteral("build-%1%2.png").arg(QLatin1String(state), qEnvironmentVariable("VEY_SCREENSHOT_SUFFIX"));
    QVERIFY(w.grab().save(QDir(shots).filePath(name)));
  }
  static QCheckBox* OptionBox(app::BuildWindow& w, const QString& startsWith) {
    for (QCheckBox* box : w.paneOptions->findChildren<QCheckBox*>())
      if (box->text().startsWith(startsWith)) return box;
    return nullptr;
  }

 private Q_SLOTS:
  void initTestCase() {
    ViewWrite(dir.Root() / "src/armour/Dark/robe.tga", "dark robe");
    ViewWrite(dir.Root() / "src/armour/Light/robe.tga", "light robe");
    ViewWrite(dir.Root() / "src/banter/banter.txt", "banter");
    std::filesystem::create_directories(Downloads());
    ViewZip(dir.Root() / "src/armour", Downloads() / "Armour v1.zip");
    ViewWrite(Downloads() / "build.toml", kViewBuild);
    ViewWrite(Game() / "dialog.tlk", "TLK ");
    ViewWrite(Game() / "override/keep.txt", "keep");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(ViewPath(dir.Root() / "cache")));
  }

  // Loaded and checked: each mod's state, the count of those that need the
  // person, and the filter that shows only them.
  void ChecksAndShowsWhatNeedsAttention() {
    app::BuildWindow w(ViewPath(Downloads() / "build.toml"), QString(), ViewPath(Game()));
    w.show();
    w.Check();
    QVERIFY(WaitDone(w));
    QCOMPARE(w.tblMods->rowCount(), 3);
    QCOMPARE(w.StateOf(RowOf(w, "Armour Pack")), QStringLiteral("ready"));
    QCOMPARE(w.StateOf(RowOf(w, "Party Banter")), QStringLiteral("missing download"));
    QCOMPARE(w.StateOf(RowOf(w, "Executable Patch")), QStringLiteral("by hand"));
    QCOMPARE(w.cbAttention->text().remove(u'&'), QStringLiteral("Needs attention (1)"));
    w.tblMods->selectRow(RowOf(w, "Party Banter"));
    QVERIFY2(w.txtDetails->toHtml().contains(QStringLiteral("https://example.org/banter")), qPrintable(w.txtDetails->toPlainText()));
    Shot(w, "missing-download");
    w.cbAttention->setChecked(true);
    QVERIFY(w.tblMods->isRowHidden(RowOf(w, "Armour Pack")));
    QVERIFY(!w.tblMods->isRowHidden(RowOf(w, "Party Banter")));
    w.cbAttention->setChecked(false);
    w.tblMods->selectRow(RowOf(w, "Executable Patch"));
    Shot(w, "loaded");
  }

  // An option another chosen one excludes cannot be ticked, and says why;
  // unticking the chosen one saves the choice and the mod then needs one.
  void OptionsHonourTheirRestrictions() {
    app::BuildWindow w(ViewPath(Downloads() / "build.toml"), QString(), ViewPath(Game()));
    w.show();
    w.Check();
    QVERIFY(WaitDone(w));
    w.tblMods->selectRow(RowOf(w, "Armour Pack"));
    QCheckBox* dark = OptionBox(w, "Dark");
    QCheckBox* light = OptionBox(w, "Light");
    QVERIFY(dark && light);
    QVERIFY(dark->isChecked());
    QVERIFY(!light->isEnabled());
    QCOMPARE(light->text(), QStringLiteral("Light (excluded by \"Dark\")"));
    dark->setChecked(false);
    QVERIFY(WaitDone(w));
    QCOMPARE(w.StateOf(RowOf(w, "Armour Pack")), QStringLiteral("needs a choice"));
    w.tblMods->selectRow(RowOf(w, "Armour Pack"));
    Shot(w, "choice");
    QVERIFY(std::filesystem::exists(Downloads() / "build.toml.choices.toml"));
    light = OptionBox(w, "Light");
    QVERIFY(light && light->isEnabled());
    light->setChecked(true);
    QVERIFY(WaitDone(w));
    QCOMPARE(w.StateOf(RowOf(w, "Armour Pack")), QStringLiteral("ready"));
  }

  // The missing download fetched, checked again, installed; the game holds
  // what the choices saved by the window say, and the command line reads
  // the same choices.
  void FetchedDownloadIsCheckedAgainAndTheBuildInstalls() {
    ViewZip(dir.Root() / "src/banter", Downloads() / "Banter.zip");
    app::BuildWindow w(ViewPath(Downloads() / "build.toml"), QString(), ViewPath(Game()));
    w.show();
    w.Check();
    QVERIFY(WaitDone(w));
    QCOMPARE(w.StateOf(RowOf(w, "Party Banter")), QStringLiteral("ready"));
    QVERIFY(w.btnInstall->isEnabled());
    // Taken as the second mod starts, as the window then shows it.
    bool shot = false;
    connect(w.pbar, &QProgressBar::valueChanged, &w, [&](int value) {
      if (value != 1 || shot) return;
      shot = true;
      w.repaint();
      Shot(w, "installing", false);
    });
    QSignalSpy done(&w, &app::BuildWindow::WorkDone);
    w.Install();
    QVERIFY(done.wait(60000));
    QCOMPARE(w.StateOf(RowOf(w, "Armour Pack")), QStringLiteral("installed"));
    QCOMPARE(w.StateOf(RowOf(w, "Party Banter")), QStringLiteral("installed"));
    QVERIFY2(w.lblSummary->text().startsWith(QStringLiteral("Installed 2, already installed 0, failed 0.")),
             qPrintable(w.lblSummary->text()));
    Shot(w, "finished");
    std::ifstream robe(Game() / "override/robe.tga");
    QCOMPARE(std::string((std::istreambuf_iterator<char>(robe)), std::istreambuf_iterator<char>()),
             std::string("light robe"));
    QVERIFY(std::filesystem::exists(Game() / "override/banter.txt"));

    QProcess cli;
    cli.start(QStringLiteral(VEY_CLI_PATH), {QStringLiteral("modlist"), QStringLiteral("status"), ViewPath(Downloads() / "build.toml"),
                                              QStringLiteral("--game"), ViewPath(Game())});
    QVERIFY(cli.waitForFinished(60000));
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("Armour Pack: installed")) && out.contains(QStringLiteral("Party Banter: installed")),
             qPrintable(out + QString::fromUtf8(cli.readAllStandardError())));
  }

  // A build file that cannot be read says why, with its line, and the window stays usable.
  void ABadBuildFileSaysWhyWithItsLine() {
    ViewWrite(dir.Root() / "bad/build.toml", "[metadata]\nfileFormatVersion = \"2.0\"\n[[thisMod]]\nGuid = \"x\"\n");
    app::BuildWindow w(ViewPath(dir.Root() / "bad/build.toml"), QString(), QString());
    w.show();
    w.Check();
    QVERIFY(WaitDone(w));
    QVERIFY2(w.lblSummary->text().contains(QStringLiteral("build.toml:3: a [[thisMod]] without a \"Name\"")),
             qPrintable(w.lblSummary->text()));
    QVERIFY(w.btnCheck->isEnabled());
    QVERIFY(!w.btnInstall->isEnabled());
  }
};

VEY_APP_TEST(BuildViewTest);

}  // namespace vey::test

#include "BuildViewTest.moc"
