// ProgressBar: the run's progress as one line kept at the bottom of a
// terminal, below the scrolling log. Without a terminal it prints nothing.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace vey::cli {

// "[#########...........]  12/40  30%" in exactly width characters (at least
// 16); an unknown maximum (0 or less) shows an empty bar and the position alone.
std::string RenderProgress(std::int32_t position, std::int32_t maximum, int width);

class ProgressBar {
 public:
  // enabled: the output is a terminal. width: its number of columns.
  ProgressBar(std::ostream& out, bool enabled, int width = 80);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // OnProgress of the engine: redraws the bar when its text changes.
  void Update(std::int32_t position, std::int32_t maximum);
  // Around every log line: the bar is wiped so that the line takes its place,
  // then drawn again below it.
  void BeforeLine();
  void AfterLine();
  // Wipes the bar for good (the run is over).
  void Finish();
  // A line kept above the bar (a mod list's "12/150 Community fixes"); empty: none.
  void SetHeading(std::string heading);

  // The columns of the terminal on this descriptor, or 80.
  static int TerminalWidth(int fd);

 private:
  void Draw();
  void Wipe();

  std::ostream& out_;
  bool enabled_;
  int width_;
  std::int32_t position_ = 0;
  std::int32_t maximum_ = 0;
  bool shown_ = false;
  bool started_ = false;
  std::string last_;
  std::string heading_;
  bool headingShown_ = false;
};

}  // namespace vey::cli
