// veypatcher-cli history and uninstall over real installs, and the exit codes
// of install when the mod is installed already or another run holds the game.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "CliRun.h"
#include "platform/RunJournal.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

class CliHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
    dir.Write("game/override/keep.txt", "keep");
    for (const char* mod : {"mod", "mod2"}) {
      dir.Write(std::string(mod) + "/veypatchdata/info.rtf", "{\\rtf1 x}");
      dir.Write(std::string(mod) + "/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{mod}));
      dir.Write(std::string(mod) + "/veypatchdata/" + mod + ".txt", mod);
      dir.Write(std::string(mod) + "/veypatchdata/changes.ini",
                std::string("[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\n[TLKList]\nStrRef0=0\n"
                            "[InstallList]\nf=override\n[f]\nFile0=") +
                    mod + ".txt\n");
    }
  }
  CliResult Run(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
    return RunCli(args);
  }
  CliResult Install(const std::string& mod, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"install", "--mod", (dir / mod).string(), "--game", "GAME", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  std::string Talk() { return dir.Read("game/dialog.tlk"); }
  TempDir dir;
};

TEST_F(CliHistory, InstallTwiceListUndoInOrder) {
  const std::string original = Talk();
  ASSERT_EQ(Install("mod").exitCode, 0);
  const std::string afterFirst = Talk();

  CliResult again = Install("mod");
  EXPECT_EQ(again.exitCode, 4) << again.out;
  EXPECT_NE((again.out + again.err).find("already installed into this game on"), std::string::npos);
  EXPECT_NE((again.out + again.err).find("--reinstall"), std::string::npos) << again.out << again.err;
  EXPECT_EQ(Talk(), afterFirst);

  ASSERT_EQ(Install("mod2").exitCode, 0);
  CliResult list = Run({"history", "--game", "GAME"});
  ASSERT_EQ(list.exitCode, 0);
  auto lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 3u) << list.out;
  EXPECT_NE(lines[1].find(" mod "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" mod2 "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find(" ok "), std::string::npos) << lines[2];
  EXPECT_EQ(lines[2].back(), '2');  // the talk table and one new file

  // The first run's talk table was changed again by the second: refused,
  // naming both, until the later run is undone.
  const std::string firstId = lines[1].substr(0, lines[1].find(' '));
  CliResult refused = Run({"uninstall", "--game", "GAME", "--run", firstId});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("dialog.tlk"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find(lines[2].substr(0, lines[2].find(' '))), std::string::npos) << refused.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "game/override/mod2.txt"));

  EXPECT_EQ(Run({"uninstall", "--game", "GAME"}).exitCode, 0);  // the latest: mod2
  EXPECT_EQ(Talk(), afterFirst);
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/mod2.txt"));
  EXPECT_EQ(Run({"uninstall", "--game", "GAME", "--run", firstId}).exitCode, 0);
  EXPECT_EQ(Talk(), original);
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/mod.txt"));
  EXPECT_EQ(dir.Read("game/override/keep.txt"), "keep");

  CliResult none = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(none.exitCode, 4);
  EXPECT_EQ(Lines(Run({"history", "--game", "GAME"}).out).size(), 1u);
}

// Columns are as wide as their longest cell, so a long run name never runs
// into the time; the time is the one the reinstall refusal names.
TEST_F(CliHistory, ColumnsFitTheirContentAndTimesAgree) {
  const std::string longMod = "A_mod_whose_folder_name_is_longer_than_any_column_width";
  dir.Write(longMod + "/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\n[InstallList]\nf=override\n[f]\nFile0=long.txt\n");
  dir.Write(longMod + "/veypatchdata/long.txt", "long");
  ASSERT_EQ(Install("mod").exitCode, 0);
  ASSERT_EQ(Install(longMod).exitCode, 0);
  // A run that ended in a later second than it started.
  const std::string runText = ".veypatcher/runs/" + platform::ListRuns(dir / "game").back().id + "/run.txt";
  std::string record = dir.Read("game/" + runText);
  const std::size_t ended = record.find("\nended=") + 7;
  record.replace(ended, 19, "2999-01-01 00:00:00");
  dir.Write("game/" + runText, record);
  CliResult again = Install(longMod);
  ASSERT_EQ(again.exitCode, 4);

  const auto lines = Lines(Run({"history", "--game", "GAME"}).out);
  ASSERT_EQ(lines.size(), 3u);
  const std::size_t when = lines[0].find("WHEN (UTC)");
  const std::size_t modColumn = lines[0].find("MOD");
  for (const std::string& line : lines) {
    ASSERT_GT(line.size(), modColumn) << line;
    EXPECT_EQ(line.substr(when - 2, 2), "  ") << line;
    EXPECT_NE(line[when], ' ') << line;
    EXPECT_EQ(line.substr(modColumn - 2, 2), "  ") << line;
  }
  EXPECT_EQ(lines[2].substr(modColumn, longMod.size()), longMod);
  const std::string started = lines[2].substr(when, 19);
  EXPECT_NE((again.out + again.err).find("installed into this game on " + started + " UTC"), std::string::npos)
      << started << "\n" << again.out << again.err;
}

TEST_F(CliHistory, FileChangedByHandIsNamedAndForceRestoresAnyway) {
  const std::string original = Talk();
  ASSERT_EQ(Install("mod").exitCode, 0);
  dir.Write("game/override/mod.txt", "edited by hand");
  CliResult refused = Run({"uninstall", "--game", "GAME"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("override/mod.txt"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.out.find("dialog.tlk"), std::string::npos) << refused.out;
  EXPECT_EQ(dir.Read("game/override/mod.txt"), "edited by hand");

  CliResult forced = Run({"uninstall", "--game", "GAME", "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.out;
  EXPECT_EQ(Talk(), original);
  EXPECT_FALSE(std::filesystem::exists(dir / "game/override/mod.txt"));
}

TEST_F(CliHistory, AnotherRunHoldingTheGameStopsInstallAndUninstallWithFive) {
  platform::RunLock held;
  std::string pid, mod;
  ASSERT_TRUE(held.TryTake(dir / "game", "Busy Mod", pid, mod));
  const std::string original = Talk();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"install", "--mod", (dir / "mod").string(), "--game", "GAME", "--yes"},
        std::vector<std::string>{"uninstall", "--game", "GAME"}}) {
    CliResult r = Run(args);
    EXPECT_EQ(r.exitCode, 5) << args[0];
    EXPECT_NE(r.out.find("process " + std::to_string(::getpid()) + ", mod \"Busy Mod\""), std::string::npos)
        << r.out;
  }
  EXPECT_EQ(Talk(), original);
}

// Ctrl-C, SIGTERM and kill -9 at any moment of an uninstall: the next
// uninstall never refuses and finishes it; an install after one finds the
// mod installed or installs it again, never a half-undone game.
TEST_F(CliHistory, UninstallKilledAtAnyMomentIsFinishedByTheNextStart) {
  std::string list = "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=0\n[TLKList]\nStrRef0=0\n"
                     "[InstallList]\nf=override\n[f]\n";
  for (int i = 0; i < 300; ++i) {
    const std::string name = "big" + std::to_string(i) + ".txt";
    dir.Write("big/veypatchdata/" + name, std::string(2000 + i, 'a' + i % 26));
    dir.Write("game/override/" + name, "old " + name);
    list += (i % 2 ? "Replace" : "File") + std::to_string(i) + "=" + name + "\n";
  }
  dir.Write("big/veypatchdata/changes.ini", list);
  dir.Write("big/veypatchdata/append.tlk", TalkTable(std::vector<std::string>{"big"}));
  auto snapshot = [&] {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir / "game"))
      if (e.is_regular_file() && e.path().string().find(".veypatcher") == std::string::npos)
        files[e.path().string()] = dir.Read(std::filesystem::relative(e.path(), dir.Path()).string());
    return files;
  };
  const auto before = snapshot();
  ASSERT_EQ(Install("big").exitCode, 0);
  const auto installed = snapshot();

  const int signals[] = {SIGKILL, SIGTERM, SIGINT};
  int cut = 0;
  for (int attempt = 0; attempt < 12; ++attempt) {
    const int signal = signals[attempt % 3];
    const CliResult killed =
        RunCliKilled({"uninstall", "--game", (dir / "game").string()}, signal, 2000 + 4000L * attempt);
    if (killed.exitCode != 0) ++cut;
    if (attempt % 2 == 0) {
      CliResult retry = Run({"uninstall", "--game", "GAME"});
      if (killed.exitCode == 0) {
        EXPECT_EQ(retry.exitCode, 4) << retry.out;
      } else {
        // A kill after the undo's commit point leaves it complete: the retry
        // then finds nothing to undo. It must never refuse (1) or fail (2, 3).
        EXPECT_TRUE(retry.exitCode == 0 || retry.exitCode == 4)
            << "signal " << signal << ": " << retry.exitCode << ' ' << killed.out << retry.out;
      }
      EXPECT_EQ(snapshot(), before) << "attempt " << attempt;
      ASSERT_EQ(Install("big").exitCode, 0);
    } else {
      // The next install completes or reverses the cut uninstall first.
      CliResult next = Install("big");
      EXPECT_TRUE(next.exitCode == 0 || next.exitCode == 4) << next.exitCode << next.out << next.err;
      EXPECT_EQ(snapshot(), installed) << "attempt " << attempt;
    }
  }
  EXPECT_GT(cut, 0);
}

}  // namespace
}  // namespace vey::test
