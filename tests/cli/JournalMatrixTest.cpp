// Every path of the journal's table, planted with every kind of thing that
// does not belong there, met by the commands: nothing outside the game
// folder changes, nothing hangs or crashes, no link lands in the game, and a
// command that stops says what it refused. The rows come from the code's own
// table, and a journal path the commands make without a row fails here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CliRun.h"
#include "platform/JournalLayout.h"
#include "support/TalkTableBytes.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;
using platform::journal::JournalEntry;
using platform::journal::kJournalPaths;

constexpr long kTimeLimitMs = 20000;

// Every entry below root with its kind and bytes, links read, never
// followed.
std::map<std::string, std::string> JournalTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(fs::symlink_status(root))) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(root).string();
    const fs::file_status st = it->symlink_status();
    if (fs::is_symlink(st)) {
      tree[rel] = "-> " + fs::read_symlink(it->path()).string();
    } else if (fs::is_directory(st)) {
      tree[rel] = "/";
    } else if (fs::is_regular_file(st)) {
      std::ifstream in(it->path(), std::ios::binary);
      tree[rel] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      tree[rel] = "special";
    }
  }
  return tree;
}

bool MatchesRow(std::string_view pattern, std::string_view path) {
  while (true) {
    const std::size_t p = pattern.find('/'), q = path.find('/');
    const std::string_view head = pattern.substr(0, p), name = path.substr(0, q);
    if (head != "*" && head != name) return false;
    if (p == std::string_view::npos || q == std::string_view::npos) return p == q;
    pattern.remove_prefix(p + 1);
    path.remove_prefix(q + 1);
  }
}

class JournalMatrix : public ::testing::Test {
 public:
  void SetUp() override {
    dir.Write("home/jane.doe/.bashrc", "# the person's own shell settings\n");
    dir.Write("home/jane.doe/notes/todo.txt", "mine");
    dir.Write("sibling/keep.txt", "next to the game");
    for (const char* game : {"pristine", "other"}) {
      dir.Write(std::string(game) + "/dialog.tlk", TalkTable(std::vector<std::string>{"", "Old"}));
      dir.Write(std::string(game) + "/override/keep.txt", "keep");
    }
    dir.Write("mod/veypatchdata/mod.txt", "installed");
    dir.Write("mod/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n[InstallList]\nf=override\n"
              "[f]\nFile0=mod.txt\n");
    // The list's mod is another than the one installed: a mod is never installed twice.
    dir.Write("mod2/veypatchdata/mod2.txt", "installed by the list");
    dir.Write("mod2/veypatchdata/changes.ini",
              "[Settings]\nFileExists=1\nInstallerMode=1\nLogLevel=4\nConfirmMessage=N/A\n[InstallList]\nf=override\n"
              "[f]\nFile0=mod2.txt\n");
    dir.Write("list.toml", "[[mod]]\nname = \"M\"\nsource = \"mod2\"\n");
    // One finished run in each game: the record a run leaves, and one of
    // another journal to plant.
    for (const char* game : {"pristine", "other"})
      ASSERT_EQ(Run({"install", "--mod", (dir / "mod").string(), "--game", (dir / game).string(), "--yes"}).exitCode,
                0);
    for (const auto& e : fs::directory_iterator(dir / "pristine/.veypatcher/runs")) run = e.path().filename();
    for (const auto& e : fs::directory_iterator(dir / "other/.veypatcher/runs")) foreign = e.path();
    outside = Outside();
  }
  CliResult Run(const std::vector<std::string>& args) {
    return RunCliTimed(args, {"HOME=" + (dir / "home/jane.doe").string(), "XDG_CACHE_HOME=" + (dir / "cache").string()},
                       kTimeLimitMs);
  }
  std::map<std::string, std::string> Outside() const {
    std::map<std::string, std::string> all;
    for (const char* root : {"home", "sibling", "other"})
      for (auto& [path, bytes] : JournalTree(dir / root)) all[std::string(root) + "/" + path] = bytes;
    return all;
  }
  fs::path Game() const { return dir / "game"; }
  fs::path Journal() const { return Game() / ".veypatcher"; }
  // The pattern with a name for each "*": the run's id where a run belongs.
  std::string Concrete(std::string_view pattern) const {
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= pattern.size(); ++i) {
      if (i < pattern.size() && pattern[i] != '/') continue;
      std::string_view part = pattern.substr(start, i - start);
      std::string_view before = pattern.substr(0, start);
      std::string name(part);
      if (part == "*")
        name = before == "lists/" ? "0123456789abcdef.json"
               : before.ends_with("pre/") ? "0~override%2Fkeep.txt"
               : before == "replay/files/" ? "0"
                                           : run.string();
      out += (out.empty() ? "" : "/") + name;
      start = i + 1;
    }
    return out;
  }

  TempDir dir;
  fs::path run, foreign;
  std::map<std::string, std::string> outside;
};

struct Plant {
  const char* what;
  bool folders, files;  // the rows it is planted at
  std::function<void(const fs::path& at, const JournalMatrix& m, bool folder)> plant;
};

struct Command {
  const char* what;
  std::vector<std::string> args;  // GAME, MOD, LIST and RUN replaced
};

TEST_F(JournalMatrix, EveryPlantAtEveryJournalPathIsRefusedAndNothingOutsideChanges) {
  const std::vector<Plant> plants = {
      {"an absolute link out", true, true,
       [](const fs::path& at, const JournalMatrix& m, bool folder) {
         fs::create_symlink(folder ? m.dir / "home/jane.doe" : m.dir / "home/jane.doe/.bashrc", at);
       }},
      {"a relative link out", true, true,
       [](const fs::path& at, const JournalMatrix& m, bool folder) {
         fs::create_symlink(fs::relative(folder ? m.dir / "sibling" : m.dir / "sibling/keep.txt", at.parent_path()),
                            at);
       }},
      {"a link that climbs", true, true,
       [](const fs::path& at, const JournalMatrix&, bool) {
         fs::create_symlink("../../../../../../../../../../../..", at);
       }},
      {"a FIFO", true, true, [](const fs::path& at, const JournalMatrix&, bool) { ::mkfifo(at.c_str(), 0644); }},
      {"the other kind", true, true,
       [](const fs::path& at, const JournalMatrix&, bool folder) {
         if (folder) {
           std::ofstream(at) << "not a folder\n";
         } else {
           fs::create_directories(at / "inside");
         }
       }},
      {"a record of another journal", true, false,
       [](const fs::path& at, const JournalMatrix& m, bool) {
         fs::copy(m.foreign, at, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
       }},
  };
  const std::vector<Command> commands = {
      {"install", {"install", "--mod", "MOD", "--game", "GAME", "--yes"}},
      {"uninstall", {"uninstall", "--game", "GAME", "--yes"}},
      {"replay", {"uninstall", "--game", "GAME", "--run", "RUN", "--replay", "--yes"}},
      {"reset", {"reset", "--game", "GAME", "--yes", "--force"}},
      {"forget", {"uninstall", "--game", "GAME", "--run", "RUN", "--forget", "--yes"}},
      {"modlist install", {"modlist", "install", "LIST", "--game", "GAME", "--yes"}},
      {"modlist status", {"modlist", "status", "LIST", "--game", "GAME"}},
      {"verify", {"verify", "--game", "GAME"}},
      {"report", {"report", "--game", "GAME"}},
      {"history", {"history", "--game", "GAME"}},
      {"conflicts", {"conflicts", "--game", "GAME"}},
  };
  // Every command meets every row; the plants take turns, all of them with
  // VEY_JOURNAL_MATRIX=full.
  const bool full = std::getenv("VEY_JOURNAL_MATRIX") && std::string(std::getenv("VEY_JOURNAL_MATRIX")) == "full";
  std::size_t rowIndex = 0, runs = 0;
  for (const auto& row : kJournalPaths) {
    const bool folder = row.kind == JournalEntry::kFolder;
    const std::string rel = Concrete(row.pattern);
    std::vector<const Plant*> fitting;
    for (const Plant& plant : plants)
      if (folder ? plant.folders : plant.files) fitting.push_back(&plant);
    ++rowIndex;
    for (std::size_t c = 0; c < commands.size(); ++c) {
      for (std::size_t p = 0; p < fitting.size(); ++p) {
        const Plant& plant = *fitting[p];
        if (!full && p != (rowIndex + c) % fitting.size()) continue;
        const std::string trace = std::string(row.pattern) + ": " + plant.what + ", " + commands[c].what;
        SCOPED_TRACE(trace);
        fs::remove_all(Game());
        fs::copy(dir / "pristine", Game(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const fs::path at = Journal() / rel;
        fs::create_directories(at.parent_path());
        fs::remove_all(at);
        plant.plant(at, *this, folder);
        std::vector<std::string> args = commands[c].args;
        for (std::string& a : args) {
          if (a == "GAME") a = Game().string();
          if (a == "MOD") a = (dir / "mod").string();
          if (a == "LIST") a = (dir / "list.toml").string();
          if (a == "RUN") a = run.string();
        }
        const CliResult r = Run(args);
        ++runs;
        const std::string said = r.out + r.err;
        EXPECT_FALSE(r.timedOut) << said;
        EXPECT_LT(r.exitCode, 128) << "ended by a signal\n" << said;
        EXPECT_EQ(Outside(), outside) << said;
        // No link from the journal lands among the game's files.
        for (const auto& [path, bytes] : JournalTree(Game()))
          EXPECT_FALSE(path.starts_with(".veypatcher") == false && bytes.starts_with("-> ")) << path << '\n' << said;
        // A command that stops says what stopped it.
        if (r.exitCode != 0 && r.exitCode != 1 && r.exitCode != 4)
          EXPECT_TRUE(said.find(".veypatcher") != std::string::npos || said.find("journal") != std::string::npos ||
                      said.find("record") != std::string::npos)
              << r.exitCode << '\n' << said;
        if (HasFailure()) return;
      }
    }
  }
  EXPECT_GT(runs, 0u);
}

// The journal paths the commands make (a run, a list, an uninstall, a reset
// and a replay) all have a row in the table.
TEST_F(JournalMatrix, EveryPathTheCommandsMakeHasARow) {
  fs::copy(dir / "pristine", Game(), fs::copy_options::recursive);
  const std::string game = Game().string();
  EXPECT_LE(Run({"modlist", "install", (dir / "list.toml").string(), "--game", game, "--yes"}).exitCode, 1);
  EXPECT_LE(Run({"uninstall", "--game", game, "--run", run.string(), "--replay", "--yes"}).exitCode, 1);
  std::set<std::string> seen;
  const auto check = [&] {
    for (const auto& [path, bytes] : JournalTree(Journal())) {
      bool known = false;
      for (const auto& row : kJournalPaths) known = known || MatchesRow(row.pattern, path);
      if (!path.ends_with(".new")) EXPECT_TRUE(known) << path << " has no row in the journal's table";
      seen.insert(path);
    }
  };
  check();
  EXPECT_LE(Run({"reset", "--game", game, "--yes", "--force"}).exitCode, 1);
  check();
  EXPECT_FALSE(seen.empty());
}

}  // namespace
}  // namespace vey::test
