// SmallArchive: archive fixtures built byte by byte, read back through the
// archive handler.
#include "support/SmallArchive.h"

#include "formats/UERFHandler.h"
#include "support/TestSupport.h"

namespace vey::test {

std::vector<std::uint8_t> MakeArchive(const std::vector<StoredResource>& entries,
                                      std::string_view fileType) {
  const auto n = static_cast<std::uint32_t>(entries.size());
  Bytes b;
  std::uint32_t offset = 0;
  if (fileType == "RIM ") {
    b.Ascii("RIM V1.0").U32(0).U32(n).U32(120).Zeros(100);
    offset = 120 + 32 * n;
    for (std::uint32_t i = 0; i < n; ++i) {
      const auto type =
          static_cast<std::uint16_t>(TERF_Resource::ExtensionToType(entries[i].extension));
      const auto size = static_cast<std::uint32_t>(entries[i].data.size());
      b.Fixed(entries[i].name, 16)
          .U16(type)
          .U16(0)
          .U16(static_cast<std::uint16_t>(i))
          .U16(0)
          .U32(offset)
          .U32(size);
      offset += size;
    }
  } else {
    const std::uint32_t keys = 160, list = keys + 24 * n;
    b.Ascii(fileType)
        .Ascii("V1.0")
        .U32(0)
        .U32(0)
        .U32(n)
        .U32(160)
        .U32(keys)
        .U32(list)
        .U32(126)
        .U32(1)
        .U32(0xFFFFFFFFu)
        .Zeros(116);
    for (std::uint32_t i = 0; i < n; ++i) {
      const auto type =
          static_cast<std::uint16_t>(TERF_Resource::ExtensionToType(entries[i].extension));
      b.Fixed(entries[i].name, 16).U32(i).U16(type).U16(0);
    }
    offset = list + 8 * n;
    for (const auto& e : entries) {
      b.U32(offset).U32(static_cast<std::uint32_t>(e.data.size()));
      offset += static_cast<std::uint32_t>(e.data.size());
    }
  }
  for (const auto& e : entries) b.Ascii(e.data);
  return b;
}

std::map<std::string, std::string> ArchiveContents(const std::filesystem::path& path) {
  TERFHandler archive(path);
  TempDir scratch;
  std::map<std::string, std::string> contents;
  for (const auto& r : archive.Resources()) {
    const std::string name = r->ResRef.Name();
    archive.ExtractResource(name, r->ResType, scratch / "resource");
    contents[name + "." + TERF_Resource::TypeToExtension(r->ResType)] = scratch.Read("resource");
  }
  return contents;
}

}  // namespace vey::test
