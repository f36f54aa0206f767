// LogViews: log views without a window. RichTextLog keeps coloured lines and
// writes them as an RTF document; PlainTextLog keeps lines and writes UTF-8
// text; the Tee views hand each appended line to a callback (the command line
// prints it as it arrives) and pass every call on to another view.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace vey::platform {

class RichTextLog : public IRichLogView {
 public:
  struct Line {
    std::string text;  // Windows-1252
    TextAttributes attributes;
    bool operator==(const Line&) const = default;
  };

  void Clear() override { lines_.clear(); }
  void SetWordWrap(bool on) override { wordWrap_ = on; }
  void SetAttributes(const TextAttributes& attributes) override { attributes_ = attributes; }
  void AppendLine(std::string_view text) override;

  const std::vector<Line>& Lines() const { return lines_; }
  bool WordWrap() const { return wordWrap_; }

  // An RTF document (code page 1252) that word processors open: one paragraph
  // per line with its colour, font, size and weight.
  std::string ToRtf() const;
  // Replaces path in one rename (EFCreateError when it cannot be written).
  void SaveToFile(const std::filesystem::path& path) const;

 private:
  std::vector<Line> lines_;
  TextAttributes attributes_;
  bool wordWrap_ = true;
};

class PlainTextLog : public IPlainLogView {
 public:
  void Clear() override { lines_.clear(); }
  void AppendLine(std::string_view text) override { lines_.emplace_back(text); }

  const std::vector<std::string>& Lines() const { return lines_; }  // Windows-1252

  // The lines as UTF-8, each ended by a line feed (the Linux convention; every
  // current editor, Windows ones included, reads it).
  std::string ToText() const;
  void SaveToFile(const std::filesystem::path& path) const;

 private:
  std::vector<std::string> lines_;
};

// Passes every call on to inner (when given) and reports each appended line
// with the attributes in force, so a terminal can show its colour.
class TeeRichLog : public IRichLogView {
 public:
  using LineHandler = std::function<void(std::string_view text, const TextAttributes& attributes)>;
  TeeRichLog(IRichLogView* inner, LineHandler onLine)
      : inner_(inner), onLine_(std::move(onLine)) {}

  void Clear() override;
  void SetWordWrap(bool on) override;
  void SetAttributes(const TextAttributes& attributes) override;
  void AppendLine(std::string_view text) override;

 private:
  IRichLogView* inner_;
  LineHandler onLine_;
  TextAttributes attributes_;
};

class TeePlainLog : public IPlainLogView {
 public:
  using LineHandler = std::function<void(std::string_view text)>;
  TeePlainLog(IPlainLogView* inner, LineHandler onLine)
      : inner_(inner), onLine_(std::move(onLine)) {}

  void Clear() override;
  void AppendLine(std::string_view text) override;

 private:
  IPlainLogView* inner_;
  LineHandler onLine_;
};

// Message text (Windows-1252 with marked paths) as UTF-8 for a terminal.
// Control characters other than tab and line feed become '?', so text from a
// mod's files cannot move the cursor or send escape sequences to the terminal.
std::string TerminalText(std::string_view text);

// One log line for a terminal: UTF-8, with its colour (the nearest of the
// terminal's basic colours) and weight as escape sequences when colour is
// wanted, without a line end.
std::string TerminalLine(std::string_view text, const TextAttributes& attributes, bool colour);

}  // namespace vey::platform
