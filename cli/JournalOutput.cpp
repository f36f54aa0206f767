// JournalOutput: helpers of the history, verify, reset and report commands.
#include "cli/JournalOutput.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/CliCommon.h"
#include "engine/run/URunHistory.h"
#include "platform/LogViews.h"

namespace vey::cli {

std::string GameFolder(const std::string& given) {
  std::error_code ec;
  std::filesystem::path game = std::filesystem::absolute(given, ec);
  if (!std::filesystem::is_directory(game, ec)) throw UsageError("--game: \"" + given + "\" is not a folder");
  return game.lexically_normal().string();
}

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string ModName(const std::string& folder) {
  std::filesystem::path p(folder);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

bool WriteResultFile(const std::string& destination, const std::string& text) {
  if (destination == "-") {
    std::cout << text << std::flush;
    return true;
  }
  std::ofstream out(destination, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "Cannot write the file \"" << destination << "\".\n";
    return false;
  }
  return true;
}

void RecoverFirst(TRunHistory& history) {
  for (const TRecoveredUndo& undo : history.RecoverUndo())
    std::cout << "An uninstallation that was cut short (" << platform::TerminalText(undo.name) << ") was "
              << (undo.completed ? "completed first.\n" : "reversed first.\n");
  for (const std::string& recovered : history.RecoverUnfinished())
    std::cout << "The unfinished run " << platform::TerminalText(recovered) << " was rolled back first.\n";
  if (!history.ReversedReplay().empty())
    std::cout << "Taking run " << platform::TerminalText(history.ReversedReplay())
              << " out with --replay was cut short; it was reversed first: the game and its history are as they "
                 "were before it.\n";
}

}  // namespace vey::cli
