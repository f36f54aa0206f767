// GameFiles: archive images laid out as the formats store them, and GFF
// documents built through the document model.
#include "support/GameFiles.h"


#include "common/FileIO.h"
#include "formats/UERFHandler.h"
#include "support/TestSupport.h"

namespace vey::test {

std::vector<std::uint8_t> MakeArchive(std::string_view fileType, const std::vector<ArchiveEntry>& entries) {
  const auto n = static_cast<std::uint32_t>(entries.size());
  auto split = [](const std::string& file) {
    auto dot = file.rfind('.');
    return std::pair{file.substr(0, dot), static_cast<std::uint16_t>(TERF_Resource::ExtensionToType(file.substr(dot + 1)))};
  };
  Bytes b;
  if (fileType == "RIM ") {
    b.Ascii("RIM V1.0").U32(0).I32(static_cast<std::int32_t>(n)).U32(120).Zeros(100);
    std::uint32_t offset = 120 + 32 * n;
    for (std::uint32_t i = 0; i < n; ++i) {
      auto [name, type] = split(entries[i].first);
      b.Fixed(name, 16).U16(type).U16(0).U16(static_cast<std::uint16_t>(i)).U16(0);
      b.U32(offset).U32(static_cast<std::uint32_t>(entries[i].second.size()));
      offset += static_cast<std::uint32_t>(entries[i].second.size());
    }
  } else {
    const std::uint32_t keys = 160, list = keys + 24 * n;
    b.Ascii(fileType).Ascii("V1.0").I32(0).U32(0).I32(static_cast<std::int32_t>(n)).U32(160).U32(keys).U32(list)
        .U32(120).U32(1).U32(0xFFFFFFFFu).Zeros(116);
    for (std::uint32_t i = 0; i < n; ++i) {
      auto [name, type] = split(entries[i].first);
      b.Fixed(name, 16).U32(i).U16(type).U16(0);
    }
    std::uint32_t offset = list + 8 * n;
    for (const auto& e : entries) {
      b.U32(offset).U32(static_cast<std::uint32_t>(e.second.size()));
      offset += static_cast<std::uint32_t>(e.second.size());
    }
  }
  for (const auto& e : entries) b.Raw(e.second);
  return b;
}

std::vector<std::string> ArchiveNames(const std::filesystem::path& archive) {
  TERFHandler h(archive);
  std::vector<std::string> names;
  for (const auto& r : h.Resources()) names.push_back(r->ResRef.Name() + "." + TERF_Resource::TypeToExtension(r->ResType));
  return names;
}

std::vector<std::uint8_t> ArchiveResource(const std::filesystem::path& archive, std::string_view fileName) {
  TERFHandler h(archive);
  std::string file(fileName);
  auto dot = file.rfind('.');
  if (!h.HasResource(file, false)) return {};
  TempDir dir;
  h.ExtractResource(file.substr(0, dot), TERF_Resource::ExtensionToType(file.substr(dot + 1)), dir / "out");
  return ReadWholeFile(dir / "out");
}

std::vector<std::uint8_t> SimpleGff(std::string_view fileType, std::string_view tag, std::int32_t value) {
  TGFFFile doc;
  doc.New(fileType);
  doc.AddField(std::make_unique<TGFF_CExoString>("Tag", tag), "");
  doc.AddField(std::make_unique<TGFF_SInt>("Value", value), "");
  return doc.SaveToBytes();
}

void LoadGff(TGFFFile& doc, const std::vector<std::uint8_t>& bytes) { doc.LoadFromBytes(bytes); }

}  // namespace vey::test
