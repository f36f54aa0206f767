// FakePlatform: recording log views, a counting event pump and scripted
// dialogs, registry and message boxes for engine and platform tests.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/GameFileSystem.h"
#include "platform/Platform.h"

namespace vey::test {

// Every appended line with the attributes and word-wrap state in force then.
class RecordingRichLogView : public platform::IRichLogView {
 public:
  struct Line {
    std::string text;
    platform::TextAttributes attributes;
    bool wordWrap = true;
  };
  void Clear() override {
    ++clears;
    lines.clear();
  }
  void SetWordWrap(bool on) override { wordWrap = on; }
  void SetAttributes(const platform::TextAttributes& a) override { attributes = a; }
  void AppendLine(std::string_view text) override { lines.push_back({std::string(text), attributes, wordWrap}); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
  }

  std::vector<Line> lines;
  int clears = 0;
  platform::TextAttributes attributes;
  bool wordWrap = true;
};

class RecordingPlainLogView : public platform::IPlainLogView {
 public:
  void Clear() override {
    ++clears;
    lines.clear();
  }
  void AppendLine(std::string_view text) override { lines.emplace_back(text); }

  std::vector<std::string> lines;
  int clears = 0;
};

// Counts calls; onProcess (when set) runs inside each, for tests that act
// "while the window processes events".
class CountingEventPump : public platform::IEventPump {
 public:
  void ProcessMessages() override {
    ++count;
    if (onProcess) onProcess();
  }
  int count = 0;
  std::function<void()> onProcess;
};

// Answers Execute() from a queue: a path chooses that file, nullopt cancels;
// an empty queue cancels. Records the dialog's fields at every call.
class ScriptedOpenDialog : public platform::IOpenDialog {
 public:
  struct Request {
    std::string fileName, defaultExt, filter, title;
  };
  bool Execute() override {
    requests.push_back({FileName, DefaultExt, Filter, Title});
    if (answers.empty()) return false;
    auto answer = std::move(answers.front());
    answers.pop_front();
    if (!answer) return false;
    FileName = *answer;
    return true;
  }
  std::deque<std::optional<std::string>> answers;
  std::vector<Request> requests;
};

// Answers from a queue; an empty queue (or an empty answer) cancels.
class ScriptedFolderChooser : public platform::IFolderChooser {
 public:
  std::string BrowseForFolder(std::string_view title, unsigned flags) override {
    requests.emplace_back(std::string(title), flags);
    if (answers.empty()) return {};
    std::string answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
  std::vector<std::pair<std::string, unsigned>> requests;
};

// Values by key and name, both matched without regard to letter case as the
// registry does; records every read.
class ScriptedRegistry : public platform::IRegistry {
 public:
  struct Value {
    std::string key, name, data;
  };
  std::string ReadString(std::string_view key, std::string_view name) override {
    reads.emplace_back(std::string(key), std::string(name));
    for (const auto& v : values)
      if (EqualsNoCase(v.key, key) && EqualsNoCase(v.name, name)) return v.data;
    return {};
  }
  std::vector<Value> values;
  std::vector<std::pair<std::string, std::string>> reads;
};

// Records every box; yes/no questions take answers from a queue, then defaultAnswer.
class ScriptedMessageBoxes : public platform::IMessageBoxes {
 public:
  enum class Kind { Warning, Info, Question };
  struct Shown {
    Kind kind;
    std::string text;
  };
  void ShowWarning(std::string_view text) override { shown.push_back({Kind::Warning, std::string(text)}); }
  void ShowInfo(std::string_view text) override { shown.push_back({Kind::Info, std::string(text)}); }
  bool AskYesNo(std::string_view text) override {
    shown.push_back({Kind::Question, std::string(text)});
    if (answers.empty()) return defaultAnswer;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<bool> answers;
  bool defaultAnswer = false;
  std::vector<Shown> shown;
};

// One of each fake plus a real game-folder file system, bundled for an engine.
struct FakePlatform {
  ScriptedOpenDialog openDialog;
  ScriptedFolderChooser folderChooser;
  ScriptedRegistry registry;
  CountingEventPump events;
  ScriptedMessageBoxes messages;
  platform::GameFileSystem files;

  PatcherPlatform Bundle() { return PatcherPlatform{openDialog, folderChooser, registry, events, messages, files}; }
};

}  // namespace vey::test
