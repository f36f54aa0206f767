// Installing a recorded run's mod again: a type the mod no longer offers is
// refused before anything runs, and only a result no worse than the first
// counts as installed as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/run/UReinstall.h"
#include "support/TestSupport.h"

namespace vey::test {
namespace {

namespace fs = std::filesystem;

TEST(ReinstallRun, ATypeTheModNoLongerOffersIsRefused) {
  TempDir dir;
  dir.Write("game/dialog.tlk", "talk");
  dir.Write("mod/veypatchdata/changes.ini", "[Settings]\nFileExists=1\nInstallerMode=1\n");
  for (const bool withTypes : {false, true}) {
    SCOPED_TRACE(withTypes ? "other types offered" : "no types offered");
    if (withTypes)
      dir.Write("mod/veypatchdata/namespaces.ini",
                "[Namespaces]\nNamespace1=light\n[light]\nIniName=changes.ini\nInfoName=info.rtf\nDataPath=light\n"
                "Name=Light\nDescription=x\n");
    TRunSource source;
    source.modFolder = (dir / "mod").string();
    source.installationType = "heavy";
    const TReinstallOutcome outcome = ReinstallRun(source, dir / "game");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.failure, "The mod no longer offers the installation type \"heavy\".");
  }
  EXPECT_FALSE(fs::exists(dir / "game/.veypatcher/runs"));
}

TEST(ReinstallRun, OnlyAResultNoWorseThanTheFirstIsAsBefore) {
  struct Case {
    bool completed;
    int warnings, errors;
    const char* verdict;  // the first run's
    bool asBefore;
  };
  const Case cases[] = {
      {true, 0, 0, "ok", true},        {true, 1, 0, "ok", false},      {true, 0, 1, "ok", false},
      {true, 1, 0, "warnings", true},  {true, 0, 0, "warnings", true}, {true, 0, 1, "warnings", false},
      {true, 3, 2, "errors", true},    {false, 0, 0, "ok", false},     {false, 0, 0, "errors", false},
  };
  for (const Case& c : cases) {
    TReinstallOutcome outcome;
    outcome.completed = c.completed;
    outcome.warnings = c.warnings;
    outcome.errors = c.errors;
    EXPECT_EQ(ReinstalledAsBefore(outcome, c.verdict), c.asBefore)
        << c.completed << " " << c.warnings << " warnings " << c.errors << " errors, first " << c.verdict;
  }
}

}  // namespace
}  // namespace vey::test
