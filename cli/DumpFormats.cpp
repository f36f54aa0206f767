// DumpCommand: prints a game file in readable form or as JSON. The file's
// first eight bytes choose the reader; whatever the reader refuses is reported
// in one line with exit status 2.
#include "cli/DumpCommand.h"

#include <array>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "cli/CliCommon.h"
#include "cli/TextOutput.h"
#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey::cli {

namespace {

enum class FileKind { Table, TalkTable, Document, Archive, Soundset, Unknown };

FileKind KindOf(const std::string& signature) {
  if (signature.size() < 8) return FileKind::Unknown;
  const std::string_view type = std::string_view(signature).substr(0, 4);
  const std::string_view version = std::string_view(signature).substr(4, 4);
  // A text table is handed to the table reader, which refuses it by name.
  if (signature == "2DA V2.b" || signature == "2DA V2.0") return FileKind::Table;
  if (type == "TLK ") return FileKind::TalkTable;
  if (type == "SSF ") return FileKind::Soundset;
  if ((type == "ERF " || type == "MOD " || type == "HAK " || type == "SAV " || type == "RIM ") && version == "V1.0")
    return FileKind::Archive;
  if (version == "V3.2") return FileKind::Document;
  return FileKind::Unknown;
}

std::string U(std::string_view win1252) { return Win1252ToUtf8(win1252); }

// --- 2DA -------------------------------------------------------------------

void DumpTable(const std::filesystem::path& path, bool json, std::ostream& out) {
  T2DAHandler table;
  table.LoadFromFile(path);
  const int rows = table.RowCount();
  const int columns = table.ColumnCount();
  if (json) {
    out << "{\"format\":\"2DA\",\"version\":\"V2.b\",\"columns\":[";
    for (int c = 0; c < columns; ++c) out << (c ? "," : "") << JsonString(table.GetColumnLabel(c));
    out << "],\"rows\":[";
    for (int r = 0; r < rows; ++r) {
      out << (r ? "," : "") << "\n{\"label\":" << JsonString(table.GetRowLabel(r)) << ",\"cells\":[";
      for (int c = 0; c < columns; ++c) out << (c ? "," : "") << JsonString(table.GetCell(r, c));
      out << "]}";
    }
    out << "]}\n";
    return;
  }
  out << "2DA V2.b, " << rows << " rows, " << columns << " columns\n";
  AlignedTable grid;
  std::vector<std::string> header{""};
  for (int c = 0; c < columns; ++c) header.push_back(Printable(table.GetColumnLabel(c)));
  grid.Add(std::move(header));
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string> line{Printable(table.GetRowLabel(r))};
    for (int c = 0; c < columns; ++c) line.push_back(Printable(table.GetCell(r, c)));
    grid.Add(std::move(line));
  }
  grid.Print(out);
}

// --- TLK -------------------------------------------------------------------

void DumpTalkTable(const std::filesystem::path& path, bool json, std::ostream& out) {
  TTLKFileHandler tlk(path);
  if (json) {
    out << "{\"format\":\"TLK\",\"version\":\"V3.0\",\"language\":" << tlk.LanguageId() << ",\"entries\":[";
    bool first = true;
    for (std::size_t i = 0; i < tlk.Entries().Size(); ++i) {
      const TTLKString& e = tlk.Entries()[i];
      out << (first ? "" : ",") << "\n{\"strref\":" << e.StrRef() << ",\"flags\":" << e.Flags()
          << ",\"sound\":" << JsonString(e.SoundResRefText()) << ",\"volume_variance\":" << e.VolumeVariance()
          << ",\"pitch_variance\":" << e.PitchVariance()
          << ",\"sound_length\":" << JsonFloat(e.SoundLength(), FloatText(e.SoundLength()))
          << ",\"text\":" << JsonString(e.Text()) << "}";
      first = false;
    }
    out << "]}\n";
    return;
  }
  out << "TLK V3.0, language " << tlk.LanguageId() << ", " << tlk.Count() << " entries\n";
  AlignedTable grid;
  grid.Add({"StrRef", "Flags", "Sound", "Length", "Text"});
  for (std::size_t i = 0; i < tlk.Entries().Size(); ++i) {
    const TTLKString& e = tlk.Entries()[i];
    grid.Add({std::to_string(e.StrRef()), Hex32(e.Flags()), Printable(e.SoundResRefText()),
              e.SoundLengthBits() ? FloatText(e.SoundLength()) : std::string(), Quoted(e.Text())});
  }
  grid.Print(out);
}

// --- GFF -------------------------------------------------------------------

const char* TypeName(TGFFFieldType type) {
  static constexpr std::array<const char*, 18> kNames = {
      "Byte",   "Char",      "Word",   "Short",        "DWORD", "Int",    "DWORD64", "Int64",       "Float",
      "Double", "ExoString", "ResRef", "ExoLocString", "Void",  "Struct", "List",    "Orientation", "Position"};
  const auto i = static_cast<int>(type);
  return i >= 0 && i < 18 ? kNames[i] : "None";
}

template <std::size_t N>
std::string Floats(const std::array<float, N>& v, bool json) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    if (i) text += json ? "," : ", ";
    text += json ? JsonFloat(v[i], FloatText(v[i])) : FloatText(v[i]);
  }
  return json ? "[" + text + "]" : text;
}

// The value of a field that holds no other fields, as text or as JSON.
std::string ScalarValue(const TGFFField& f, bool json) {
  using T = TGFFFieldType;
  switch (f.FieldType()) {
    case T::Byte: return std::to_string(f.As<TGFF_SByte>()->Value());
    case T::Char: {
      const char c = f.As<TGFF_SChar>()->Value();
      return json ? JsonString(std::string_view(&c, 1)) : Quoted(std::string_view(&c, 1));
    }
    case T::Word: return std::to_string(f.As<TGFF_SWord>()->Value());
    case T::Short: return std::to_string(f.As<TGFF_SShort>()->Value());
    case T::DWORD: return std::to_string(f.As<TGFF_SDWORD>()->Value());
    case T::Int: return std::to_string(f.As<TGFF_SInt>()->Value());
    case T::DWORD64: return std::to_string(f.As<TGFF_CDWORD64>()->Value());
    case T::Int64: return std::to_string(f.As<TGFF_CInt64>()->Value());
    case T::Float: {
      const float v = f.As<TGFF_SFloat>()->Value();
      return json ? JsonFloat(v, FloatText(v)) : FloatText(v);
    }
    case T::Double: {
      const double v = f.As<TGFF_CDouble>()->Value();
      return json ? JsonFloat(v, FloatText(v)) : FloatText(v);
    }
    case T::ExoString: {
      const auto& v = f.As<TGFF_CExoString>()->Value();
      return json ? JsonString(v) : Quoted(v);
    }
    case T::ResRef: {
      const auto& v = f.As<TGFF_CResRef>()->Value();
      return json ? JsonString(v) : Quoted(v);
    }
    case T::Void: return "\"" + Hex(f.As<TGFF_CVoid>()->Data()) + "\"";
    case T::Orientation: return Floats(f.As<TGFF_COrientation>()->Value(), json);
    case T::Position: return Floats(f.As<TGFF_CPosition>()->Value(), json);
    default: return json ? "null" : "";
  }
}

std::string StrRefText(std::uint32_t ref) {
  return ref == TGFF_CExoLocString::kNoStrRef ? std::string("-1") : std::to_string(ref);
}

void TextStruct(const TGFFStruct& s, int depth, std::ostream& out);

void TextField(const TGFFField& f, int depth, std::ostream& out) {
  const std::string indent(2 * depth, ' ');
  const std::string head = indent + Printable(f.Label()) + " (" + TypeName(f.FieldType());
  if (const auto* s = f.As<TGFFStruct>()) {
    out << head << ", type " << s->StructType() << ")\n";
    TextStruct(*s, depth + 1, out);
  } else if (const auto* l = f.As<TGFFList>()) {
    out << head << ", " << l->Count() << (l->Count() == 1 ? " entry)\n" : " entries)\n");
    for (int i = 0; i < l->Count(); ++i) {
      out << indent << "  [" << i << "] (Struct, type " << l->Structs()[i]->StructType() << ")\n";
      TextStruct(*l->Structs()[i], depth + 2, out);
    }
  } else if (const auto* loc = f.As<TGFF_CExoLocString>()) {
    out << head << ") = StrRef " << StrRefText(loc->StringRef()) << "\n";
    for (const auto& sub : loc->Substrings())
      out << indent << "  [language " << sub.LanguageId() << "] " << Quoted(sub.Text()) << "\n";
  } else if (const auto* v = f.As<TGFF_CVoid>()) {
    out << head << ", " << v->Length() << " bytes) = " << Hex(v->Data()) << "\n";
  } else {
    out << head << ") = " << ScalarValue(f, false) << "\n";
  }
}

void TextStruct(const TGFFStruct& s, int depth, std::ostream& out) {
  for (const auto& f : s.Fields()) TextField(*f, depth, out);
}

void JsonStruct(const TGFFStruct& s, std::ostream& out);

void JsonField(const TGFFField& f, std::ostream& out) {
  out << "{\"label\":" << JsonString(f.Label()) << ",\"type\":\"" << TypeName(f.FieldType()) << "\",";
  if (const auto* s = f.As<TGFFStruct>()) {
    out << "\"value\":";
    JsonStruct(*s, out);
  } else if (const auto* l = f.As<TGFFList>()) {
    out << "\"value\":[";
    for (int i = 0; i < l->Count(); ++i) {
      if (i) out << ",";
      JsonStruct(*l->Structs()[i], out);
    }
    out << "]";
  } else if (const auto* loc = f.As<TGFF_CExoLocString>()) {
    out << "\"value\":{\"strref\":" << StrRefText(loc->StringRef()) << ",\"substrings\":[";
    bool first = true;
    for (const auto& sub : loc->Substrings()) {
      out << (first ? "" : ",") << "{\"language\":" << sub.LanguageId() << ",\"text\":" << JsonString(sub.Text())
          << "}";
      first = false;
    }
    out << "]}";
  } else {
    out << "\"value\":" << ScalarValue(f, true);
  }
  out << "}";
}

void JsonStruct(const TGFFStruct& s, std::ostream& out) {
  out << "{\"struct_type\":" << s.StructType() << ",\"fields\":[";
  bool first = true;
  for (const auto& f : s.Fields()) {
    out << (first ? "" : ",") << "\n";
    JsonField(*f, out);
    first = false;
  }
  out << "]}";
}

void DumpDocument(const std::filesystem::path& path, bool json, std::ostream& out) {
  TGFFFile doc;
  doc.LoadFromFile(path);
  const TGFFStruct& root = *doc.RootStruct();
  if (json) {
    out << "{\"format\":\"GFF\",\"file_type\":" << JsonString(doc.FileType()) << ",\"version\":"
        << JsonString(doc.FileVersion()) << ",\"root\":";
    JsonStruct(root, out);
    out << "}\n";
    return;
  }
  out << "GFF " << Printable(doc.FileType()) << doc.FileVersion() << ", top-level struct type " << root.StructType()
      << "\n";
  TextStruct(root, 1, out);
}

// --- ERF / RIM -------------------------------------------------------------

std::string ResourceName(const TERF_Resource& r) {
  const std::string ext = TERF_Resource::TypeToExtension(r.ResType);
  return r.ResRef.Name() + (ext.empty() ? std::string() : "." + ext);
}

void DumpArchive(const std::filesystem::path& path, bool json, std::ostream& out) {
  TERFHandler archive(path);
  const auto* erf = archive.ERFHeader();
  const std::string type = archive.IsRIM() ? "RIM " : (erf ? erf->FileType : std::string("ERF "));
  if (json) {
    out << "{\"format\":" << JsonString(archive.IsRIM() ? "RIM" : "ERF") << ",\"file_type\":" << JsonString(type)
        << ",\"version\":\"V1.0\"";
    if (erf) {
      out << ",\"build_year\":" << 1900 + erf->BuildYear << ",\"build_day\":" << erf->BuildDay
          << ",\"description_strref\":" << StrRefText(erf->DescriptionStrRef) << ",\"localized_strings\":[";
      bool first = true;
      for (const auto& s : archive.LocStrings()) {
        out << (first ? "" : ",") << "{\"language\":" << s.LanguageId << ",\"text\":" << JsonString(s.Text()) << "}";
        first = false;
      }
      out << "]";
    }
    out << ",\"resources\":[";
    bool first = true;
    for (const auto& r : archive.Resources()) {
      out << (first ? "" : ",") << "\n{\"name\":" << JsonString(r->ResRef.Name()) << ",\"type\":" << r->ResType
          << ",\"extension\":" << JsonString(TERF_Resource::TypeToExtension(r->ResType)) << ",\"size\":" << r->Size
          << ",\"offset\":" << r->Offset << "}";
      first = false;
    }
    out << "]}\n";
    return;
  }
  out << Printable(type) << "V1.0, " << archive.Resources().size() << " resources";
  if (erf)
    out << ", built " << 1900 + erf->BuildYear << " day " << erf->BuildDay << ", description StrRef "
        << StrRefText(erf->DescriptionStrRef);
  out << "\n";
  if (erf)
    for (const auto& s : archive.LocStrings()) out << "[language " << s.LanguageId << "] " << Quoted(s.Text()) << "\n";
  AlignedTable grid;
  grid.Add({"Resource", "Type", "Size", "Offset"});
  for (const auto& r : archive.Resources())
    grid.Add({Printable(ResourceName(*r)), std::to_string(r->ResType), std::to_string(r->Size),
              std::to_string(r->Offset)});
  grid.Print(out);
}

// --- SSF -------------------------------------------------------------------

void DumpSoundset(const std::filesystem::path& path, bool json, std::ostream& out) {
  TSSFFile ssf;
  ssf.LoadFromFile(path);
  if (json) {
    out << "{\"format\":\"SSF\",\"version\":\"V1.1\",\"entries\":[";
    for (int i = 1; i <= TSSFFile::kEntries; ++i)
      out << (i > 1 ? "," : "") << "\n{\"label\":" << JsonString(ssf.Label(i)) << ",\"strref\":" << ssf.Value(i)
          << "}";
    out << "]}\n";
    return;
  }
  out << "SSF V1.1, " << TSSFFile::kEntries << " entries\n";
  AlignedTable grid;
  for (int i = 1; i <= TSSFFile::kEntries; ++i) grid.Add({U(ssf.Label(i)), std::to_string(ssf.Value(i))});
  grid.Print(out);
}

// --- the command -----------------------------------------------------------

// The tag the run driver would give the failure, so that a reader's message
// reads the same here as in an installation log.
std::string Tag(const Exception& e) {
  const std::string code = IntToStr(e.Code());
  if (dynamic_cast<const EHell*>(&e)) return " (TLK)";
  if (dynamic_cast<const EDead*>(&e)) return " (2DA-" + code + ")";
  if (dynamic_cast<const EGFFError*>(&e)) return " (GFF-" + code + ")";
  if (dynamic_cast<const EERFError*>(&e)) return " (ERF-" + code + ")";
  if (dynamic_cast<const ESSFError*>(&e)) return " (SSF-" + code + ")";
  return {};
}

int RunDump(const std::string& file, bool json) {
  const std::filesystem::path path(file);
  std::ostringstream out;
  auto fail = [&](const std::string& message) {
    std::cerr << "veypatcher-cli: " << file << ": " << message << '\n';
    return kExitFailed;
  };
  try {
    std::string signature;
    {
      InputFile in(path);
      signature.resize(std::min<std::uint64_t>(8, in.Size()));
      in.ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(signature.data()), signature.size()));
    }
    switch (KindOf(signature)) {
      case FileKind::Table: DumpTable(path, json, out); break;
      case FileKind::TalkTable: DumpTalkTable(path, json, out); break;
      case FileKind::Document: DumpDocument(path, json, out); break;
      case FileKind::Archive: DumpArchive(path, json, out); break;
      case FileKind::Soundset: DumpSoundset(path, json, out); break;
      case FileKind::Unknown:
        return fail("not a 2DA, TLK, GFF, ERF/RIM or SSF file (it begins with " + Quoted(signature) + ")");
    }
  } catch (const Exception& e) {
    return fail(U(e.what()) + Tag(e));
  } catch (const std::bad_alloc&) {
    return fail("the file announces more data than can be held in memory");
  } catch (const std::length_error&) {
    return fail("the file announces more data than can be held in memory");
  }
  // Printed only once the whole file has been read, so that a damaged file
  // gives its one error line and nothing else.
  std::cout << out.str();
  return kExitOk;
}

}  // namespace

void RegisterDumpCommand(CLI::App& app, int& exitCode) {
  auto* command = app.add_subcommand("dump", "Print the content of a 2DA, TLK, GFF, ERF/RIM or SSF file");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  command->add_option("FILE", *file, "The file; its first bytes tell its format")->required()->check(CLI::ExistingFile);
  command->add_flag("--json", *json, "Print the same content as JSON");
  command->footer("Text is printed as UTF-8. Exit status: 0 printed; 2 the file is damaged or of no known format; "
                  "64 usage error.");
  command->callback([file, json, &exitCode] { exitCode = RunDump(*file, *json); });
}

}  // namespace vey::cli
