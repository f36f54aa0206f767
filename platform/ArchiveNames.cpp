// ArchiveNames: entry names and link targets of mod archives checked.
#include "platform/ArchiveNames.h"

#include <cstdio>

namespace vey::platform {
namespace {

bool HasControl(std::string_view name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool HasDriveLetter(std::string_view name) {
  const unsigned char c = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
  return name.size() >= 2 && name[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

std::vector<std::string> Components(std::string_view name) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : name) {
    if (IsSeparator(c)) {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

}  // namespace

std::string NameRefusal(std::string_view name) {
  if (name.empty()) return "it has no name";
  if (HasControl(name)) return "its name holds a control character";
  if (IsSeparator(name[0])) return "its name is absolute";
  if (HasDriveLetter(name)) return "its name starts with a drive letter";
  for (const auto& part : Components(name))
    if (part == "..") return "its name climbs out with \"..\"";
  return {};
}

std::optional<std::vector<std::string>> SplitEntryName(std::string_view name) {
  if (!NameRefusal(name).empty()) return std::nullopt;
  return Components(name);
}

std::string PrintableName(std::string_view name) {
  std::string text;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

bool LinkStaysInside(const std::vector<std::string>& entry, std::string_view target) {
  if (target.empty() || HasControl(target) || IsSeparator(target[0]) || HasDriveLetter(target)) return false;
  // The link's own folder, then its target's leading ".." taken off it.
  std::vector<std::string> at(entry.begin(), entry.end() - (entry.empty() ? 0 : 1));
  bool leading = true;
  for (const auto& part : Components(target)) {
    if (part != "..") {
      leading = false;
      continue;
    }
    if (!leading || at.empty()) return false;
    at.pop_back();
  }
  return true;
}

}  // namespace vey::platform
