// Tests of TVEYPatcher's construction, progress log and work count.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/run/UVEYPatcher.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

namespace vey {
namespace {

using Lines = std::vector<std::string>;
using platform::Rgb;

class PatcherTest : public ::testing::Test {
 protected:
  // A mod folder whose instruction file holds these settings lines.
  TVEYPatcher& Make(const std::string& settings, const std::string& rest = "") {
    dir.Write("mod/veypatchdata/changes.ini", "[Settings]\r\n" + settings + rest);
    patcher = std::make_unique<TVEYPatcher>("changes.ini", host.Bundle(), (dir / "mod").string(), "");
    patcher->RichLog = &rich;
    patcher->PlainLog = &plain;
    return *patcher;
  }

  void LogOneOfEach(TVEYPatcher& p) {
    p.LogMessage("d", LogKind::Debug);
    p.LogMessage("e", LogKind::Error);
    p.LogMessage("w", LogKind::Warning);
    p.LogMessage("i", LogKind::Install);
    p.LogMessage("s", LogKind::Status);
  }

  test::TempDir dir;
  test::FakePlatform host;
  test::RecordingRichLogView rich;
  test::RecordingPlainLogView plain;
  std::unique_ptr<TVEYPatcher> patcher;
};

TEST_F(PatcherTest, ConstructionResolvesFoldersAndReadsSettings) {
  TVEYPatcher& p = Make("LogLevel=0x4\r\nPlaintextLog=1\r\n");
  std::string app = (dir / "mod").string() + "/";
  EXPECT_EQ(p.AppPath(), app);
  EXPECT_EQ(p.DataPath(), app + "veypatchdata/");
  EXPECT_EQ(p.IniFile().FileName(), app + "veypatchdata/changes.ini");
  EXPECT_EQ(p.LogLevel(), 4);
  EXPECT_TRUE(p.PlaintextLog());
  EXPECT_EQ(p.LineCount(), 0);
  EXPECT_EQ(p.CurrentFile(), "");

  // A data path that names no folder falls back; an existing one is kept.
  TVEYPatcher missing("changes.ini", host.Bundle(), app, (dir / "nowhere").string());
  EXPECT_EQ(missing.DataPath(), app + "veypatchdata/");
  dir.Write("other/alt.ini", "[Settings]\nLogLevel=1\n");
  TVEYPatcher other("alt.ini", host.Bundle(), app, (dir / "other").string());
  EXPECT_EQ(other.DataPath(), (dir / "other").string() + "/");
  EXPECT_EQ(other.LogLevel(), 1);
}

TEST_F(PatcherTest, MissingOrUnreadableSettingsTakeDefaults) {
  TVEYPatcher none("absent.ini", host.Bundle(), (dir / "mod").string(), "");
  EXPECT_EQ(none.LogLevel(), 3);
  EXPECT_FALSE(none.PlaintextLog());
  TVEYPatcher& words = Make("LogLevel=verbose\r\nPlaintextLog=true\r\n");
  EXPECT_EQ(words.LogLevel(), 3);
  EXPECT_FALSE(words.PlaintextLog());
}

TEST_F(PatcherTest, LevelsFilterLinesButNeverTheCounters) {
  struct Case {
    int level;
    Lines written;
  };
  const std::vector<Case> cases = {
      {1, {" [Install] \ti", " [STATUS - ERROR] \ts"}},
      {2, {" [Error] \te", " [Install] \ti", " [STATUS - ERROR] \ts"}},
      {3, {" [Error] \te", " [Warning] \tw", " [Install] \ti", " [STATUS - ERROR] \ts"}},
      {4, {" [Debug] \td", " [Error] \te", " [Warning] \tw", " [Install] \ti", " [STATUS - ERROR] \ts"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    plain = {};
    host.events.count = 0;
    TVEYPatcher& p = Make("PlaintextLog=1\r\nLogLevel=" + std::to_string(c.level) + "\r\n");
    LogOneOfEach(p);
    EXPECT_EQ(plain.lines, c.written);
    EXPECT_EQ(p.LineCount(), static_cast<int>(c.written.size()));
    EXPECT_EQ(p.ErrorCount(), 1);
    EXPECT_EQ(p.WarningCount(), 1);
    EXPECT_EQ(host.events.count, 5);
    EXPECT_TRUE(rich.lines.empty());
  }
}

TEST_F(PatcherTest, LevelZeroWritesCountsAndProcessesNothing) {
  TVEYPatcher& p = Make("PlaintextLog=1\r\nLogLevel=0\r\n");
  LogOneOfEach(p);
  EXPECT_TRUE(plain.lines.empty());
  EXPECT_EQ(plain.clears, 0);
  EXPECT_EQ(p.ErrorCount(), 0);
  EXPECT_EQ(p.WarningCount(), 0);
  EXPECT_EQ(host.events.count, 0);
}

TEST_F(PatcherTest, StatusTagFollowsTheCountersAtTheTimeOfTheCall) {
  TVEYPatcher& p = Make("PlaintextLog=1\r\nLogLevel=1\r\n");
  p.LogMessage("start", LogKind::Status);
  p.LogMessage("w", LogKind::Warning);
  p.LogMessage("warned", LogKind::Status);
  p.LogMessage("e", LogKind::Error);
  p.LogMessage("failed", LogKind::Status);
  EXPECT_EQ(plain.lines,
            (Lines{" [STATUS] \tstart", " [STATUS - WARNING] \twarned", " [STATUS - ERROR] \tfailed"}));
}

TEST_F(PatcherTest, RichLinesCarryPrefixColourAndFont) {
  TVEYPatcher& p = Make("LogLevel=4\r\n");
  p.LogMessage("all clear", LogKind::Status);
  LogOneOfEach(p);
  p.LogMessage("after error", LogKind::Status);
  ASSERT_EQ(rich.Texts(), (Lines{" \x95 all clear", " \x95 d", " \x95 Error: e", " \x95 Warning: w", " \x95 i",
                                 " \x95 s", " \x95 after error"}));
  auto colour = [&](std::size_t i) { return rich.lines[i].attributes.color; };
  EXPECT_EQ(colour(0), (Rgb{2, 97, 17}));
  EXPECT_EQ(colour(1), (Rgb{4, 32, 152}));
  EXPECT_EQ(colour(2), (Rgb{156, 2, 2}));
  EXPECT_EQ(colour(3), (Rgb{160, 87, 2}));
  EXPECT_EQ(colour(4), (Rgb{46, 46, 46}));
  EXPECT_EQ(colour(5), (Rgb{156, 2, 2}));
  for (std::size_t i = 0; i < rich.lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rich.lines[i].attributes.bold, i == 0 || i >= 5);
    EXPECT_EQ(rich.lines[i].attributes.fontName, "Courier New");
    EXPECT_EQ(rich.lines[i].attributes.sizePoints, 8);
    EXPECT_FALSE(rich.lines[i].wordWrap);
  }
  EXPECT_TRUE(plain.lines.empty());
}

TEST_F(PatcherTest, StatusAfterOnlyWarningsIsOrange) {
  TVEYPatcher& p = Make("LogLevel=1\r\n");
  p.LogMessage("w", LogKind::Warning);
  p.LogMessage("done", LogKind::Status);
  ASSERT_EQ(rich.lines.size(), 1u);
  EXPECT_EQ(rich.lines[0].attributes.color, (Rgb{160, 87, 2}));
  EXPECT_TRUE(rich.lines[0].attributes.bold);
}

TEST_F(PatcherTest, FirstWrittenLineClearsTheViewOnce) {
  TVEYPatcher& p = Make("LogLevel=1\r\n");
  rich.AppendLine("information text");
  p.LogMessage("hidden", LogKind::Debug);
  p.LogMessage("hidden", LogKind::Warning);
  EXPECT_EQ(rich.clears, 0);
  EXPECT_EQ(p.LineCount(), 0);
  p.LogMessage("one", LogKind::Install);
  p.LogMessage("two", LogKind::Install);
  EXPECT_EQ(rich.clears, 1);
  EXPECT_EQ(rich.Texts(), (Lines{" \x95 one", " \x95 two"}));
  EXPECT_EQ(p.LineCount(), 2);
}

TEST_F(PatcherTest, UnknownKindsAndMissingViewsStillProcessEvents) {
  TVEYPatcher& p = Make("LogLevel=4\r\n");
  p.LogMessage("odd", static_cast<LogKind>(32));
  EXPECT_TRUE(rich.lines.empty());
  EXPECT_EQ(p.LineCount(), 0);
  EXPECT_EQ(host.events.count, 1);

  p.RichLog = nullptr;
  p.LogMessage("nowhere", LogKind::Error);
  EXPECT_EQ(p.ErrorCount(), 1);
  EXPECT_EQ(p.LineCount(), 1);
  EXPECT_EQ(host.events.count, 2);
}

TEST_F(PatcherTest, ProgressPastTheMaximumIsReportedAndLogged) {
  TVEYPatcher& p = Make("PlaintextLog=1\r\nLogLevel=4\r\n", "[2DAList]\r\nTable0=a.2da\r\n");
  std::vector<std::pair<int, int>> reports;
  p.OnProgress = [&](std::int32_t position, std::int32_t maximum) { reports.emplace_back(position, maximum); };
  p.CountWorkItems();
  p.AdvanceProgress(1);
  p.AdvanceProgress(1);
  p.AdvanceProgress(1);
  EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {3, 1}}));
  const std::string excess = " [Debug] \tDEBUG: ProgressCount is larger than ProgressMax! Uh oh...";
  EXPECT_EQ(plain.lines, (Lines{excess, excess}));
  EXPECT_EQ(p.ProgressCount(), 3);
}

TEST_F(PatcherTest, WorkCountCoversEveryListAndTheInstallFolders) {
  TVEYPatcher& p = Make("",
                        "[TLKList]\r\nStrRef0=0\r\nStrRef1=1\r\n"
                        "[InstallList]\r\ninstall_folder0=override\r\ninstall_folder1=modules\r\n"
                        "install_folder2=empty\r\n"
                        "[install_folder0]\r\nFile0=a.utc\r\nFile1=b.utc\r\n"
                        "[install_folder1]\r\nFile0=x.mod\r\nReplace0=y.mod\r\nFile1=z.mod\r\n"
                        "[2DAList]\r\nTable0=a.2da\r\nTable1=b.2da\r\nTable2=c.2da\r\n"
                        "[GFFList]\r\nFile0=a.utc\r\nFile1=b.dlg\r\n"
                        "[HACKList]\r\nFile0=k.ncs\r\n"
                        "[CompileList]\r\n"
                        "[SSFList]\r\nFile0=s.ssf\r\n");
  p.AdvanceProgress(1);
  p.CountWorkItems();
  EXPECT_EQ(p.ProgressCount(), 0);
  EXPECT_EQ(p.ProgressMax(), 1 + 2 + 3 + 3 + 2 + 1 + 0 + 1);

  TVEYPatcher& empty = Make("");
  empty.CountWorkItems();
  EXPECT_EQ(empty.ProgressMax(), 0);
}

}  // namespace
}  // namespace vey
