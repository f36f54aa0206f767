// The terminal progress line: its exact text, and that log lines always take
// its place instead of mixing with it.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ProgressBar.h"

namespace vey::cli {
namespace {

TEST(RenderProgress, FillsTheBarInProportionAndKeepsTheWidth) {
  EXPECT_EQ(RenderProgress(0, 10, 40), "[.........]  0/10  0%                   ");
  EXPECT_EQ(RenderProgress(5, 10, 60), "[" + std::string(14, '#') + std::string(15, '.') + "]  5/10  50%" +
                                           std::string(18, ' '));
  EXPECT_EQ(RenderProgress(10, 10, 60), "[" + std::string(29, '#') + "]  10/10  100%" + std::string(16, ' '));
  for (int width : {16, 33, 80, 200})
    for (int pos : {0, 7, 40}) EXPECT_EQ(RenderProgress(pos, 40, width).size(), static_cast<std::size_t>(width));
}

TEST(RenderProgress, OutOfRangeAndUnknownMaximum) {
  // A position past the end (an extra step) shows a full bar, never more.
  EXPECT_EQ(RenderProgress(12, 10, 60), RenderProgress(10, 10, 60));
  EXPECT_EQ(RenderProgress(-3, 10, 60), RenderProgress(0, 10, 60));
  EXPECT_EQ(RenderProgress(7, 0, 40).substr(0, 15), "[.........]  7 ");
  // Numbers too wide for a narrow terminal are cut, the line never wraps.
  EXPECT_EQ(RenderProgress(2000000000, 2000000000, 16).size(), 16u);
}

TEST(ProgressBarOutput, LogLinesReplaceTheBarAndItComesBackBelow) {
  std::ostringstream out;
  {
    ProgressBar bar(out, true, 41);
    bar.BeforeLine();  // nothing drawn yet: nothing to wipe
    out << "first line\n";
    bar.AfterLine();
    bar.Update(1, 4);
    bar.Update(1, 4);  // unchanged: not drawn again
    bar.BeforeLine();
    out << "second line\n";
    bar.AfterLine();
  }
  const std::string barText = "[##.......]  1/4  25%";
  EXPECT_EQ(out.str(), "first line\n"
                       "\r\x1b[K" + barText +
                       "\r\x1b[K" "second line\n"
                       "\r\x1b[K" + barText +
                       "\r\x1b[K");
}

TEST(ProgressBarOutput, AHeadingStaysAboveTheBarAndGoesWithIt) {
  std::ostringstream out;
  {
    ProgressBar bar(out, true, 41);
    bar.Update(3, 4);
    bar.SetHeading("2/150 Community fixes");  // the bar starts over below it
    bar.BeforeLine();
    out << "log\n";
    bar.AfterLine();
  }
  const auto trimmed = [](std::string text) { return text.erase(text.find_last_not_of(' ') + 1); };
  const std::string drawn = "\r\x1b[K2/150 Community fixes\n" + trimmed(RenderProgress(0, 0, 40));
  // Both lines are wiped: the bar's, then, one line up, the heading's.
  const std::string wiped = "\r\x1b[K\x1b[A\r\x1b[K";
  EXPECT_EQ(out.str(), "\r\x1b[K" + trimmed(RenderProgress(3, 4, 40)) + "\r\x1b[K" + drawn + wiped + "log\n" + drawn + wiped);
}

TEST(ProgressBarOutput, WithoutATerminalNothingButTheLog) {
  std::ostringstream out;
  ProgressBar bar(out, false);
  bar.Update(3, 9);
  bar.BeforeLine();
  out << "line\n";
  bar.AfterLine();
  bar.Finish();
  EXPECT_EQ(out.str(), "line\n");
}

}  // namespace
}  // namespace vey::cli
