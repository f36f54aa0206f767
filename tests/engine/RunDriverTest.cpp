// Run: start and verdict lines, the tagged line of a failure that ends the
// run, the 2DA loop and the work folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <new>

#include "EngineFixture.h"
#include "formats/UERFHandler.h"
#include "formats/UTLKFile.h"

namespace vey::test {
namespace {

// Raises whatever the test hands it when the game folder is asked for, which
// happens inside the run's failure guard.
class ThrowingChooser : public platform::IFolderChooser {
 public:
  explicit ThrowingChooser(std::function<void()> raise) : raise_(std::move(raise)) {}
  std::string BrowseForFolder(std::string_view, unsigned) override {
    raise_();
    return {};
  }

 private:
  std::function<void()> raise_;
};

// A failure class of the engine's family that none of the tags names.
VEY_DECLARE_FAILURE(EOther);
// A subclass of a tagged class is reported with its parent's tag.
class ESpecialAbort : public EAbort {
 public:
  using EAbort::EAbort;
};

struct TaggedCase {
  std::function<void()> raise;
  std::string line;
};

TEST(RunFailures, EachFailureClassIsLoggedOnceWithItsTagAndPassedOn) {
  const std::vector<TaggedCase> cases = {
      {[] { throw EHell("Bad talk table"); }, " [Error] \tBad talk table (TLK)"},
      {[] { throw EDead("Bad table", 4); }, " [Error] \tBad table (2DA-4)"},
      {[] { throw EAbort("Stopped", 9); }, " [Error] \tStopped (GEN-9)"},
      {[] { throw ESpecialAbort("Stopped too", 6); }, " [Error] \tStopped too (GEN-6)"},
      {[] { throw EGFFError("Bad document", 12); }, " [Error] \tBad document (GFF-12)"},
      {[] { throw EFOpenError("Cannot open", 1); }, " [Error] \tCannot open (EXT-1)"},
      {[] { throw EERFError("Bad archive", 6); }, " [Error] \tBad archive (ERF-6)"},
      {[] { throw EOther("Something else"); }, " [Error] \tUnhandled exception: Something else (0)"},
  };
  for (const TaggedCase& c : cases) {
    EngineFixture f;
    f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n");
    ThrowingChooser chooser(c.raise);
    PatcherPlatform bundle{f.fake.openDialog, chooser, f.fake.registry, f.fake.events, f.fake.messages,
                           f.fake.files};
    TVEYPatcher engine("changes.ini", bundle, f.App(), f.Data());
    engine.OnLogLine = [&](std::string_view line, const platform::TextAttributes&) { f.lines.emplace_back(line); };
    TRunResult result{-5, -5};
    EXPECT_THROW(engine.Run(result), Exception);
    ASSERT_EQ(f.lines.size(), 2u) << c.line;
    EXPECT_EQ(f.lines[1], c.line);
    EXPECT_EQ(f.CountContaining("Done."), 0u);
    EXPECT_EQ(result.Warnings, -5);
    EXPECT_EQ(result.Errors, -5);
  }
}

TEST(RunFailures, ForeignThrowablesPassWithoutALine) {
  EngineFixture f;
  f.Ini("[Settings]\nInstallerMode=1\nLogLevel=4\n");
  ThrowingChooser chooser([] { throw std::bad_alloc(); });
  PatcherPlatform bundle{f.fake.openDialog, chooser, f.fake.registry, f.fake.events, f.fake.messages, f.fake.files};
  TVEYPatcher engine("changes.ini", bundle, f.App(), f.Data());
  engine.OnLogLine = [&](std::string_view line, const platform::TextAttributes&) { f.lines.emplace_back(line); };
  TRunResult result;
  EXPECT_THROW(engine.Run(result), std::bad_alloc);
  EXPECT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(engine.ErrorCount(), 0);
}

TEST(RunVerdict, EmptyInstructionsRunCleanly) {
  EngineFixture f;
  f.Ini("[Settings]\nLogLevel=4\n");
  TRunResult result{7, 7};
  f.Engine().Run(result);
  // The talk-table step always reads the TLKList, even an absent one.
  ASSERT_EQ(f.lines.size(), 3u);
  EXPECT_TRUE(f.lines[0].starts_with(" [STATUS] \tPatch operation started "));
  EXPECT_EQ(f.lines[1], " [Debug] \tLoading StrRef token table...");
  EXPECT_EQ(f.lines[2], " [STATUS] \tDone. All changes have been applied.");
  EXPECT_EQ(result.Warnings, 0);
  EXPECT_EQ(result.Errors, 0);
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
}

TEST(RunVerdict, CountsChooseTheLine) {
  struct Case {
    int warnings, errors;
    std::string line;
  };
  const std::vector<Case> cases = {
      {2, 0, " [STATUS - WARNING] \tDone. Changes have been applied, but 2 warnings were encountered."},
      {0, 3, " [STATUS - ERROR] \tDone. Some changes may have been applied, but 3 errors were encountered!"},
      {2, 1, " [STATUS - ERROR] \tDone. Some changes may have been applied, but 1 errors and 2 warnings were encountered!"},
  };
  for (const Case& c : cases) {
    EngineFixture f;
    f.Ini("[Settings]\nLogLevel=4\n");
    // The verdict counts everything since the engine was made.
    for (int i = 0; i < c.warnings; ++i) f.Engine().LogMessage("w", LogKind::Warning);
    for (int i = 0; i < c.errors; ++i) f.Engine().LogMessage("e", LogKind::Error);
    TRunResult result;
    f.Engine().Run(result);
    EXPECT_EQ(result.Warnings, c.warnings);
    EXPECT_EQ(result.Errors, c.errors);
    EXPECT_EQ(f.lines.back(), c.line);
  }
}

TEST(Run2DAList, TablesAreBackedUpBeforeTheirSaveAndModifierKeysDispatchByCase) {
  EngineFixture f;
  f.Ini(
      "[Settings]\nInstallerMode=1\nLogLevel=4\n"
      "[2DAList]\nT0=spells.2da\nT1=\nT2=broken.2da\n"
      "[spells.2da]\naddrow0=lower_case\nBogus=x\nEmpty=\n");
  f.MakeGame();
  const auto original = TwoDA({"label"}, {{"a"}});
  f.WriteFile(f.Game() + "override/spells.2da", original);
  f.WriteFile(f.Game() + "override/broken.2da", ToBytes("2DA V2.0\n"));
  std::vector<std::int32_t> progress;
  f.Engine().OnProgress = [&](std::int32_t position, std::int32_t) { progress.push_back(position); };
  TRunResult result;
  EXPECT_THROW(f.Engine().Run(result), EDead);

  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid modifier type \"addrow0\" found for modifier label \"lower_case\". Skipping..."));
  EXPECT_TRUE(f.Logged(" [Warning] \tInvalid modifier type \"Bogus\" found for modifier label \"x\". Skipping..."));
  EXPECT_EQ(f.CountContaining("\"Empty\""), 0u);
  EXPECT_TRUE(f.Logged(" [Install] \tSaving unaltered backup copy of spells.2da in " + f.App() + "backup/spells.2da"));
  EXPECT_TRUE(f.Logged(" [Install] \tUpdated 2DA file " + f.Game() + "override/spells.2da."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo  file was specified! Skipping it..."));
  EXPECT_EQ(progress, std::vector<std::int32_t>{1});
  EXPECT_EQ(f.ReadFile(f.App() + "backup/spells.2da"), std::string(original.begin(), original.end()));
  // The damaged table ends the run before anything is saved for it; the
  // run is undone after the failure is told.
  EXPECT_EQ(f.CountContaining("(2DA-1)"), 1u);
  EXPECT_EQ(f.lines.back().find(" [STATUS - ERROR] \tRolled back: 1 file put back"), 0u) << f.lines.back();
  EXPECT_EQ(f.ReadFile(f.Game() + "override/spells.2da"), std::string(original.begin(), original.end()));
  EXPECT_FALSE(f.Exists(f.App() + "backup/broken.2da"));
}

TEST(Run2DAList, PatcherModePicksEveryFileAndSkipsCancelledOnes) {
  EngineFixture f;
  f.Ini("[Settings]\nLogLevel=4\n[2DAList]\nT0=a.2da\nT1=b.2da\n");
  const std::string picked = f.dir.Path().string() + "/somewhere/A.2DA";
  f.WriteFile(picked, TwoDA({"label"}, {{"x"}}));
  f.fake.openDialog.answers.push_back(picked);
  f.fake.openDialog.answers.push_back(std::nullopt);
  TRunResult result;
  f.Engine().Run(result);
  EXPECT_TRUE(f.Logged(" [Install] \tUpdated 2DA file " + picked + "."));
  EXPECT_TRUE(f.Logged(" [Warning] \tNo b.2da file was specified! Skipping it..."));
  // A picked file is backed up like any other.
  EXPECT_TRUE(f.Exists(f.App() + "backup/A.2DA"));
  EXPECT_TRUE(f.fake.folderChooser.requests.empty());
  EXPECT_EQ(result.Warnings, 1);
}

TEST(RunWorkFolder, AnEmptyWorkFolderGoesAndAFullOneStays) {
  {
    EngineFixture f;
    f.Ini("[Settings]\nLogLevel=4\n");
    std::filesystem::create_directories(f.Data() + "erfpatch_temp");
    TRunResult result;
    f.Engine().Run(result);
    EXPECT_FALSE(f.Exists(f.Data() + "erfpatch_temp"));
  }
  {
    EngineFixture f;
    f.Ini("[Settings]\nLogLevel=4\n");
    f.WriteFile(f.Data() + "erfpatch_temp/left.utc", {1});
    TRunResult result;
    f.Engine().Run(result);
    EXPECT_TRUE(f.Exists(f.Data() + "erfpatch_temp/left.utc"));
  }
}

// A run killed while saving into "erfpatch_temp", or while documents waited
// there for their archive, leaves files that the next run removes; those of
// a process that still runs (the same mod going into another game folder)
// stay.
TEST(RunWorkFolder, LeftoversOfAKilledRunGoAndThoseOfARunningOneStay) {
  EngineFixture f;
  f.Ini("[Settings]\nLogLevel=4\n");
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string gone = std::to_string(dead), alive = std::to_string(::getppid());
  const std::string work = f.Data() + "erfpatch_temp/";
  const std::vector<std::string> leftovers = {work + "k_ai.ncs.vey-" + gone + "-3.tmp",
                                              work + "queued/" + gone + "-0_guard.utc",
                                              work + "queued/guard.utc.vey-" + gone + "-7.tmp"};
  const std::vector<std::string> kept = {work + "k_ai.ncs.vey-" + alive + "-3.tmp",
                                         work + "queued/" + alive + "-1_guard.utc", work + "left.utc"};
  for (const std::string& path : leftovers) f.WriteFile(path, {1});
  for (const std::string& path : kept) f.WriteFile(path, {2});
  TRunResult result;
  f.Engine().Run(result);
  for (const std::string& path : leftovers) EXPECT_FALSE(f.Exists(path)) << path;
  for (const std::string& path : kept) EXPECT_TRUE(f.Exists(path)) << path;
}

}  // namespace
}  // namespace vey::test
