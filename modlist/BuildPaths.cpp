// BuildPaths: placeholders, containment and wildcards of build-file paths.
#include "modlist/BuildPaths.h"

#include "modlist/BuildFile.h"
#include "platform/RunRecords.h"

namespace vey::modlist {
namespace {

constexpr std::string_view kDownloads = "<<modDirectory>>";
constexpr std::string_view kGame = "<<gameDirectory>>";
constexpr std::string_view kJournal = platform::journal::kHomeName;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool BuildPath::HasWildcard() const {
  for (const std::string& p : parts)
    if (p.find_first_of("*?") != std::string::npos) return true;
  return false;
}

std::optional<BuildPath> ParseBuildPath(std::string_view text, std::string& problem) {
  BuildPath path;
  std::string_view rest;
  if (StartsWithNoCase(text, kDownloads)) {
    path.root = PathRoot::Downloads;
    rest = text.substr(kDownloads.size());
  } else if (StartsWithNoCase(text, kGame)) {
    path.root = PathRoot::Game;
    rest = text.substr(kGame.size());
  } else {
    problem = "\"" + std::string(text) + "\" starts with neither " + std::string(kDownloads) + " nor " +
              std::string(kGame) + "; absolute and bare paths are refused";
    return std::nullopt;
  }
  if (!rest.empty() && rest.front() != '\\' && rest.front() != '/') {
    problem = "\"" + std::string(text) + "\": a separator must follow the placeholder";
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      problem = "\"" + std::string(text) + "\" climbs out of its folder with \"..\"";
      return std::nullopt;
    }
    for (char c : part)
      if (static_cast<unsigned char>(c) < 0x20 || c == ':' || c == 0x7f) {
        problem = "\"" + std::string(text) + "\" holds a drive letter or a control character";
        return std::nullopt;
      }
    path.parts.emplace_back(part);
  }
  if (path.root == PathRoot::Game && !path.parts.empty() && SameName(path.parts.front(), kJournal)) {
    // Wildcards never reach it either: matching leaves the journal out.
    problem = "\"" + std::string(text) + "\" is aimed at the installer's journal folder " + std::string(kJournal);
    return std::nullopt;
  }
  return path;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // The classic two-pointer match: on a mismatch, let the last `*` take one
  // more character. Linear in practice, never exponential.
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || FoldChar(pattern[p]) == FoldChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string WithoutExtension(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(fileName);
  return std::string(fileName.substr(0, dot));
}

}  // namespace vey::modlist
