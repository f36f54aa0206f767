// UERFHandler: the header and tables of a rebuilt archive, laid out in
// front of its data.
#include "common/ByteWriter.h"
#include "common/StrFormat.h"
#include "formats/UERFHandler.h"
#include "formats/UERFHandlerDetail.h"

namespace vey {

using namespace erf_detail;

// Header and tables of the rebuilt archive; sets each entry's data offset.
// Data follows the tables directly, in entry order, without gaps.
std::vector<std::uint8_t> TERFHandler::BuildTables(std::vector<OutputEntry>& entries) const {
  const std::uint64_t n = entries.size();
  auto [year, day] = BuildDate();
  ByteWriter w;
  std::uint64_t dataStart = 0;
  const auto* erf = ERFHeader();
  if (erf) {
    std::uint64_t stringBytes = 0;
    for (const auto& s : locStrings_) stringBytes += 8 + s.Text().size();
    const std::uint64_t keyList = TERF_ERFHeader::kSize + stringBytes;
    const std::uint64_t resourceList = keyList + kERFKeySize * n;
    dataStart = resourceList + kERFResourceSize * n;
    if (dataStart > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    w.Reserve(static_cast<std::size_t>(dataStart));
    w.FixedString(erf->FileType, 4);
    w.FixedString(erf->Version, 4);
    w.I32(static_cast<std::int32_t>(locStrings_.size()));
    w.U32(static_cast<std::uint32_t>(stringBytes));
    w.I32(static_cast<std::int32_t>(n));
    w.U32(TERF_ERFHeader::kSize);
    w.U32(static_cast<std::uint32_t>(keyList));
    w.U32(static_cast<std::uint32_t>(resourceList));
    w.U32(year);
    w.U32(day);
    w.U32(erf->DescriptionStrRef);
    w.Bytes(erf->Reserved);
    for (const auto& s : locStrings_) {
      w.I32(s.LanguageId);
      w.U32(static_cast<std::uint32_t>(s.Text().size()));
      w.Text(s.Text());
    }
  } else {
    const auto* rim = RIMHeader();
    dataStart = TERF_RIMHeader::kSize + kRIMKeySize * n;
    if (dataStart > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    w.Reserve(static_cast<std::size_t>(dataStart));
    w.FixedString(rim->FileType, 4);
    w.FixedString(rim->Version, 4);
    w.U32(rim->Unknown);
    w.I32(static_cast<std::int32_t>(n));
    w.U32(TERF_RIMHeader::kSize);
    w.Bytes(rim->Reserved);
  }

  std::uint64_t offset = dataStart;
  for (auto& e : entries) {
    if (offset > kMaxOffset || e.size > kMaxOffset)
      throw EERFError("Unable to save, the archive would exceed the format's 4 GB limit!", 18);
    e.offset = offset;
    offset += e.size;
  }
  std::uint32_t id = 0;
  for (const auto& e : entries) {
    const auto& name = e.resRef.Bytes();
    w.Text(std::string_view(name.data(), name.size()));
    if (erf) {
      w.U32(id);
      w.I16(e.type);
      w.U16(0);
    } else {
      // The id's high half is 0 for every archive below 65536 entries.
      w.I16(e.type);
      w.U16(0);
      w.U32(id);
      w.U32(static_cast<std::uint32_t>(e.offset));
      w.U32(static_cast<std::uint32_t>(e.size));
    }
    ++id;
  }
  if (erf) {
    for (const auto& e : entries) {
      w.U32(static_cast<std::uint32_t>(e.offset));
      w.U32(static_cast<std::uint32_t>(e.size));
    }
  }
  return w.Take();
}

}  // namespace vey
