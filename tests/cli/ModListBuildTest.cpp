// A mod list of three mods, A, B and C, each adding one row to a table, and
// what people do with it afterwards: whatever they do, the game ends as the
// build they meant, never with a mod's rows twice. Each case compares every
// game file, byte for byte, with a game where that build was installed once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "CliRun.h"
#include "support/TestSupport.h"
#include "support/TwoDA.h"

namespace vey::test::listbuild {
namespace {
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A compiler that refuses every script; the installer still keeps the
// processed sources in the mod's "debug" folder.
constexpr std::string_view kFailingCompiler = "#!/bin/sh\necho \"error: cannot compile\"\nexit 1\n";

bool HaveBsdtar() { return std::system("command -v bsdtar >/dev/null 2>&1") == 0; }

// A game with the list's three mods packed as archives and the list beside
// them; nothing installed yet.
class BuildPlace {
 public:
  BuildPlace() {
    Game("game");
    for (const char* name : {"A", "B", "C"}) Mod(name, "");
    Write("build.toml", ListText({"A", "B", "C"}, "archives/"));
  }

  void Game(const std::string& folder) {
    dir.Write(folder + "/dialog.tlk", "TLK ");
    dir.Write(folder + "/override/rows.2da", TwoDA({"label"}, {{"base"}}));
  }
  // The mod in src/NAME adds the row NAME (and some extra) and is packed as
  // archives/NAME.zip.
  void Mod(const std::string& name, const std::string& extra) {
    dir.Write("src/" + name + "/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\nWindowCaption=Mod " + name +
                  "\n[2DAList]\nTable0=rows.2da\n[rows.2da]\nAddRow0=row\n[row]\nlabel=" + name + extra + "\n");
    fs::create_directories(dir / "archives");
    const std::string command = "cd '" + (dir / "src" / name).string() + "' && bsdtar --format zip -cf '" +
                                (dir / "archives" / (name + ".zip")).string() + "' .";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static std::string ListText(const std::vector<std::string>& names, const std::string& where) {
    std::string text = "name = \"Build\"\n";
    for (const std::string& n : names) text += "[[mod]]\nname = \"" + n + "\"\nsource = \"" + where + n + ".zip\"\n";
    return text;
  }
  void Write(const std::string& relative, const std::string& text) { dir.Write(relative, text); }

  CliResult Cli(std::vector<std::string> args) {
    for (std::string& a : args)
      if (a == "GAME") a = (dir / "game").string();
    for (std::string& a : args)
      if (a.starts_with("@")) a = (dir / a.substr(1)).string();
    return RunCli(args, {"XDG_CACHE_HOME=" + (dir / "cache").string()});
  }
  CliResult Install(const std::string& list, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"modlist", "install", "@" + list, "--game", "GAME", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Cli(args);
  }
  // The run history names after a mod.
  std::string RunOf(const std::string& name) {
    for (const std::string& line : Lines(Cli({"history", "--game", "GAME"}).out)) {
      std::istringstream columns(line);
      std::string run, date, time, mod;
      columns >> run >> date >> time >> mod;
      if (mod == name) return run;
    }
    return {};
  }

  // Every file of the game but the installer's records, by name.
  std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(dir / folder); it != fs::recursive_directory_iterator(); ++it) {
      if (it->path().filename() == ".veypatcher") {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file())
        files[it->path().lexically_relative(dir / folder).string()] =
            dir.Read(it->path().lexically_relative(dir.Path()).string());
    }
    return files;
  }
  // The game as a fresh copy of it looks with these mods installed once, in
  // this order, from the archives as they are now.
  std::map<std::string, std::string> Build(const std::vector<std::string>& names) {
    const std::string folder = "expected" + std::to_string(++builds_);
    Game(folder);
    Write(folder + ".toml", ListText(names, "archives/"));
    CliResult r = Cli({"modlist", "install", "@" + folder + ".toml", "--game", "@" + folder, "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return Files(folder);
  }

  TempDir dir;

 private:
  int builds_ = 0;
};

// What the person did after installing the list, and the build the game must
// then be.
struct Case {
  std::string what;
  std::function<void(BuildPlace&)> act;
  std::vector<std::string> build;
};

TEST(ModListBuild, WhatThePersonDidNeverInstallsAModTwice) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  const std::vector<Case> cases = {
      {"B taken out with a replay, then the list installed again: C, which the replay installed again, stays once",
       [](BuildPlace& t) {
         const std::string b = t.RunOf("B");
         ASSERT_FALSE(b.empty());
         CliResult replay = t.Cli({"uninstall", "--game", "GAME", "--run", b, "--replay", "--yes"});
         ASSERT_EQ(replay.exitCode, 0) << replay.out << replay.err;
         CliResult status = t.Cli({"modlist", "status", "@build.toml", "--game", "GAME"});
         EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: not installed", "C: installed"}));
         t.Install("build.toml");
       },
       {"A", "C", "B"}},
      {"the list copied beside itself: every entry is installed already",
       [](BuildPlace& t) {
         t.Write("build-copy.toml", t.dir.Read("build.toml"));
         CliResult status = t.Cli({"modlist", "status", "@build-copy.toml", "--game", "GAME"});
         EXPECT_EQ(status.exitCode, 0) << status.out << status.err;
         EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: installed", "C: installed"}));
         CliResult again = t.Install("build-copy.toml");
         EXPECT_EQ(again.exitCode, 0) << again.out;
       },
       {"A", "B", "C"}},
      {"the list moved into the archives' folder, naming the same archives from there",
       [](BuildPlace& t) {
         t.Write("archives/build.toml", BuildPlace::ListText({"A", "B", "C"}, ""));
         fs::remove(t.dir / "build.toml");
         CliResult again = t.Install("archives/build.toml");
         EXPECT_EQ(again.exitCode, 0) << again.out;
       },
       {"A", "B", "C"}},
      {"a new version of B's archive under the same name: refused before any change, naming B and --update",
       [](BuildPlace& t) {
         t.Mod("B", "\n[row2]\nlabel=B2");
         CliResult again = t.Install("build.toml");
         EXPECT_EQ(again.exitCode, 2) << again.out;
         EXPECT_TRUE(Contains(again.out, "\"B\" was installed from a different version of its source")) << again.out;
         EXPECT_TRUE(Contains(again.out, "--update")) << again.out;
         // The expected build is the old B's: put it back for the comparison.
         t.Mod("B", "");
       },
       {"A", "B", "C"}},
      {"the new version of B put in the old one's place with --update: the build keeps its order",
       [](BuildPlace& t) {
         t.Mod("B", "\n[row2]\nlabel=B2");
         CliResult other = t.Install("build.toml", {"--update", "A"});
         EXPECT_EQ(other.exitCode, 2) << other.out;
         CliResult update = t.Install("build.toml", {"--update", "B"});
         EXPECT_EQ(update.exitCode, 0) << update.out;
         CliResult status = t.Cli({"modlist", "status", "@build.toml", "--game", "GAME"});
         EXPECT_EQ(Lines(status.out), (std::vector<std::string>{"A: installed", "B: installed", "C: installed"}));
       },
       {"A", "B", "C"}},
      {"a new version of A installed on its own: refused without --update, put in place with it",
       [](BuildPlace& t) {
         t.Mod("A", "\n[row2]\nlabel=A2");
         CliResult refused = t.Cli({"install", "--mod", "@archives/A.zip", "--game", "GAME", "--yes"});
         EXPECT_EQ(refused.exitCode, 4) << refused.out << refused.err;
         EXPECT_TRUE(Contains(refused.out + refused.err, "Give --update")) << refused.out << refused.err;
         CliResult update = t.Cli({"install", "--mod", "@archives/A.zip", "--game", "GAME", "--yes", "--update"});
         EXPECT_EQ(update.exitCode, 0) << update.out << update.err;
         CliResult again = t.Install("build.toml");
         EXPECT_EQ(again.exitCode, 0) << again.out;
       },
       {"A", "B", "C"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildPlace t;
    CliResult first = t.Install("build.toml");
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    c.act(t);
    EXPECT_EQ(t.Files("game"), t.Build(c.build));
  }
}

// The debug sources of a failed compile land in the mod's own folder; they
// are the installer's, not the mod's, and never make it look changed.
TEST(ModListBuild, AFailedCompileInstallsTheModOnceHoweverOftenTheListRuns) {
  if (!HaveBsdtar()) GTEST_SKIP() << "bsdtar is not installed";
  BuildPlace t;
  TempDir& dir = t.dir;
  dir.Write("person/compiler", std::string(kFailingCompiler));
  fs::permissions(dir / "person/compiler", fs::perms::owner_all);
  dir.Write("src/S/veypatchdata/changes.ini",
            "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=3\nSaveProcessedScripts=1\n"
            "[2DAList]\nTable0=rows.2da\n[rows.2da]\nAddRow0=row\n[row]\nlabel=S\n"
            "[CompileList]\nScript0=k_s.nss\n");
  dir.Write("src/S/veypatchdata/k_s.nss", "void main() {}\n");
  t.Write("scripts.toml", "[[mod]]\nname = \"S\"\nsource = \"src/S\"\n");
  const std::vector<std::string> compiler{"--compiler", (dir / "person/compiler").string(), "--no-sandbox"};
  CliResult first = t.Install("scripts.toml", compiler);
  ASSERT_EQ(first.exitCode, 2) << first.out << first.err;
  ASSERT_TRUE(fs::exists(dir / "src/S/veypatchdata/debug/k_s.nss"));
  const auto once = t.Files("game");
  for (int i = 0; i < 2; ++i) {
    CliResult again = t.Install("scripts.toml", compiler);
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_TRUE(Contains(again.out, "1/1 S: already installed")) << again.out;
  }
  EXPECT_EQ(t.Files("game"), once);
  EXPECT_EQ(Lines(t.Cli({"modlist", "status", "@scripts.toml", "--game", "GAME"}).out),
            std::vector<std::string>{"S: installed"});
}

}  // namespace
}  // namespace vey::test::listbuild
