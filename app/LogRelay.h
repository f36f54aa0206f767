// LogRelay: the engine's log and progress on their way from the worker thread
// to the window. The worker's views append entries under a lock (and keep the
// lines for the saved log); the window takes what has gathered a few dozen
// milliseconds at a time and shows it in one batch.
#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/LogViews.h"
#include "platform/Platform.h"

namespace vey::app {

struct LogEntry {
  bool plain = false;  // the plain view's line, else the rich view's
  bool clear = false;  // the view is cleared (the run's first line follows)
  QString text;
  platform::TextAttributes attributes;
};

class LogRelay {
 public:
  void Push(LogEntry entry);
  // Everything gathered since the last call, oldest first.
  std::vector<LogEntry> Take();

  void SetProgress(int position, int maximum);
  // True (and the values) when the progress changed since the last call.
  bool TakeProgress(int& position, int& maximum);

  void SetGameFolder(std::string folder);
  std::optional<std::string> TakeGameFolder();

  int LinesPushed() const { return pushed_.load(); }

 private:
  std::mutex mutex_;
  std::vector<LogEntry> entries_;
  std::optional<std::string> gameFolder_;
  std::atomic<int> pushed_{0};
  std::atomic<long long> progress_{-1};  // position << 32 | maximum
  long long shownProgress_ = -1;
};

// The rich view as the worker's engine sees it: each call goes to the kept log
// (saved as RTF after the run) and to the relay. afterLine runs after each
// appended line, on the worker (the screenshot pause uses it).
class RelayRichLog : public platform::IRichLogView {
 public:
  RelayRichLog(LogRelay& relay, platform::RichTextLog& kept) : relay_(relay), kept_(kept) {}
  void Clear() override;
  void SetWordWrap(bool on) override { kept_.SetWordWrap(on); }
  void SetAttributes(const platform::TextAttributes& attributes) override;
  void AppendLine(std::string_view text) override;
  std::function<void(int lineNumber)> afterLine;

 private:
  LogRelay& relay_;
  platform::RichTextLog& kept_;
  platform::TextAttributes attributes_;
};

class RelayPlainLog : public platform::IPlainLogView {
 public:
  RelayPlainLog(LogRelay& relay, platform::PlainTextLog& kept) : relay_(relay), kept_(kept) {}
  void Clear() override;
  void AppendLine(std::string_view text) override;
  std::function<void(int lineNumber)> afterLine;

 private:
  LogRelay& relay_;
  platform::PlainTextLog& kept_;
};

}  // namespace vey::app
