// Headless: message boxes, dialogs and the event pump of the command line.
#include "platform/Headless.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "common/Win1252.h"
#include "platform/LogViews.h"

namespace vey::platform {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view LastComponent(std::string_view path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

Console Console::Standard() { return Console{&std::cerr, &std::cin, ::isatty(STDIN_FILENO) == 1}; }

bool SaysItsKind(std::string_view text) {
  for (std::string_view lead : {"warning", "error", "an error occured", "an unhandled error", "critical error"})
    if (StartsWithNoCase(text, lead)) return true;
  return false;
}

void HeadlessMessageBoxes::ShowWarning(std::string_view text) {
  // A text that opens with its own alarm word is not given a second one.
  if (!SaysItsKind(text)) *console_.out << "Warning: ";
  *console_.out << TerminalText(text) << '\n' << std::flush;
}

void HeadlessMessageBoxes::ShowInfo(std::string_view text) {
  *console_.out << TerminalText(text) << '\n' << std::flush;
}

bool HeadlessMessageBoxes::AskYesNo(std::string_view text) {
  std::ostream& out = *console_.out;
  out << TerminalText(text) << '\n';
  if (preset_) {
    out << (*preset_ ? "Answered Yes." : "Answered No.") << '\n' << std::flush;
    return *preset_;
  }
  if (!console_.interactive) {
    out << "No terminal to ask on: answered No." << '\n' << std::flush;
    return false;
  }
  std::string line;
  while (true) {
    out << "[y/N] " << std::flush;
    if (!std::getline(*console_.in, line)) {
      out << '\n' << std::flush;
      return false;
    }
    std::string answer = AsciiLowerCopy(Trim(line));
    if (answer == "y" || answer == "yes") return true;
    if (answer.empty() || answer == "n" || answer == "no") return false;
  }
}

void HeadlessOpenDialog::AddAnswer(std::string_view name, std::string path) {
  answers_.emplace_back(AsciiLowerCopy(Utf8ToWin1252(name)), std::move(path));
}

bool HeadlessOpenDialog::AddAnswer(std::string_view nameEqualsPath) {
  std::size_t eq = nameEqualsPath.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == nameEqualsPath.size()) return false;
  AddAnswer(nameEqualsPath.substr(0, eq), std::string(nameEqualsPath.substr(eq + 1)));
  return true;
}

bool HeadlessOpenDialog::Execute() {
  std::string whole = AsciiLowerCopy(FileName);
  std::string last = AsciiLowerCopy(LastComponent(FileName));
  // A later answer for the same name replaces an earlier one, as on a command line.
  const std::string* found = nullptr;
  for (const auto& [name, path] : answers_)
    if (name == whole) found = &path;
  if (!found && last != whole)
    for (const auto& [name, path] : answers_)
      if (name == last) found = &path;
  if (!found || FileName.empty()) {
    unanswered_.push_back(FileName);
    if (notes_)
      *notes_ << "No file given for \"" << TerminalText(FileName) << "\" (" << TerminalText(Title)
              << "); answer it with --pick NAME=PATH. The choice is cancelled." << '\n'
              << std::flush;
    return false;
  }
  FileName = std::filesystem::absolute(*found).string();
  return true;
}

std::string HeadlessFolderChooser::BrowseForFolder(std::string_view title, unsigned /*flags*/) {
  std::ostream& out = *console_.out;
  out << TerminalText(title) << '\n';
  if (!console_.interactive) {
    out << "No terminal to ask on: no folder chosen (give it with --game DIR)." << '\n' << std::flush;
    return {};
  }
  out << "Folder: " << std::flush;
  std::string line;
  if (!std::getline(*console_.in, line)) {
    out << '\n' << std::flush;
    return {};
  }
  std::string_view answer = Trim(line);
  // Paths pasted from a file manager often come quoted.
  if (answer.size() >= 2 && (answer.front() == '\'' || answer.front() == '"') &&
      answer.back() == answer.front())
    answer = answer.substr(1, answer.size() - 2);
  if (answer == "~" || answer.starts_with("~/")) {
    if (const char* home = std::getenv("HOME"); home && *home)
      return std::string(home) + std::string(answer.substr(1));
  }
  return std::string(answer);
}

}  // namespace vey::platform
