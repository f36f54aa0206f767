// Headless: the platform for the command line. Messages go to standard error,
// questions are answered by a preset answer or on a terminal, the file-open
// dialog by answers given up front, and nothing waits for a person who is not
// there.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace vey::platform {

// Where a headless object talks to a person: out for what it shows, in for
// answers, and whether in is a terminal someone can type on.
struct Console {
  std::ostream* out;
  std::istream* in;
  bool interactive;
  // Standard error and standard input; interactive when standard input is a terminal.
  static Console Standard();
};

// True when text begins with a word that already says it is a warning or an
// error ("WARNING!", "Error!", "An error occured!", ...), letter case aside.
bool SaysItsKind(std::string_view text);

class HeadlessMessageBoxes : public IMessageBoxes {
 public:
  // presetAnswer answers every question without asking (the command line's --yes).
  explicit HeadlessMessageBoxes(Console console, std::optional<bool> presetAnswer = std::nullopt)
      : console_(console), preset_(presetAnswer) {}

  // "Warning: " and the text, or the text alone when it says its kind itself.
  void ShowWarning(std::string_view text) override;
  void ShowInfo(std::string_view text) override;
  // Without a preset answer: asks on the terminal; with no terminal (or at the
  // end of input) the answer is No, so nothing starts unconfirmed.
  bool AskYesNo(std::string_view text) override;

 private:
  Console console_;
  std::optional<bool> preset_;
};

// Answers the file-open dialog from NAME=PATH pairs: NAME is matched without
// regard to letter case against the file name the caller put in FileName (or
// its last component). No answer means cancel. Execute() leaves FileName
// holding the answer's path as a file system path, made absolute.
class HeadlessOpenDialog : public IOpenDialog {
 public:
  explicit HeadlessOpenDialog(std::ostream* notes = nullptr) : notes_(notes) {}

  // name is command-line text (UTF-8); it is compared as Windows-1252.
  void AddAnswer(std::string_view name, std::string path);
  // "NAME=PATH", split at the first '='; false when there is no '=' or NAME
  // or PATH is empty.
  bool AddAnswer(std::string_view nameEqualsPath);

  bool Execute() override;

  // The file names the dialog was shown for without an answer, in order.
  const std::vector<std::string>& Unanswered() const { return unanswered_; }

 private:
  std::ostream* notes_;
  std::vector<std::pair<std::string, std::string>> answers_;  // folded name, path
  std::vector<std::string> unanswered_;
};

// Asks for a folder on the terminal; without one (or on an empty answer) the
// choice is cancelled and the result empty.
class HeadlessFolderChooser : public IFolderChooser {
 public:
  explicit HeadlessFolderChooser(Console console) : console_(console) {}
  std::string BrowseForFolder(std::string_view title, unsigned flags) override;

 private:
  Console console_;
};

// A game folder given up front stands in for the folder chooser; the engine
// checks it like a chosen folder.
class GivenFolder : public IFolderChooser {
 public:
  explicit GivenFolder(std::string folder) : folder_(std::move(folder)) {}
  std::string BrowseForFolder(std::string_view, unsigned) override { return folder_; }

 private:
  std::string folder_;
};

// With a given game folder nothing is looked up in the registry.
class EmptyRegistry : public IRegistry {
 public:
  std::string ReadString(std::string_view, std::string_view) override { return {}; }
};

class HeadlessEventPump : public IEventPump {
 public:
  void ProcessMessages() override {}
};

}  // namespace vey::platform
