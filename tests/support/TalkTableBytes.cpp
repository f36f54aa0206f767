// TalkTableBytes: talk-table fixtures laid out as the file format table reads.
#include "TalkTableBytes.h"

#include "TestSupport.h"
#include "formats/UTLKFile.h"

namespace vey::test {

std::vector<std::uint8_t> TalkTable(const std::vector<TalkEntry>& entries) {
  const auto count = static_cast<std::uint32_t>(entries.size());
  Bytes b;
  b.Ascii("TLK ").Ascii("V3.0").U32(0).U32(count).U32(20 + 40 * count);
  std::uint32_t offset = 0;
  for (const TalkEntry& e : entries) {
    const auto size = static_cast<std::uint32_t>(e.text.size());
    b.U32(e.flags).Fixed(e.sound, 16).U32(e.volumeVariance).U32(e.pitchVariance).U32(size ? offset : 0).U32(size).F32(e.soundLength);
    offset += size;
  }
  for (const TalkEntry& e : entries) b.Ascii(e.text);
  return b.Build();
}

std::vector<std::uint8_t> TalkTable(const std::vector<std::string>& texts) {
  std::vector<TalkEntry> entries;
  for (const std::string& t : texts) entries.push_back({t});
  return TalkTable(entries);
}

std::vector<std::string> TalkTexts(const std::vector<std::uint8_t>& bytes) {
  TTLKFileHandler table;
  table.LoadFromBytes(bytes);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < table.Entries().Size(); ++i)
    texts.emplace_back(table.Entries()[i].Text());
  return texts;
}

}  // namespace vey::test
