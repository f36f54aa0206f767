// LogRelay: log entries and progress handed from the worker to the window.
#include "app/LogRelay.h"

#include "app/QtText.h"

namespace vey::app {

void LogRelay::Push(LogEntry entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
  pushed_.fetch_add(1, std::memory_order_relaxed);
}

std::vector<LogEntry> LogRelay::Take() {
  std::vector<LogEntry> taken;
  std::lock_guard lock(mutex_);
  taken.swap(entries_);
  return taken;
}

void LogRelay::SetProgress(int position, int maximum) {
  progress_.store((static_cast<long long>(position) << 32) | static_cast<unsigned>(maximum));
}

bool LogRelay::TakeProgress(int& position, int& maximum) {
  const long long now = progress_.load();
  if (now == -1 || now == shownProgress_) return false;
  shownProgress_ = now;
  position = static_cast<int>(now >> 32);
  maximum = static_cast<int>(now & 0xffffffffLL);
  return true;
}

void LogRelay::SetGameFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  gameFolder_ = std::move(folder);
}

std::optional<std::string> LogRelay::TakeGameFolder() {
  std::lock_guard lock(mutex_);
  std::optional<std::string> folder;
  folder.swap(gameFolder_);
  return folder;
}

void RelayRichLog::Clear() {
  kept_.Clear();
  LogEntry entry;
  entry.clear = true;
  relay_.Push(std::move(entry));
}

void RelayRichLog::SetAttributes(const platform::TextAttributes& attributes) {
  attributes_ = attributes;
  kept_.SetAttributes(attributes);
}

void RelayRichLog::AppendLine(std::string_view text) {
  kept_.AppendLine(text);
  relay_.Push({.plain = false, .clear = false, .text = FromWin1252(text), .attributes = attributes_});
  if (afterLine) afterLine(static_cast<int>(kept_.Lines().size()));
}

void RelayPlainLog::Clear() {
  kept_.Clear();
  LogEntry entry;
  entry.plain = true;
  entry.clear = true;
  relay_.Push(std::move(entry));
}

void RelayPlainLog::AppendLine(std::string_view text) {
  kept_.AppendLine(text);
  LogEntry entry;
  entry.plain = true;
  entry.text = FromWin1252(text);
  relay_.Push(std::move(entry));
  if (afterLine) afterLine(static_cast<int>(kept_.Lines().size()));
}

}  // namespace vey::app
