// GameFile: format detection and loading shared by dump and diff.
#include "cli/GameFile.h"

#include <algorithm>
#include <string_view>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey::cli {

FileKind KindOf(std::span<const std::uint8_t> start) {
  if (start.size() < 8) return FileKind::Unknown;
  const std::string_view signature(reinterpret_cast<const char*>(start.data()), 8);
  const std::string_view type = signature.substr(0, 4);
  const std::string_view version = signature.substr(4, 4);
  if (signature == "2DA V2.b" || signature == "2DA V2.0") return FileKind::Table;
  if (type == "TLK ") return FileKind::TalkTable;
  if (type == "SSF ") return FileKind::Soundset;
  if ((type == "ERF " || type == "MOD " || type == "HAK " || type == "SAV " || type == "RIM ") && version == "V1.0")
    return FileKind::Archive;
  if (version == "V3.2") return FileKind::Document;
  return FileKind::Unknown;
}

const char* KindName(FileKind kind) {
  switch (kind) {
    case FileKind::Table: return "2DA table";
    case FileKind::TalkTable: return "talk table";
    case FileKind::Document: return "GFF document";
    case FileKind::Archive: return "ERF/RIM archive";
    case FileKind::Soundset: return "soundset";
    case FileKind::Unknown: break;
  }
  return "file of no known format";
}

std::vector<std::uint8_t> FileStart(const std::filesystem::path& path) {
  InputFile in(path);
  return in.ReadAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(8, in.Size())));
}

void LoadTable(T2DAHandler& table, std::span<const std::uint8_t> data, const std::string& name) {
  if (T2DAHandler::IsTextForm(data))
    table.LoadFromTextBytes(data, name);
  else
    table.LoadFromBytes(data, name);
}

std::string FailureTag(const Exception& e) {
  const std::string code = IntToStr(e.Code());
  if (dynamic_cast<const EHell*>(&e)) return " (TLK)";
  if (dynamic_cast<const EDead*>(&e)) return " (2DA-" + code + ")";
  if (dynamic_cast<const EGFFError*>(&e)) return " (GFF-" + code + ")";
  if (dynamic_cast<const EERFError*>(&e)) return " (ERF-" + code + ")";
  if (dynamic_cast<const ESSFError*>(&e)) return " (SSF-" + code + ")";
  return {};
}

}  // namespace vey::cli
