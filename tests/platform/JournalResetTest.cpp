// A reset finished from its own record: the runs it names are undone newest
// first and kept under undone/ whole, a cut or foreign line is never acted
// upon, and a run that cannot be put back keeps the reset pending.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/GameFileSystem.h"
#include "platform/JournalReset.h"
#include "platform/RunJournal.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A game with two finished runs: the first changes the talk table, the
// second creates a file and changes the talk table again.
class ResetRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("game/dialog.tlk", "original");
    files.AddWritableRoot(dir / "game");
    first = Run("first", [&] { files.WriteFile(Game() / "dialog.tlk", test::ToBytes("by first")); });
    second = Run("second", [&] {
      files.CreateDirectories(Game() / "override");
      files.WriteFile(Game() / "override/new.2da", test::ToBytes("new"));
      files.WriteFile(Game() / "dialog.tlk", test::ToBytes("by second"));
    });
  }
  fs::path Game() const { return dir / "game"; }
  std::string Run(const std::string& mod, const std::function<void()>& change) {
    RunRecord header;
    header.modFolder = (dir / mod).string();
    RunJournal journal(files, Game(), header);
    change();
    journal.Finish("ok");
    return journal.Record().id;
  }
  bool Live(const std::string& id) const { return fs::is_directory(Game() / ".veypatcher/runs" / id); }

  TempDir dir;
  GameFileSystem files;
  std::string first, second;
};

TEST_F(ResetRecord, UndoesTheNamedRunsAndKeepsTheirWholeRecords) {
  dir.Write("game/.veypatcher/reset.txt", second + "\n" + first + "\n");
  const RollbackResult r = CompleteReset(Game());
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(r.restored, 2);
  EXPECT_EQ(r.removed, 2);  // the new file and its folder
  EXPECT_EQ(dir.Read("game/dialog.tlk"), "original");
  EXPECT_FALSE(fs::exists(Game() / "override"));
  EXPECT_FALSE(ResetPending(Game()));
  EXPECT_FALSE(Live(first) || Live(second));
  const std::vector<RunRecord> undone = ListUndoneRuns(Game());
  ASSERT_EQ(undone.size(), 2u);
  EXPECT_EQ(undone[1].id, second);
  EXPECT_TRUE(undone[1].Finished());
  EXPECT_EQ(undone[1].files.size(), 2u);
  EXPECT_EQ(dir.Read("game/.veypatcher/undone/" + second + "/reset.txt"), "undone by reset\n");
}

TEST_F(ResetRecord, ACutLineAndNamesOutsideRunsAreNotActedUpon) {
  // The list is written whole before the first run is touched; a last line
  // without its end was never part of it.
  dir.Write("game/.veypatcher/reset.txt", ".\n..\n.hidden\n" + second + "\n" + first);
  const RollbackResult r = CompleteReset(Game());
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(dir.Read("game/dialog.tlk"), "by first");
  EXPECT_FALSE(Live(second));
  EXPECT_TRUE(Live(first));
  EXPECT_FALSE(ResetPending(Game()));
}

TEST_F(ResetRecord, ARecordKeptBeforeTheCutIsKeptAgainWithoutFailing) {
  // A reset cut short after it kept the record of the newest run.
  fs::create_directories(Game() / ".veypatcher/undone" / second);
  dir.Write("game/.veypatcher/undone/" + second + "/run.txt", "state=finished\n");
  dir.Write("game/.veypatcher/reset.txt", second + "\n" + first + "\n");
  const RollbackResult r = CompleteReset(Game());
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(dir.Read("game/dialog.tlk"), "original");
  EXPECT_FALSE(ResetPending(Game()));
}

TEST_F(ResetRecord, ARunThatCannotBePutBackStopsTheResetAndKeepsItPending) {
  // The newest run's record no longer holds together.
  dir.Write("game/.veypatcher/runs/" + second + "/changes.log", "garbage\n");
  dir.Write("game/.veypatcher/reset.txt", second + "\n" + first + "\n");
  const RollbackResult r = CompleteReset(Game());
  ASSERT_FALSE(r.problems.empty());
  EXPECT_EQ(r.problems[0].substr(0, second.size() + 2), second + ": ");
  EXPECT_TRUE(ResetPending(Game()));
  // The earlier run is left for the retry: undoing it now would put back
  // files under what the newest run still holds.
  EXPECT_TRUE(Live(first));
  EXPECT_EQ(dir.Read("game/dialog.tlk"), "by second");
}

}  // namespace
}  // namespace vey::platform
