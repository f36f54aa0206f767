// The journal belongs to the installer: a mod cannot write into it, and every
// reader (recovery, uninstall, history) treats what it finds there as
// untrusted. Each attack runs against a test HOME whose stand-in ~/.bashrc
// must stay as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "CliRun.h"
#include "platform/RunJournal.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBashrc = "# the person's own shell settings\n";

class JournalDefence : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("home/jane.doe/.bashrc", kBashrc);
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
    dir.Write("game/override/keep.txt", "keep");
    Mod("mod", "[InstallList]\nf=override\n[f]\nFile0=mod.txt\n");
  }
  void Mod(const std::string& name, const std::string& lists) {
    dir.Write(name + "/veypatchdata/mod.txt", "installed by " + name);
    dir.Write(name + "/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n" + lists);
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = Game().string();
    return RunCli(args, {"HOME=" + (dir / "home/jane.doe").string()});
  }
  CliResult Install(const std::string& mod = "mod") {
    return Run({"install", "--mod", (dir / mod).string(), "--game", "GAME", "--yes"});
  }
  fs::path Game() const { return dir / "game"; }
  fs::path Runs() const { return Game() / ".veypatcher/runs"; }
  std::string OnlyRun() const {
    std::vector<std::string> ids;
    for (const auto& e : fs::directory_iterator(Runs())) ids.push_back(e.path().filename().string());
    return ids.size() == 1 ? ids[0] : std::string();
  }
  std::string Identity() const { return dir.Read("game/.veypatcher/id").substr(0, 32); }
  // Every file of the game with its bytes, the journal aside.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(Game()); it != fs::recursive_directory_iterator(); ++it) {
      const std::string rel = fs::relative(it->path(), Game()).string();
      if (rel == ".veypatcher") {
        it.disable_recursion_pending();
        continue;
      }
      tree[rel] = it->is_directory() ? "/" : dir.Read("game/" + rel);
    }
    return tree;
  }
  // A run record written by hand into the journal, as an attacker would.
  void Plant(const std::string& id, const std::string& runText, const std::string& changes,
             const std::map<std::string, std::string>& pre = {}, const std::string& files = "") {
    fs::create_directories(Runs() / id / "pre");
    dir.Write("game/.veypatcher/runs/" + id + "/run.txt", runText);
    dir.Write("game/.veypatcher/runs/" + id + "/changes.log", changes);
    if (!files.empty()) dir.Write("game/.veypatcher/runs/" + id + "/files.txt", files);
    for (const auto& [name, text] : pre) {
      std::ofstream out(Runs() / id / "pre" / name, std::ios::binary);
      out << text;
    }
  }
  std::string Header(const std::string& state) const {
    return "mod=" + (dir / "mod").string() + "\nstarted=2026-01-01 00:00:00\n" +
           (state.empty() ? "" : "state=" + state + "\n") + "journal=" + Identity() + "\n";
  }
  void ExpectBashrcKept() { EXPECT_EQ(dir.Read("home/jane.doe/.bashrc"), kBashrc); }
  TempDir dir;
};

TEST_F(JournalDefence, ModWritesIntoTheJournalAreRefusedInEverySpelling) {
  // Destinations and saved names that all lead into the journal folder.
  const std::string spellings[] = {".veypatcher", ".VEYPATCHER", ".\\.veypatcher", ".//.veypatcher/",
                                   ".VeyPatcher\\runs\\"};
  std::string lists = "[InstallList]\nok=override\n";
  for (std::size_t i = 0; i < std::size(spellings); ++i)
    lists += "d" + std::to_string(i) + "=" + spellings[i] + "\n";
  lists += "top=.\\\n[ok]\nReplace0=mod.txt\n";
  for (std::size_t i = 0; i < std::size(spellings); ++i) lists += "[d" + std::to_string(i) + "]\nFile0=lock\n";
  // Into the game folder, but renamed into the journal on the way.
  lists += "[top]\nFile0=planted.txt\n[planted.txt]\n!SaveAs=.Veypatcher\\id\n";
  Mod("evil", lists);
  dir.Write("evil/veypatchdata/lock", "0\tnot a lock\n");
  dir.Write("evil/veypatchdata/planted.txt", "0123456789abcdef0123456789abcdef\n");
  ASSERT_EQ(Install().exitCode, 0);
  const std::string identity = Identity();

  CliResult r = Install("evil");
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  std::size_t refusals = 0;
  for (const std::string& line : Lines(r.out)) refusals += line.find("journal folder") != std::string::npos;
  EXPECT_EQ(refusals, std::size(spellings) + 1) << r.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "installed by evil");  // the sound entry still went in
  EXPECT_EQ(Identity(), identity);
  EXPECT_FALSE(fs::exists(Game() / ".veypatcher/runs/lock"));
  EXPECT_EQ(fs::file_size(Game() / ".veypatcher/lock"), 0u);
  for (const auto& e : fs::recursive_directory_iterator(Game()))
    EXPECT_NE(e.path().filename(), "planted.txt") << e.path();
}

TEST_F(JournalDefence, PlantedRecordsAreNeverActedUpon) {
  struct Case {
    const char* what;
    std::string changes;
    std::map<std::string, std::string> pre;
    std::string named;  // what the refusal names
  };
  ASSERT_EQ(Install().exitCode, 0);
  const std::string victim = (dir / "victim.txt").string();
  const Case cases[] = {
      {"an old version whose name climbs out to ~/.bashrc", "",
       {{"0~..%2Fhome%2Fjane.doe%2F.bashrc", "planted text\n"}}, "pre/0~..%2Fhome"},
      {"a change line with an absolute path", "file\t0\t" + victim + "\n", {}, "changes.log, line 1"},
      {"a change line climbing out", "file\t0\t../victim.txt\n", {}, "changes.log, line 1"},
      {"a 25-digit change number", "", {{"1234567890123456789012345~override%2Fx", "x"}}, "pre/1234567890"},
  };
  for (const Case& c : cases) {
    dir.Write("victim.txt", "victim");
    Plant("99990101-000000.000-evil", Header("running"), c.changes, c.pre);
    const auto before = Snapshot();
    for (const char* command : {"install", "uninstall"}) {
      CliResult r = std::string(command) == "install" ? Install() : Run({"uninstall", "--game", "GAME"});
      EXPECT_EQ(r.exitCode, 6) << c.what << ' ' << command << '\n' << r.out << r.err;
      EXPECT_NE((r.out + r.err).find(c.named), std::string::npos) << c.what << '\n' << r.out << r.err;
      EXPECT_NE((r.out + r.err).find("--run 99990101-000000.000-evil --forget"), std::string::npos) << r.out;
    }
    ExpectBashrcKept();
    EXPECT_EQ(dir.Read("victim.txt"), "victim") << c.what;
    EXPECT_EQ(Snapshot(), before) << c.what;
    fs::remove_all(Runs() / "99990101-000000.000-evil");
  }
}

TEST_F(JournalDefence, DamagedOrForeignFinishedRunsAreShownButNeverUndone) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string mine = OnlyRun();
  const std::string digest(64, 'a');
  struct Case {
    const char* what;
    std::string runText;
    std::string files;
    std::string named;
  };
  const Case cases[] = {
      {"a size of 25 digits", Header("finished"),
       "created\t0\t\t1234567890123456789012345\t" + digest + "\t1\t1\toverride/keep.txt\n", "files.txt, line 1"},
      {"a run of another game folder sorting last",
       "mod=x\nstate=finished\njournal=00000000000000000000000000000000\n", "", "another game folder"},
      {"a run without a journal id", "mod=x\nstate=finished\n", "", "no journal id"},
      {"a run without a state line", Header(""), "", "no state line"},
  };
  for (const Case& c : cases) {
    Plant("99990101-000000.000-evil", c.runText, "file\t0\toverride/keep.txt\n", {}, c.files);
    const auto before = Snapshot();
    CliResult history = Run({"history", "--game", "GAME"});
    EXPECT_EQ(history.exitCode, 0);
    EXPECT_NE(history.out.find("damaged"), std::string::npos) << c.what << '\n' << history.out;
    EXPECT_NE(history.out.find(c.named), std::string::npos) << c.what << '\n' << history.out;
    // The latest run is the planted one: refused by name, nothing undone.
    CliResult undo = Run({"uninstall", "--game", "GAME"});
    EXPECT_EQ(undo.exitCode, 6) << c.what << '\n' << undo.out;
    EXPECT_NE(undo.out.find(c.named), std::string::npos) << c.what << '\n' << undo.out;
    EXPECT_EQ(Snapshot(), before) << c.what;
    // A finished run, however damaged, does not stop an install; one without
    // a state may have left changes nothing can put back, and does.
    CliResult again = Run({"install", "--mod", (dir / "mod").string(), "--game", "GAME", "--yes"});
    EXPECT_EQ(again.exitCode, c.runText.find("state=") == std::string::npos ? 6 : 4) << c.what << '\n' << again.out;
    EXPECT_EQ(Snapshot(), before) << c.what;
    fs::remove_all(Runs() / "99990101-000000.000-evil");
  }
  // With the planted run gone, the mod's own run is undone as before.
  EXPECT_EQ(Run({"uninstall", "--game", "GAME", "--run", mine}).exitCode, 0);
  EXPECT_FALSE(fs::exists(Game() / "override/mod.txt"));
}

TEST_F(JournalDefence, LinksInTheJournalAreNeverFollowed) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string mine = OnlyRun();
  // An unfinished run outside the game, reached through a link in runs/.
  dir.Write("elsewhere/run/run.txt", Header("running"));
  dir.Write("elsewhere/run/changes.log", "file\t1\toverride/keep.txt\n");
  dir.Write("elsewhere/run/pre/0~override%2Fkeep.txt", "replaced");
  fs::create_directory_symlink(dir / "elsewhere/run", Runs() / "99990101-000000.000-link");
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 6) << r.out;
  EXPECT_NE(r.out.find("link"), std::string::npos) << r.out;
  EXPECT_EQ(dir.Read("game/override/keep.txt"), "keep");
  EXPECT_TRUE(fs::exists(dir / "elsewhere/run/pre/0~override%2Fkeep.txt"));
  // An old version that is a link would put the link into the game.
  fs::remove(Runs() / "99990101-000000.000-link");
  Plant("99990101-000000.000-evil", Header("running"), "file\t1\toverride/keep.txt\n");
  fs::create_symlink(dir / "home/jane.doe/.bashrc", Runs() / "99990101-000000.000-evil/pre/0~override%2Fkeep.txt");
  EXPECT_EQ(Run({"uninstall", "--game", "GAME", "--run", mine}).exitCode, 6);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Game() / "override/keep.txt")));
  fs::remove_all(Runs() / "99990101-000000.000-evil");

  // The lock a link to ~/.bashrc, or a folder: refused, saying so.
  fs::remove(Game() / ".veypatcher/lock");
  fs::create_symlink(dir / "home/jane.doe/.bashrc", Game() / ".veypatcher/lock");
  CliResult link = Install();
  EXPECT_EQ(link.exitCode, 6) << link.out;
  EXPECT_NE(link.out.find("is a link"), std::string::npos) << link.out;
  ExpectBashrcKept();
  fs::remove(Game() / ".veypatcher/lock");
  fs::create_directory(Game() / ".veypatcher/lock");
  CliResult folder = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(folder.exitCode, 6) << folder.out;
  EXPECT_NE(folder.out.find("is a folder"), std::string::npos) << folder.out;
  fs::remove(Game() / ".veypatcher/lock");

  // The journal folder itself, or runs/, a link: nothing installed, nothing
  // written where it points.
  for (const char* linked : {".veypatcher", ".veypatcher/runs"}) {
    const fs::path journal = Game() / linked;
    fs::rename(journal, dir / "moved");
    fs::create_directory_symlink(dir / "moved", journal);
    const auto before = Snapshot();
    CliResult r = Install("mod");
    EXPECT_EQ(r.exitCode, 6) << linked << '\n' << r.out;
    EXPECT_NE(r.out.find(journal.string() + "\" is a link"), std::string::npos) << r.out;
    EXPECT_EQ(Snapshot(), before);
    fs::remove(journal);
    fs::rename(dir / "moved", journal);
  }
  ExpectBashrcKept();
}

TEST_F(JournalDefence, UnrecoverableRunStopsInstallUntilForgotten) {
  const auto original = Snapshot();
  ASSERT_EQ(Install().exitCode, 0);
  const std::string id = OnlyRun();
  // Cut short by a crash: the record says running. Putting keep.txt back
  // fails once its folder became a file, after mod.txt was removed.
  std::string run = dir.Read("game/.veypatcher/runs/" + id + "/run.txt");
  run.replace(run.find("state=finished"), 14, "state=running");
  dir.Write("game/.veypatcher/runs/" + id + "/run.txt", run);
  dir.Write("game/.veypatcher/runs/" + id + "/changes.log",
            "folder\t0\tsub\nfile\t1\tsub/old.txt\nfile\t0\toverride/mod.txt\n");
  dir.Write("game/.veypatcher/runs/" + id + "/pre/1~sub%2Fold.txt", "old");
  dir.Write("game/sub", "a file where the folder was");

  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 6) << r.out;
  EXPECT_NE(r.out.find("The unfinished run " + id + " could not be put back"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("sub/old.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--run " + id + " --forget"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(Game() / "override/mod.txt"));  // the part that could be put back

  // No terminal and no --yes: the question is answered No.
  CliResult asked = Run({"uninstall", "--game", "GAME", "--run", id, "--forget"});
  EXPECT_EQ(asked.exitCode, 4) << asked.out;
  EXPECT_TRUE(fs::exists(Runs() / id));
  CliResult bad = Run({"uninstall", "--game", "GAME", "--run", "../../home", "--forget", "--yes"});
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_TRUE(fs::exists(dir / "home/jane.doe/.bashrc"));
  EXPECT_EQ(Run({"uninstall", "--game", "GAME", "--forget", "--yes"}).exitCode, 64);

  const auto kept = Snapshot();
  CliResult forgot = Run({"uninstall", "--game", "GAME", "--run", id, "--forget", "--yes"});
  EXPECT_EQ(forgot.exitCode, 0) << forgot.out;
  EXPECT_FALSE(fs::exists(Runs() / id));
  EXPECT_EQ(Snapshot(), kept);
  fs::remove(Game() / "sub");
  EXPECT_EQ(Install().exitCode, 0);
  EXPECT_NE(Snapshot(), original);
}

// An uninstallation killed part-way leaves its own journal under undo/; when
// that cannot be reversed, every command that changes the game stops and
// names it rather than reporting it recovered and going on.
TEST_F(JournalDefence, UnreversibleInterruptedUninstallStopsTheNextCommandsNamingIt) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string undo = "20990101-000000.000-undo";
  dir.Write("game/.veypatcher/undo/" + undo + "/run.txt", "state=running\n");
  // Putting keep.txt back fails once its folder became a file.
  dir.Write("game/.veypatcher/undo/" + undo + "/changes.log", "file\t1\tsub/old.txt\n");
  dir.Write("game/.veypatcher/undo/" + undo + "/pre/0~sub%2Fold.txt", "old");
  dir.Write("game/sub", "a file where the folder was");
  dir.Write("list.toml", "[[mod]]\nname = \"M\"\nsource = \"mod\"\n");
  const auto before = Snapshot();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"install", "--mod", (dir / "mod").string(), "--game", "GAME", "--yes"},
        {"uninstall", "--game", "GAME", "--yes"},
        {"reset", "--game", "GAME", "--yes", "--force"},
        {"modlist", "install", (dir / "list.toml").string(), "--game", "GAME", "--yes"}}) {
    CliResult r = Run(args);
    // A list stops at its entry (its own exit code), naming it the same way.
    EXPECT_EQ(r.exitCode, args[0] == "modlist" ? 3 : 6) << args[0] << '\n' << r.out;
    EXPECT_NE(r.out.find("interrupted uninstallation (" + undo + ") cannot be reversed"), std::string::npos)
        << args[0] << '\n' << r.out;
    EXPECT_EQ(r.out.find("was reversed first"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(Game() / ".veypatcher/undo" / undo)) << args[0];
    EXPECT_EQ(Snapshot(), before) << args[0];
  }
}

TEST_F(JournalDefence, RunsOfAnotherGameFolderAreRefusedAndEarlierRunsAdopted) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string id = OnlyRun();
  // Recorded before the journal had an identity: no id file, no journal line.
  std::string run = dir.Read("game/.veypatcher/runs/" + id + "/run.txt");
  run.erase(run.find("journal="), run.find('\n', run.find("journal=")) - run.find("journal=") + 1);
  dir.Write("game/.veypatcher/runs/" + id + "/run.txt", run);
  fs::remove(Game() / ".veypatcher/id");

  // The same journal copied into a second game folder.
  fs::copy(Game(), dir / "copy", fs::copy_options::recursive);
  EXPECT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);  // adopted, then undone
  EXPECT_FALSE(fs::exists(Game() / "override/mod.txt"));

  ASSERT_EQ(Install().exitCode, 0);
  const std::string second = OnlyRun();
  fs::copy(Runs() / second, dir / "copy/.veypatcher/runs" / second, fs::copy_options::recursive);
  fs::remove_all(dir / "copy/.veypatcher/runs" / id);
  ASSERT_EQ(RunCli({"uninstall", "--game", (dir / "copy").string(), "--run", second}).exitCode, 6);
  // A game folder restored from a backup keeps its id, so its runs stay valid.
  fs::rename(Game(), dir / "game-moved");
  fs::copy(dir / "game-moved", Game(), fs::copy_options::recursive);
  EXPECT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);
}

// An uninstallation's journal or a replay's kept files copied in from
// another game folder are never reversed here; the same records written
// before they carried the journal's id are this folder's and are.
TEST_F(JournalDefence, UndoAndReplayRecordsOfAnotherJournalAreRefusedAndOldOnesAdopted) {
  ASSERT_EQ(Install().exitCode, 0);
  dir.Write("other/dialog.tlk", dir.Read("game/dialog.tlk"));
  ASSERT_EQ(Run({"install", "--mod", (dir / "mod").string(), "--game", (dir / "other").string(), "--yes"}).exitCode, 0);
  fs::path foreign;
  for (const auto& e : fs::directory_iterator(dir / "other/.veypatcher/runs")) foreign = e.path();
  const fs::path undo = Game() / ".veypatcher/undo/20990101-000000.000-undo";
  fs::create_directories(undo.parent_path());
  fs::copy(foreign, undo, fs::copy_options::recursive);
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 6) << r.out;
  EXPECT_NE(r.out.find("(20990101-000000.000-undo) cannot be reversed: it was recorded in another game folder's"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "installed by mod");
  // Without its journal line it is an undo journal of an earlier version.
  std::string text = dir.Read("game/.veypatcher/undo/20990101-000000.000-undo/run.txt");
  text.erase(text.find("journal="), text.find('\n', text.find("journal=")) - text.find("journal=") + 1);
  dir.Write("game/.veypatcher/undo/20990101-000000.000-undo/run.txt", text);
  r = Install();
  EXPECT_NE(r.out.find("(20990101-000000.000-undo) was reversed first"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(undo));

  // A replay's kept files of another journal: refused, naming the folder.
  dir.Write("game/.veypatcher/replay/kept.txt", "target\tx\njournal\t" + std::string(32, 'a') + "\n");
  r = Run({"uninstall", "--game", "GAME", "--yes"});
  EXPECT_EQ(r.exitCode, 6) << r.out;
  EXPECT_NE(r.out.find("kept.txt is damaged or of another game folder's journal"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(Game() / ".veypatcher/replay/kept.txt"));
  ExpectBashrcKept();
}

// A FIFO where the journal keeps a file is refused, never waited on, and the
// record holding it is damaged: verify does not call its files "as left".
TEST_F(JournalDefence, FifosInTheRecordAreDamageNotAPassOrAHang) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string id = OnlyRun();
  for (const char* name : {"files.txt", "undone.txt"}) {
    SCOPED_TRACE(name);
    const fs::path at = Runs() / id / name;
    fs::remove(at);
    ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0);
    CliResult verify = RunCliTimed({"verify", "--game", Game().string()}, {}, 20000);
    EXPECT_FALSE(verify.timedOut);
    EXPECT_EQ(verify.exitCode, 1) << verify.out;
    EXPECT_NE(verify.out.find("is damaged, so its files are not checked: The journal's \"" + at.string() +
                              "\" is a FIFO"),
              std::string::npos)
        << verify.out;
    EXPECT_EQ(verify.out.find("All "), std::string::npos) << verify.out;
    CliResult uninstall = RunCliTimed({"uninstall", "--game", Game().string(), "--yes"}, {}, 20000);
    EXPECT_EQ(uninstall.exitCode, 6) << uninstall.out;
    EXPECT_EQ(dir.Read("game/override/mod.txt"), "installed by mod");
    fs::remove(at);
  }
}

TEST_F(JournalDefence, CrashBetweenTheClosingWritesLeavesAnUndoableRun) {
  const auto original = Snapshot();
  for (const char* lost : {"files.txt", "run.txt"}) {
    ASSERT_EQ(Install().exitCode, 0) << lost;
    const fs::path run = Runs() / OnlyRun();
    if (std::string(lost) == "files.txt") {
      fs::remove(run / "files.txt");  // run.txt was written first
    } else {
      std::string text = dir.Read(fs::relative(run / "run.txt", dir.Path()).string());
      text.replace(text.find("state=finished"), 14, "state=running");
      dir.Write(fs::relative(run / "run.txt", dir.Path()).string(), text);
    }
    CliResult r = Run({"uninstall", "--game", "GAME"});
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 4) << lost << '\n' << r.out;
    EXPECT_EQ(Snapshot(), original) << lost << '\n' << r.out;
    EXPECT_FALSE(fs::exists(run)) << lost;
  }
}

TEST_F(JournalDefence, NameTooLongForTheFileSystemSkipsOnlyThatEntry) {
  const std::string longName = std::string(296, 'n') + ".txt";
  Mod("long", "[InstallList]\nf=override\n[f]\nFile0=" + longName + "\nFile1=mod.txt\n[" + longName +
                  "]\n!SourceFile=mod.txt\n");
  CliResult r = Install("long");
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_NE(r.out.find("300 bytes long"), std::string::npos) << r.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "installed by long");
}

TEST_F(JournalDefence, RunStartingAtTheSameMomentIsNamedPlainly) {
  platform::RunLock held;
  std::string pid, mod;
  ASSERT_TRUE(held.TryTake(Game(), "Busy", pid, mod));
  // The holder has taken the lock but not yet written its name.
  ::truncate((Game() / ".veypatcher/lock").c_str(), 0);
  CliResult r = Install();
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.out.find("Another installation is starting in this game folder."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("process ,"), std::string::npos) << r.out;
}

// A cut-short uninstallation whose undone run cannot be moved out of the
// history (something of its name stands in the way) is a refusal that names
// it, never a crash.
TEST_F(JournalDefence, AnUndoJournalWhoseUndoneRecordCannotMoveIsRefusedByName) {
  ASSERT_EQ(Install().exitCode, 0);
  const std::string id = OnlyRun();
  const fs::path undo = Game() / ".veypatcher/undo/u1";
  fs::create_directories(undo / "gone");
  for (const auto& e : fs::directory_iterator(Runs() / id)) fs::copy(e.path(), undo / e.path().filename(), fs::copy_options::recursive);
  std::ofstream(undo / "undone.txt") << id << "\n";
  fs::copy(Runs() / id, undo / "gone" / id, fs::copy_options::recursive);
  const CliResult r = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(r.exitCode, 6) << r.out << r.err;
  EXPECT_NE(r.out.find("Cannot finish the cut-short uninstallation u1"), std::string::npos) << r.out << r.err;
}

}  // namespace
}  // namespace vey::test
