// TalkTableBytes: builds "TLK " "V3.0" files for the engine and command-line
// tests, and reads the texts of one back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vey::test {

struct TalkEntry {
  TalkEntry(std::string t, std::uint32_t f = 0, std::string s = "", float length = 0.0f, std::uint32_t volume = 0,
            std::uint32_t pitch = 0)
      : text(std::move(t)), flags(f), sound(std::move(s)), soundLength(length), volumeVariance(volume),
        pitchVariance(pitch) {}
  std::string text;
  std::uint32_t flags = 0;
  std::string sound;  // up to 16 bytes, NUL-padded
  float soundLength = 0.0f;
  std::uint32_t volumeVariance = 0;
  std::uint32_t pitchVariance = 0;
};

// Texts follow the entry table in entry order.
std::vector<std::uint8_t> TalkTable(const std::vector<TalkEntry>& entries);
std::vector<std::uint8_t> TalkTable(const std::vector<std::string>& texts);
// The texts of a talk table's entries in order.
std::vector<std::string> TalkTexts(const std::vector<std::uint8_t>& bytes);

}  // namespace vey::test
