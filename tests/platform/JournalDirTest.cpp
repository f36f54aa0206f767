// The journal's handle layer: every kind of thing planted where the journal
// expects a file or a folder is refused by name, without following it,
// waiting on it or touching what it leads to, with openat2 and without it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/JournalDir.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Restores the kernel path after a test that turned it off.
struct Openat2Mode {
  explicit Openat2Mode(bool use) { SetJournalOpenat2ForTesting(use); }
  ~Openat2Mode() { SetJournalOpenat2ForTesting(true); }
};

class JournalDirTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    dir.Write("home/.bashrc", "mine");
    dir.Write("game/.veypatcher/runs/a/run.txt", "state=finished\n");
  }
  fs::path Home() const { return dir / "game/.veypatcher"; }
  std::string Message(const std::function<void()>& f) {
    try {
      f();
    } catch (const EJournalUnusable& e) {
      return e.what();
    }
    return "(not refused)";
  }
  TempDir dir;
  Openat2Mode mode{GetParam()};
};

// What an attacker plants at runs/a (a folder) or runs/a/run.txt (a file).
struct Planted {
  const char* what;
  std::function<void(const fs::path& at, const fs::path& outside)> plant;
  const char* said;
};

const Planted kPlants[] = {
    {"absolute link", [](const fs::path& at, const fs::path& out) { fs::create_symlink(out, at); }, "is a link"},
    {"relative link",
     [](const fs::path& at, const fs::path& out) { fs::create_symlink(fs::relative(out, at.parent_path()), at); },
     "is a link"},
    {"climbing link", [](const fs::path& at, const fs::path&) { fs::create_symlink("../../../..", at); },
     "is a link"},
    {"FIFO", [](const fs::path& at, const fs::path&) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }, "FIFO"},
};

TEST_P(JournalDirTest, AnythingButTheExpectedKindIsRefusedByName) {
  for (const Planted& p : kPlants) {
    for (const bool asFolder : {true, false}) {
      SCOPED_TRACE(std::string(p.what) + (asFolder ? " at runs/a" : " at runs/a/run.txt"));
      const std::string rel = asFolder ? "runs/a" : "runs/a/run.txt";
      fs::remove_all(Home() / "runs/a");
      if (!asFolder) fs::create_directories(Home() / "runs/a");
      p.plant(Home() / rel, asFolder ? dir / "home" : dir / "home/.bashrc");
      const JournalFolder home = JournalFolder::Home(dir / "game");
      const std::string path = (Home() / rel).string();
      std::string said = asFolder ? Message([&] { home.Folder(rel); }) : Message([&] { home.ReadText(rel); });
      EXPECT_NE(said.find(path), std::string::npos) << said;
      EXPECT_NE(said.find(p.said), std::string::npos) << said;
      EXPECT_NE(said.find("remove it"), std::string::npos) << said;
      // Reaching through it is refused too, naming what stands in the way.
      if (asFolder) {
        said = Message([&] { home.ReadText(rel + "/run.txt"); });
        EXPECT_NE(said.find(path + "\""), std::string::npos) << said;
        said = Message([&] { home.WriteText(rel + "/run.txt", "x"); });
        EXPECT_NE(said.find(path + "\""), std::string::npos) << said;
      } else {
        said = Message([&] { home.WriteText(rel, "x"); });
        EXPECT_NE(said.find(path), std::string::npos) << said;
      }
      // Removal takes the planted thing away, never what it leads to.
      EXPECT_TRUE(home.Remove("runs"));
      EXPECT_EQ(dir.Read("home/.bashrc"), "mine");
      EXPECT_FALSE(fs::exists(fs::symlink_status(Home() / "runs")));
      fs::create_directories(Home() / "runs");
    }
  }
}

TEST_P(JournalDirTest, WrongKindsAreRefusedAndTheJournalFolderMustBeAFolder) {
  const JournalFolder home = JournalFolder::Home(dir / "game");
  EXPECT_NE(Message([&] { home.ReadText("runs/a"); }).find("is a folder where a file belongs"), std::string::npos);
  EXPECT_NE(Message([&] { home.Folder("runs/a/run.txt"); }).find("is a file where a folder belongs"), std::string::npos);
  EXPECT_NE(Message([&] { home.ReadText("runs/a/run.txt/x"); }).find("is a file where a folder belongs"), std::string::npos);
  EXPECT_FALSE(home.Folder("runs/b"));
  EXPECT_FALSE(home.ReadText("runs/b/run.txt"));
  EXPECT_NE(Message([&] { home.ReadText("runs/../../x"); }), "(not refused)");

  fs::rename(Home(), dir / "moved");
  fs::create_directory_symlink("../moved", Home());
  EXPECT_NE(Message([&] { JournalFolder::Home(dir / "game"); }).find(Home().string() + "\" is a link"),
            std::string::npos);
  fs::remove(Home());
  dir.Write("game/.veypatcher", "");
  EXPECT_NE(Message([&] { JournalFolder::Home(dir / "game"); }).find("is not a folder"), std::string::npos);
}

TEST_P(JournalDirTest, WritesAreWholeAndRemovalStaysInsideTheJournal) {
  const JournalFolder home = JournalFolder::Home(dir / "game");
  const JournalFolder made = home.MakeFolder("undo/x/pre");
  home.WriteText("undo/x/run.txt", "one\ntwo\ncut");
  EXPECT_EQ(home.ReadLines("undo/x/run.txt"), (std::vector<std::string>{"one", "two"}));
  EXPECT_FALSE(fs::exists(Home() / "undo/x/run.txt.new"));
  // A link left under the temporary name is replaced, not written through.
  fs::create_symlink(dir / "home/.bashrc", Home() / "undo/x/run.txt.new");
  home.WriteText("undo/x/run.txt", "three\n");
  EXPECT_EQ(dir.Read("home/.bashrc"), "mine");
  EXPECT_EQ(dir.Read("game/.veypatcher/undo/x/run.txt"), "three\n");
  // Links deep in a removed tree go, what they lead to stays.
  fs::create_directory_symlink(dir / "home", Home() / "undo/x/pre/0");
  fs::create_symlink(dir / "home/.bashrc", Home() / "undo/x/pre/1");
  home.Rename("undo/x", home, "undo/x.gone");
  EXPECT_TRUE(home.Remove("undo/x.gone"));
  EXPECT_FALSE(home.Remove("undo/x.gone"));
  EXPECT_EQ(dir.Read("home/.bashrc"), "mine");
  EXPECT_EQ(made.List(), std::vector<std::string>{});  // its folder is gone; the handle reads nothing
}

INSTANTIATE_TEST_SUITE_P(Kernel, JournalDirTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "openat2" : "ByComponent"; });

}  // namespace
}  // namespace vey::platform
