// ProgressBar: drawing and wiping the bottom progress line with carriage
// returns and the erase-line sequence, which every terminal understands.
#include "cli/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>

namespace vey::cli {

namespace {

constexpr const char* kWipe = "\r\x1b[K";

}  // namespace

std::string RenderProgress(std::int32_t position, std::int32_t maximum, int width) {
  width = std::max(width, 16);
  std::string numbers;
  std::int64_t filled = 0;
  const int reserve = 2 + 2 * 11 + 1 + 2 + 4;  // "  pos/max  100%" with room for 10-digit numbers
  int barWidth = std::max(4, std::min(width - reserve, 60));
  if (maximum > 0) {
    const std::int64_t shown = std::clamp<std::int64_t>(position, 0, maximum);
    filled = shown * barWidth / maximum;
    numbers = "  " + std::to_string(shown) + "/" + std::to_string(maximum) + "  " +
              std::to_string(shown * 100 / maximum) + "%";
  } else {
    numbers = "  " + std::to_string(std::max<std::int32_t>(position, 0));
  }
  // Narrow terminals shrink the bar, never wrap the line.
  barWidth = std::max(1, std::min<int>(barWidth, width - 2 - static_cast<int>(numbers.size())));
  filled = std::min<std::int64_t>(filled, barWidth);
  std::string line(1, '[');
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(barWidth - filled), '.');
  line += ']';
  line += numbers;
  if (static_cast<int>(line.size()) > width) line.resize(width);
  line.resize(width, ' ');
  return line;
}

ProgressBar::ProgressBar(std::ostream& out, bool enabled, int width) : out_(out), enabled_(enabled), width_(width) {}

ProgressBar::~ProgressBar() { Finish(); }

int ProgressBar::TerminalWidth(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void ProgressBar::Update(std::int32_t position, std::int32_t maximum) {
  position_ = position;
  maximum_ = maximum;
  started_ = true;
  Draw();
}

void ProgressBar::BeforeLine() { Wipe(); }

void ProgressBar::AfterLine() {
  if (started_) Draw();
}

void ProgressBar::Finish() {
  Wipe();
  started_ = false;
}

void ProgressBar::SetHeading(std::string heading) {
  Wipe();
  heading_ = std::move(heading);
  position_ = maximum_ = 0;
  if (static_cast<int>(heading_.size()) > width_ - 1) heading_.resize(static_cast<std::size_t>(std::max(width_ - 1, 0)));
  started_ = true;
  Draw();
}

void ProgressBar::Draw() {
  if (!enabled_) return;
  // One column short of the width so that the cursor never wraps to a new line.
  std::string text = RenderProgress(position_, maximum_, width_ - 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (!heading_.empty()) text = heading_ + "\n" + text;
  if (shown_ && text == last_) return;
  if (headingShown_) Wipe();
  out_ << kWipe << text << std::flush;
  headingShown_ = !heading_.empty();
  last_ = std::move(text);
  shown_ = true;
}

void ProgressBar::Wipe() {
  if (!enabled_ || !shown_) return;
  out_ << kWipe;
  // The heading's line above the bar goes too.
  if (headingShown_) out_ << "\x1b[A" << kWipe;
  out_ << std::flush;
  shown_ = false;
  headingShown_ = false;
}

}  // namespace vey::cli
