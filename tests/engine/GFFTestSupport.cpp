// GFFTestSupport: the creature document and the readers of saved documents.
#include "GFFTestSupport.h"

#include "common/FileIO.h"

namespace vey::test {

std::vector<std::uint8_t> CreatureGff() {
  TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<TGFF_CExoString>("Tag", "orc"), "");
  doc.AddField(std::make_unique<TGFF_SInt>("Value", 3), "");
  auto* items = static_cast<TGFFList*>(doc.AddField(std::make_unique<TGFFList>("ItemList"), ""));
  for (const char* tag : {"sword", "shield"}) {
    auto element = std::make_unique<TGFFStruct>();
    element->AddField(std::make_unique<TGFF_CExoString>("Tag", tag));
    items->AddStruct(std::move(element));
  }
  auto name = std::make_unique<TGFF_CExoLocString>("Name", 7u);
  name->AddSubstring(0, "Old");
  doc.AddField(std::move(name), "");
  doc.AddField(std::make_unique<TGFF_COrientation>("Facing", std::array<float, 4>{1, 2, 3, 4}), "");
  return doc.SaveToBytes();
}

std::unique_ptr<TGFFFile> GffFixture::Saved(const std::string& relative) const {
  auto doc = std::make_unique<TGFFFile>();
  doc->LoadFromBytes(ReadWholeFile(Game() + relative));
  return doc;
}

std::unique_ptr<TGFFFile> GffFixture::InArchive(const std::string& archive, std::string_view fileName) const {
  auto doc = std::make_unique<TGFFFile>();
  doc->LoadFromBytes(ArchiveResource(Game() + archive, fileName));
  return doc;
}

std::vector<std::string> GffFixture::Containing(std::string_view text) const {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) out.push_back(l);
  return out;
}

bool GffFixture::InOrder(const std::vector<std::string>& texts) const {
  std::size_t next = 0;
  for (const auto& l : lines)
    if (next < texts.size() && l.find(texts[next]) != std::string::npos) ++next;
  return next == texts.size();
}

}  // namespace vey::test
