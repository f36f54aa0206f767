// Reading a run record back: every value comes back as it was recorded, and
// every line or name that does not hold together is reported by file and
// line instead of being acted upon, without a number read from a file ever
// sizing memory. Also the write fence around the journal folder.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/VeyException.h"
#include "platform/GameFileSystem.h"
#include "platform/RunJournal.h"
#include "platform/RunRecords.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += item + "\n";
  return text;
}

TEST(RunRecordRead, ValuesWithPercentAndTabComeBackIntact) {
  TempDir dir;
  dir.Write("game/dialog.tlk", "x");
  GameFileSystem files;
  files.AddWritableRoot(dir / "game");
  RunRecord header;
  header.modFolder = (dir / "mods/50%\tof it%").string();
  header.caption = "100%";
  header.installationType = "a\tb%41";
  std::string id;
  {
    RunJournal journal(files, dir / "game", header);
    id = journal.Record().id;
    files.CreateDirectories(dir / "game/override");
    files.WriteFile(dir / "game/override/ends in%", test::ToBytes("new"));
    files.WriteFile(dir / "game/dialog.tlk", test::ToBytes("changed"));
    journal.Finish("ok");
  }
  const std::vector<RunRecord> runs = ListRuns(dir / "game");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].Finished()) << Joined(runs[0].damage);
  EXPECT_EQ(runs[0].modFolder, header.modFolder);
  EXPECT_EQ(runs[0].caption, "100%");
  EXPECT_EQ(runs[0].installationType, "a\tb%41");
  ASSERT_EQ(runs[0].files.size(), 2u);
  EXPECT_EQ(runs[0].files[0].path, "override/ends in%");
  std::vector<std::string> damage;
  const auto changes = ReadStoredChanges(dir / "game/.veypatcher/runs" / id, damage);
  EXPECT_EQ(Joined(damage), "");
  ASSERT_EQ(changes.size(), 3u);  // the new folder, the new file, the talk table
  EXPECT_EQ(changes[1].path, "override/ends in%");
  EXPECT_EQ(changes[2].oldName, "2~dialog.tlk");
}

TEST(RunRecordRead, EscapesComeBackAndBrokenOnesAreRefused) {
  for (const std::string text : {"100%", "a\tb", "two\nlines", "cr\r", "%41", "%"})
    EXPECT_EQ(journal::Unescape(journal::Escape(text)), text);
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"%41%25", "A%"}, {"%4", std::nullopt}, {"a%", std::nullopt}, {"%g1", std::nullopt}, {"%1g", std::nullopt}};
  for (const auto& [text, plain] : cases) EXPECT_EQ(journal::Unescape(text), plain) << text;
}

TEST(RunRecordRead, DamagedChangesAreNamedByFileAndLine) {
  struct Case {
    const char* what;
    std::string log;
    std::vector<std::string> pre;  // names of old versions
    std::string damage;            // the start of the one problem expected; empty: none
    std::size_t changes;
  };
  const Case cases[] = {
      {"sound", "file\t1\tx\n", {"0~x"}, "", 1},
      {"an absolute path", "file\t0\t/etc/passwd\n", {}, "changes.log, line 1: the path is absolute", 0},
      {"a path climbing out", "folder\t0\ta/../../b\n", {}, "changes.log, line 1: the path climbs", 0},
      // A terminal's control sequence in a damaged path is not passed on.
      {"a control character", "file\t0\t/a\x1b[2J\n", {}, "changes.log, line 1: the path is absolute (\"/a?[2J\")", 0},
      {"a path into the journal", "file\t0\t.VEYPATCHER/id\n", {}, "changes.log, line 1: the path lies inside", 0},
      {"an escape cut short", "file\t0\tx\nfile\t0\tname%\n", {}, "changes.log, line 2: not a change line", 1},
      {"an escape of no hex digits", "file\t0\tna%zzme\n", {}, "changes.log, line 1: not a change line", 0},
      {"an unknown kind", "link\t0\tx\n", {}, "changes.log, line 1: not a change line", 0},
      {"a doubled slash", "file\t0\ta//b\n", {}, "changes.log, line 1: the path is not in its plain form", 0},
      {"a dot folder", "file\t0\t./a\n", {}, "changes.log, line 1: the path is not in its plain form", 0},
      {"an encoded climb", "", {"0~..%2F..%2F.bashrc"}, "pre/0~..%2F..%2F.bashrc: the path climbs", 0},
      {"an encoded absolute path", "", {"0~%2Fetc%2Fpasswd"}, "pre/0~%2Fetc%2Fpasswd: the path is absolute", 0},
      {"a number of 25 digits", "", {"1234567890123456789012345~x"}, "pre/1234567890123456789012345~x: the name", 0},
      {"a name not of its line", "file\t1\tx\n", {"0~y"}, "pre/0~y: does not match line 1", 1},
      {"an old version of a new file", "file\t0\tx\n", {"0~x"}, "pre/0~x: does not match line 1", 1},
      // A number that fits is only a key: no list is sized by it.
      {"a number of 3000000000", "", {"3000000000~x"}, "", 1},
      // A short name whose line never reached the disk: the file never changed.
      {"a short name without its line", "", {"7"}, "", 0},
      // A copy of an old version that a kill cut short: never named in a change.
      {"a copy cut short", "file\t1\tx\n", {"0~x", ".1~y.part"}, "", 1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("run/changes.log", c.log);
    fs::create_directories(dir / "run/pre");
    for (const std::string& name : c.pre) dir.Write("run/pre/" + name, "old");
    std::vector<std::string> damage;
    const auto changes = ReadStoredChanges(dir / "run", damage);
    if (c.damage.empty()) {
      EXPECT_TRUE(damage.empty()) << c.what << ": " << Joined(damage);
    } else {
      ASSERT_EQ(damage.size(), 1u) << c.what << ": " << Joined(damage);
      EXPECT_EQ(damage[0].substr(0, c.damage.size()), c.damage) << c.what;
    }
    EXPECT_EQ(changes.size(), c.changes) << c.what;
  }
}

TEST(RunRecordRead, DamagedRecordsAreNamedByFileAndLine) {
  const std::string digest(64, 'a');
  struct Case {
    const char* what;
    std::string run, files;
    std::string damage;
  };
  const Case cases[] = {
      {"sound", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t-1\tx\n", ""},
      {"no state line", "mod=m\n", "", "run.txt: no state line"},
      {"an unknown state", "state=done\n", "", "run.txt: unknown state \"done\""},
      {"a line that is no key", "state=finished\ngarbage\n", "", "run.txt, line 2: not a \"key=value\" line"},
      {"a size of 25 digits", "state=finished\n", "created\t0\t\t1234567890123456789012345\t" + digest + "\t1\t1\tx\n",
       "files.txt, line 1: a size"},
      {"a time past 64 bits", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t99999999999999999999\tx\n",
       "files.txt, line 1: a size"},
      {"a size with a sign", "state=finished\n", "created\t0\t\t-5\t" + digest + "\t1\t1\tx\n",
       "files.txt, line 1: a size"},
      {"a digest that is none", "state=finished\n", "created\t0\t\t5\tnot-hex\t1\t1\tx\n",
       "files.txt, line 1: a SHA-256"},
      {"an absolute path", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t1\t/x\n",
       "files.txt, line 1: the path is absolute"},
      {"too few fields", "state=finished\n", "created\t0\n", "files.txt, line 1: not a file line"},
      {"a field too many", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t1\tx\ty\n",
       "files.txt, line 1: not a file line"},
      // Undoing it would leave the file the run created.
      {"a file the log lost", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t-1\ty\n",
       "files.txt names \"y\", which changes.log does not"},
      {"no log", "state=finished\n", "created\t0\t\t5\t" + digest + "\t1\t-1\tx\n", "changes.log: missing"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("run/run.txt", c.run);
    dir.Write("run/files.txt", c.files);
    if (std::string_view(c.what) != "no log") dir.Write("run/changes.log", "file\t0\tx\n");
    const auto record = ReadRunRecord(dir / "run");
    ASSERT_TRUE(record) << c.what;
    if (c.damage.empty()) {
      EXPECT_TRUE(record->Finished()) << c.what << ": " << Joined(record->damage);
      EXPECT_EQ(record->files.size(), 1u);
    } else {
      ASSERT_EQ(record->damage.size(), 1u) << c.what << ": " << Joined(record->damage);
      EXPECT_EQ(record->damage[0].substr(0, c.damage.size()), c.damage) << c.what;
      EXPECT_FALSE(record->Finished()) << c.what;
    }
  }
  // A folder left by a run cut short before its record was written changed
  // nothing: it is no run at all.
  TempDir dir;
  fs::create_directories(dir / "run/pre");
  dir.Write("run/changes.log", "");
  EXPECT_FALSE(ReadRunRecord(dir / "run"));
  // One whose record went but whose changes are logged did change the game.
  dir.Write("run/changes.log", "file\t0\tx\n");
  const auto lost = ReadRunRecord(dir / "run");
  ASSERT_TRUE(lost);
  ASSERT_FALSE(lost->damage.empty());
  EXPECT_EQ(lost->damage[0], "run.txt: missing or empty");
}

// The old versions are links to the game's files and go back by renaming:
// a journal folder mounted from another disk is refused before anything is
// written. The mount lives in a child process's own mount namespace; without
// the right to make one the test is skipped.
TEST(JournalHomeCheck, AJournalFolderOnAnotherFileSystemIsRefused) {
  for (const char* mounted : {".veypatcher", ".veypatcher/runs"}) {
    SCOPED_TRACE(mounted);
    TempDir dir;
    fs::create_directories(dir / "game" / mounted);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // 77: no namespace or mount allowed here; 0: refused as it should be.
      if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount("tmpfs", (dir / "game" / mounted).c_str(), "tmpfs", 0, "size=1m") != 0)
        ::_exit(77);
      try {
        PrepareJournalHome(dir / "game");
        ::_exit(1);
      } catch (const EJournalUnusable& e) {
        ::_exit(std::strstr(e.what(), "lies on another file system than the game") ? 0 : 2);
      } catch (...) {
        ::_exit(3);
      }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace for this user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: accepted, 2: refused for another reason, 3: another failure";
  }
}

TEST(JournalFence, NothingInsideTheJournalFolderIsResolvedOrWritten) {
  TempDir dir;
  fs::create_directories(dir / "game/.veypatcher/runs");
  fs::create_directories(dir / "game/override");
  GameFileSystem files;
  files.AddWritableRoot(dir / "game");
  files.AddGuardedFolder(JournalHome(dir / "game"));
  for (const char* spelling : {".veypatcher", ".VEYPATCHER\\id", ".\\.veypatcher", ".//.veypatcher/", "./override/..\\.veypatcher"})
    EXPECT_THROW(files.Resolve(dir / "game", spelling), EPathError) << spelling;
  // Spellings Resolve never makes are stopped at the write itself, and so is
  // a person's link that leads into the journal.
  fs::create_directory_symlink(dir / "game/.veypatcher", dir / "game/override/j");
  for (const fs::path& target : {dir / "game/.VeyPatcher/runs/x", dir / "game/./.veypatcher//lock",
                                 dir / "game/override/j/id"})
    EXPECT_THROW(files.WriteFile(target, test::ToBytes("x")), EPathError) << target;
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/id"));
  EXPECT_NO_THROW(files.WriteFile(dir / "game/override/.veypatcher.txt", test::ToBytes("x")));
  EXPECT_NO_THROW(files.WriteFile(dir / "game/.veypatcher2", test::ToBytes("x")));
  EXPECT_NO_THROW(files.Resolve(dir / "game", "override\\.veypatcher"));
}

// The fence looks at the folders as they are at each write: a folder that
// was fine when first seen and is then turned into a way into the journal,
// within one run and by someone else, is refused from then on.
TEST(JournalFence, FollowsFoldersReplacedByLinksDuringTheRun) {
  struct Case {
    const char* what;
    const char* write;  // relative to the game folder
    void (*change)(const fs::path& game);
  };
  const Case cases[] = {
      {"a folder replaced by a link into the journal", "override/x.tga",
       [](const fs::path& game) {
         fs::remove_all(game / "override");
         fs::create_directory_symlink(game / ".veypatcher", game / "override");
       }},
      {"a folder on the way moved into the journal, a link left in its place", "data/sub/x.tga",
       [](const fs::path& game) {
         fs::rename(game / "data", game / ".veypatcher/data");
         fs::create_directory_symlink(game / ".veypatcher/data", game / "data");
       }},
      {"the journal folder replaced by a link to a folder the run writes", "store/x.tga",
       [](const fs::path& game) {
         fs::rename(game / ".veypatcher", game / "journal-moved");
         fs::create_directory_symlink(game / "store", game / ".veypatcher");
       }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path game = dir / "game";
    for (const char* folder : {".veypatcher/runs", "override", "data/sub", "store"}) fs::create_directories(game / folder);
    GameFileSystem files;
    files.AddWritableRoot(game);
    files.AddGuardedFolder(JournalHome(game));
    const std::string relative = c.write;
    EXPECT_NO_THROW(files.WriteFile(files.Resolve(game, relative), test::ToBytes("1"))) << c.what;
    c.change(game);
    EXPECT_THROW(files.WriteFile(game / relative, test::ToBytes("2")), EPathError) << c.what;
    EXPECT_THROW(files.Resolve(game, relative), EPathError) << c.what;
  }
}

}  // namespace
}  // namespace vey::platform
