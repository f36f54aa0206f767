// Platform: what the engine and the front ends need from the desktop (dialogs,
// registry, event processing, log views). The command line implements these in
// platform/Headless*, the desktop window in app/, tests with fakes.
// All text crossing these interfaces is Windows-1252; implementations convert
// to UTF-8 where a person reads it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vey::platform {

// Modal message boxes.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  virtual void ShowWarning(std::string_view text) = 0;
  virtual void ShowInfo(std::string_view text) = 0;
  // True when the answer is Yes.
  virtual bool AskYesNo(std::string_view text) = 0;
  // A question with its own answers, each a button; the index of the one
  // taken, -1 for Cancel. Where there are no such buttons the first answer
  // is asked as a yes-or-no question.
  virtual int AskChoice(std::string_view text, const std::vector<std::string>& choices) {
    if (choices.empty()) return -1;
    return AskYesNo(std::string(text) + "\n\n" + choices.front() + "?") ? 0 : -1;
  }
};

// The file-open dialog. Callers set the public fields, call Execute(), and on
// true read FileName, which then holds the full path of the chosen file.
class IOpenDialog {
 public:
  virtual ~IOpenDialog() = default;
  std::string FileName;
  std::string DefaultExt;
  std::string Filter;  // "description|pattern" pairs joined by '|'
  std::string Title;
  virtual bool Execute() = 0;
};

// The folder chooser: the chosen folder, or empty when cancelled.
class IFolderChooser {
 public:
  virtual ~IFolderChooser() = default;
  virtual std::string BrowseForFolder(std::string_view title, unsigned flags) = 0;
};

// A string value under HKEY_LOCAL_MACHINE; empty when the key or value is missing.
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual std::string ReadString(std::string_view key, std::string_view name) = 0;
};

// Lets the window repaint and react during a long run.
class IEventPump {
 public:
  virtual ~IEventPump() = default;
  virtual void ProcessMessages() = 0;
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// Attributes of the next appended rich-text line.
struct TextAttributes {
  Rgb color;
  bool bold = false;
  std::string fontName = "Courier New";
  int sizePoints = 8;
  bool operator==(const TextAttributes&) const = default;
};

// The rich-text log pane: paragraphs are left-aligned, unnumbered, not indented.
class IRichLogView {
 public:
  virtual ~IRichLogView() = default;
  virtual void Clear() = 0;
  virtual void SetWordWrap(bool on) = 0;
  virtual void SetAttributes(const TextAttributes& attributes) = 0;
  virtual void AppendLine(std::string_view text) = 0;
};

// The plain-text log pane.
class IPlainLogView {
 public:
  virtual ~IPlainLogView() = default;
  virtual void Clear() = 0;
  virtual void AppendLine(std::string_view text) = 0;
};

}  // namespace vey::platform
