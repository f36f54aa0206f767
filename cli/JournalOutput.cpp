// JournalOutput: helpers of the history, verify, reset and report commands.
#include "cli/JournalOutput.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/CliCommon.h"

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

}  // namespace vey::cli
