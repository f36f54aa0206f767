// JournalCheck: what the installer last wrote compared with the files now,
// and the marks of a forced uninstall read back as untrusted text.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/Sha256.h"
#include "platform/JournalCheck.h"
#include "support/TestSupport.h"

namespace vey::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Digest(std::string_view text) { return Sha256Hex(test::ToBytes(text)); }

// A file as a run left it, with what the run recorded of it.
ExpectedFile AsWritten(const TempDir& dir, const std::string& path, const std::string& text) {
  dir.Write(path, text);
  struct stat st {};
  ::stat((dir / path).c_str(), &st);
  return {path, "run-1", true, text.size(), Digest(text), static_cast<std::uint64_t>(st.st_ino)};
}

TEST(FindDrifts, TellsChangedReplacedAndRemovedFilesOnAnyNumberOfThreads) {
  struct Case {
    const char* name;
    std::function<void(const TempDir&, const fs::path&)> after;  // what happens to the file since
    std::string expected;                                        // state, empty when none
  };
  const std::vector<Case> cases{
      {"untouched", [](const TempDir&, const fs::path&) {}, ""},
      {"same bytes in a new file", [](const TempDir& d, const fs::path& p) {
         d.Write("new", "content!");
         fs::rename(d / "new", p);
       }, ""},
      {"edited in place, same size", [](const TempDir&, const fs::path& p) { std::ofstream(p, std::ios::in | std::ios::out) << "C"; },
       "changed"},
      {"grown in place", [](const TempDir&, const fs::path& p) { std::ofstream(p, std::ios::app) << "more"; }, "changed"},
      {"other bytes in a new file", [](const TempDir& d, const fs::path& p) {
         d.Write("new", "CONTENT!");
         fs::rename(d / "new", p);
       }, "replaced"},
      {"a folder in its place", [](const TempDir&, const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
       }, "replaced"},
      {"a link in its place", [](const TempDir& d, const fs::path& p) {
         fs::remove(p);
         fs::create_symlink(d / "elsewhere", p);
       }, "replaced"},
      {"removed", [](const TempDir&, const fs::path& p) { fs::remove(p); }, "removed"},
  };
  for (unsigned threads : {1u, 2u, 5u}) {
    TempDir dir;
    std::vector<ExpectedFile> expected;
    for (std::size_t i = 0; i < cases.size(); ++i) expected.push_back(AsWritten(dir, "f" + std::to_string(i), "content!"));
    // A file the run removed, back again.
    expected.push_back({"gone", "run-2", false, 0, "", 0});
    dir.Write("gone", "back");
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i].after(dir, dir / ("f" + std::to_string(i)));

    const std::vector<FileDrift> drifts = FindDrifts(dir.Path(), expected, threads);
    std::vector<std::string> got, want;
    for (const FileDrift& d : drifts) got.push_back(d.path + " " + d.state + " " + d.run);
    for (std::size_t i = 0; i < cases.size(); ++i)
      if (!cases[i].expected.empty()) want.push_back("f" + std::to_string(i) + " " + cases[i].expected + " run-1");
    want.push_back("gone replaced run-2");
    EXPECT_EQ(got, want) << threads << " threads";
  }
}

TEST(UndoneMarks, HostileOrCutLinesAreLeftOutAndTheLastMarkOfAFileCounts) {
  TempDir dir;
  const std::string good = std::string(64, 'a');
  dir.Write("run/undone.txt", "dialog.tlk\t1\t" + good + "\tfirst\n" +        // replaced below
                                  "/etc/passwd\t1\t" + good + "\tx\n" +          // absolute
                                  "override/../../x\t0\t\tx\n" +                 // leaves the game
                                  "override/a.2da\t2\t" + good + "\tx\n" +       // not a flag
                                  "override/b.2da\t1\tnot-a-digest\tx\n" +       // not a digest
                                  "override/c%09d.2da\t0\t\tby%25\n" +           // escaped tab and %
                                  "dialog.tlk\t0\t\tsecond\n" +
                                  "override/cut.2da\t1\t" + good + "\tcu");      // a line a crash cut
  const auto marks = ReadUndoneMarks(dir / "run");
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].path, "dialog.tlk");
  EXPECT_FALSE(marks[0].exists);
  EXPECT_EQ(marks[0].by, "second");
  EXPECT_EQ(marks[1].path, "override/c\td.2da");
  EXPECT_EQ(marks[1].by, "by%");
}

TEST(LastWrites, LaterRunsWinUndoneRunsAreLeftOutAndMarksReplaceTheRecordedState) {
  auto run = [](std::string id, std::vector<std::string> paths) {
    RunRecord r;
    r.id = std::move(id);
    r.state = "finished";
    for (const std::string& p : paths) r.files.push_back({p, "modified", true, true, 1, 2, "b", "a-" + r.id, 7, 0});
    return r;
  };
  std::vector<RunRecord> runs{run("1", {"x", "y", "../out"}), run("2", {"y", "z"}), run("3", {"x"}), run("4", {"z", "w"})};
  runs[1].partlyUndone.push_back({"y", false, "", "9"});
  runs[2].undone = true;
  // A run a kill cut short is rolled back by the next start, not checked.
  runs[3].state = "running";
  const auto files = LastWrites(runs);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].path + files[0].run + files[0].sha256, "x1a-1");
  EXPECT_EQ(files[1].path + files[1].run, "y2");
  EXPECT_FALSE(files[1].exists);
  EXPECT_EQ(files[2].path + files[2].run + files[2].sha256, "z2a-2");
}

TEST(LastWrites, AFilePutBackByAForcedUninstallIsComparedByContentAlone) {
  TempDir dir;
  const std::string before = "before the run";
  RunRecord run;
  run.id = "2";
  run.state = "finished";
  run.files.push_back({"f", "modified", true, true, 3, 5, Digest("old"), Digest("new!!"), 7, 0});
  // An uninstall of an earlier run put its own old version back: another
  // file, of a size the mark does not record.
  run.partlyUndone.push_back({"f", true, Digest(before), "1"});
  dir.Write("f", before);
  EXPECT_TRUE(FindDrifts(dir.Path(), LastWrites({run})).empty());
  std::ofstream(dir / "f", std::ios::in | std::ios::out) << "B";
  const auto drifts = FindDrifts(dir.Path(), LastWrites({run}));
  ASSERT_EQ(drifts.size(), 1u);
  EXPECT_EQ(drifts[0].state, "changed");
  EXPECT_EQ(drifts[0].run, "2");
}

}  // namespace
}  // namespace vey::platform
