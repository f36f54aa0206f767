// The window's uninstall of a mod that later mods were installed over: it
// offers to take it out and install the later mods again, which leaves the
// game as a fresh install of the later mods alone would; a later mod that
// changed since is refused before anything changes, and Cancel changes
// nothing.
#include <QDir>
#include <QProcess>
#include <QTest>

#include "AppTests.h"
#include "app/MainWindow.h"
#include "app/QtDialogs.h"

namespace vey::test {
namespace {

const std::string kEmptyTlk("TLK V3.0\0\0\0\0\0\0\0\0\x14\0\0\0", 20);

int RunCli(const QStringList& arguments) {
  QProcess cli;
  cli.start(QStringLiteral(VEY_CLI_PATH), arguments);
  if (!cli.waitForFinished(60000)) return -1;
  return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

// A mod that installs its files into override; all of them write shared.txt.
// "later" has two installation types, so that its replay must keep the one
// chosen.
struct Mods {
  ModDir first, later, last;
  ModDir games;
  std::filesystem::path Game() const { return games.Root() / "game"; }
  std::filesystem::path Fresh() const { return games.Root() / "fresh"; }

  Mods() {
    Write(first, "veypatchdata/", "first", {"first.txt", "shared.txt"});
    first.Write("veypatchdata/info.rtf", "First");
    later.Write("veypatchdata/namespaces.ini",
                "[Namespaces]\r\nstd=default\r\nlite=LiteSection\r\n"
                "[LiteSection]\r\nName=Lite\r\nIniName=lite.ini\r\nDataPath=lite\r\n");
    Write(later, "veypatchdata/", "later", {"later.txt"});
    Write(later, "veypatchdata/lite/", "lite", {"lite.txt", "shared.txt"});
    Write(last, "veypatchdata/", "last", {"last.txt"});
    for (const char* game : {"game", "fresh"}) {
      games.Write(std::string(game) + "/dialog.tlk", kEmptyTlk);
      games.Write(std::string(game) + "/override/shared.txt", "the game's own");
    }
  }
  static void Write(const ModDir& mod, const std::string& folder, const std::string& name,
                    const std::vector<std::string>& files) {
    std::string list = "ConfirmMessage=N/A\r\n[InstallList]\r\nf=override\r\n[f]\r\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
      // The game ships shared.txt: only a Replace key overwrites it without a warning.
      list += (files[i] == "shared.txt" ? "Replace" : "File") + std::to_string(i) + "=" + files[i] + "\r\n";
      mod.Write(folder + files[i], name + " wrote " + files[i]);
    }
    mod.Write(folder + (name == "lite" ? "lite.ini" : "changes.ini"), SettingsIni(list));
  }
  // All three into the game, then the later two alone into a fresh one.
  bool Install() const {
    return RunCli({"install", "--mod", first.RootQ(), "--game", Q(Game()), "--yes"}) == 0 &&
           RunCli({"install", "--mod", later.RootQ(), "--game", Q(Game()), "--yes", "--namespace", "lite"}) == 0 &&
           RunCli({"install", "--mod", last.RootQ(), "--game", Q(Game()), "--yes"}) == 0 &&
           RunCli({"install", "--mod", later.RootQ(), "--game", Q(Fresh()), "--yes", "--namespace", "lite"}) == 0 &&
           RunCli({"install", "--mod", last.RootQ(), "--game", Q(Fresh()), "--yes"}) == 0;
  }
  std::unique_ptr<app::MainWindow> OpenFirst(ScriptedDialogs& dialogs) const {
    app::StartOptions options;
    options.gameDir = Q(Game());
    auto window = std::make_unique<app::MainWindow>(options, first.RootQ(), dialogs.Layer());
    if (!window->Prepare()) return nullptr;
    window->show();
    return window;
  }
};

const std::string kOffer = "[Uninstall, then reinstall the 2 later mods]\n[Uninstall only]";

}  // namespace

class ReplayWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void TakesTheModOutFromUnderTheLaterOnes() {
    Mods mods;
    QVERIFY(mods.Install());
    const auto installed = GameSnapshot(mods.Game());
    ScriptedDialogs dialogs;
    auto window = mods.OpenFirst(dialogs);
    QVERIFY(window);
    QVERIFY(window->btnUninstall->isEnabled());

    // Cancel: nothing asked further, nothing changed.
    window->btnUninstall->click();
    QCOMPARE(dialogs.Texts("choice").size(), 1u);
    const std::string offer = dialogs.Texts("choice")[0];
    QVERIFY2(offer.starts_with("Uninstall the mod \"") && offer.ends_with(" 2 mods were installed after it.\n" + kOffer),
             offer.c_str());
    QCOMPARE(dialogs.shown.size(), 1u);  // the offer only
    QVERIFY(GameSnapshot(mods.Game()) == installed);

    // A later mod changed since it was installed: refused by name, nothing changed.
    mods.later.Write("veypatchdata/lite/lite.txt", "edited since");
    dialogs.choices = {0};
    window->btnUninstall->click();
    QCOMPARE(dialogs.Texts("warning").size(), 1u);
    const std::string refusal = dialogs.Texts("warning")[0];
    QVERIFY2(refusal.find("nothing was changed") != std::string::npos, refusal.c_str());
    QVERIFY2(refusal.find("changed since it was installed") != std::string::npos, refusal.c_str());
    QVERIFY(GameSnapshot(mods.Game()) == installed);
    Mods::Write(mods.later, "veypatchdata/lite/", "lite", {"lite.txt", "shared.txt"});

    // Taken out: the game is what the later mods alone make of it.
    dialogs.choices = {0};
    window->btnUninstall->click();
    QCOMPARE(dialogs.Texts("warning").size(), 1u);
    QVERIFY2(dialogs.Texts("info").back().ends_with("was uninstalled and the 2 later mods installed again."),
             dialogs.Texts("info").back().c_str());
    const auto after = GameSnapshot(mods.Game());
    QVERIFY(after == GameSnapshot(mods.Fresh()));
    QCOMPARE(after.at("override/shared.txt"), std::string("lite wrote shared.txt"));
    QVERIFY(!after.contains("override/first.txt"));
    // The history holds the later two again, and nothing of the first.
    window->btnUninstall->click();
    QVERIFY(dialogs.Texts("info").back().starts_with("No installation of this mod is recorded"));
    QCOMPARE(RunCli({"verify", "--game", Q(mods.Game())}), 0);
  }

  // The Qt box: one button per choice in order, Cancel the default. With
  // VEY_SCREENSHOT_DIR set it is saved there as it looks.
  void ChoiceBoxHasTheChoicesAndCancel() {
    const std::vector<std::string> choices = {"Uninstall, then reinstall the 2 later mods", "Uninstall only"};
    const auto box = app::QtMessageBoxes::ChoiceBox(
        nullptr,
        "Uninstall the mod \"Better Robes\", installed into this game on 2026-12-08 09:12:45 UTC (run "
        "20261208-091245.120-3f2a)? Every file it changed is put back as it was before. 2 mods were installed "
        "after it.",
        choices);
    QStringList texts;
    for (QAbstractButton* b : box->buttons()) texts << b->text().remove(u'&');
    QVERIFY2(texts.indexOf(QStringLiteral("Uninstall, then reinstall the 2 later mods")) <
                 texts.indexOf(QStringLiteral("Uninstall only")),
             qPrintable(texts.join(u'|')));
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
    QCOMPARE(box->buttons().size(), 3);
    const QString shots = qEnvironmentVariable("VEY_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
      box->show();
      QTest::qWait(300);
      QVERIFY(box->grab().save(QDir(shots).filePath(QStringLiteral("uninstall-replay.png"))));
    }
  }
};

VEY_APP_TEST(ReplayWindowTest);

}  // namespace vey::test

#include "ReplayWindowTest.moc"
