// ArchiveNames: entry names and link targets of mod archives checked.
#include "platform/ArchiveNames.h"

#include <cstdint>
#include <cstdio>

#include "common/TextEncoding.h"

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

// Code page 437's characters for the bytes 0x80 to 0xFF.
constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string ZipNameText(std::string_view raw) {
  if (IsAscii(raw) || LooksLikeUtf8(raw)) return std::string(raw);
  std::string text;
  for (unsigned char c : raw) AppendUtf8(text, c < 0x80 ? c : kCp437High[c - 0x80]);
  return text;
}

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
