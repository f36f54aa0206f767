// DumpFormats: the printers of dump, one per format. Texts of the files are
// Windows-1252 and printed as UTF-8; string numbers get their talk-table
// texts when a talk table is given.
#include "cli/DumpFormats.h"

#include <ostream>
#include <vector>

#include "cli/TextOutput.h"
#include "common/Counted.h"
#include "common/Win1252.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/UGFFValueText.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey::cli {

namespace {

std::string U(std::string_view win1252) { return Win1252ToUtf8(win1252); }

// --- 2DA -------------------------------------------------------------------

// The talk-table text of a string number, cut for table cells.
class StrRefTexts {
 public:
  explicit StrRefTexts(const TTLKFileHandler* tlk) : tlk_(tlk) {}
  bool Active() const { return tlk_ != nullptr; }
  // The entry's text, or null when the table has no such entry.
  const TTLKString* Entry(std::uint32_t ref) const {
    return ref < tlk_->Entries().Size() ? &tlk_->Entries()[ref] : nullptr;
  }
  // The number followed by its quoted text, for people.
  std::string Annotated(std::string numberText, std::uint32_t ref, std::size_t cut = 0) const {
    const TTLKString* e = Entry(ref);
    if (!e) return numberText + " (not in the talk table)";
    std::string_view text = e->Text();
    if (cut && text.size() > cut) return numberText + " " + Quoted(text.substr(0, cut)) + "...";
    return numberText + " " + Quoted(text);
  }
  std::string Json(std::uint32_t ref) const {
    const TTLKString* e = Entry(ref);
    return e ? JsonString(e->Text()) : std::string("null");
  }

 private:
  const TTLKFileHandler* tlk_;
};

// A cell text that is a whole non-negative number within 32 bits.
std::optional<std::uint32_t> StrRefCell(std::string_view cell) {
  if (cell.empty() || cell.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : cell) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// Long descriptions would stretch every column of the table.
constexpr std::size_t kCellTextCut = 40;

}  // namespace

bool HoldsStrRefs(std::string_view columnLabel) {
  const std::string label = AsciiLowerCopy(columnLabel);
  for (std::string_view word : {"strref", "stringref", "name", "desc", "tooltip", "title"})
    if (label.find(word) != std::string::npos) return true;
  return false;
}

void DumpTable(const T2DAHandler& table, std::string_view version, const DumpOptions& options, std::ostream& out) {
  const int rows = table.RowCount();
  const int columns = table.ColumnCount();
  const StrRefTexts texts(options.tlk);
  std::vector<bool> strrefColumns(static_cast<std::size_t>(columns), false);
  if (texts.Active())
    for (int c = 0; c < columns; ++c) strrefColumns[c] = HoldsStrRefs(table.GetColumnLabel(c));
  if (options.json) {
    out << "{\"format\":\"2DA\",\"version\":" << JsonString(version) << ",\"columns\":[";
    for (int c = 0; c < columns; ++c) out << (c ? "," : "") << JsonString(table.GetColumnLabel(c));
    out << "],\"rows\":[";
    for (int r = 0; r < rows; ++r) {
      out << (r ? "," : "") << "\n{\"label\":" << JsonString(table.GetRowLabel(r)) << ",\"cells\":[";
      for (int c = 0; c < columns; ++c) out << (c ? "," : "") << JsonString(table.GetCell(r, c));
      out << "]";
      if (texts.Active()) {
        out << ",\"strref_texts\":{";
        bool first = true;
        for (int c = 0; c < columns; ++c) {
          const auto ref = strrefColumns[c] ? StrRefCell(table.GetCell(r, c)) : std::nullopt;
          if (!ref) continue;
          out << (first ? "" : ",") << JsonString(table.GetColumnLabel(c)) << ":" << texts.Json(*ref);
          first = false;
        }
        out << "}";
      }
      out << "}";
    }
    out << "]}\n";
    return;
  }
  out << "2DA " << Printable(version) << ", " << Counted(rows, "row") << ", " << Counted(columns, "column") << '\n';
  AlignedTable grid;
  std::vector<std::string> header{""};
  for (int c = 0; c < columns; ++c) header.push_back(Printable(table.GetColumnLabel(c)));
  grid.Add(std::move(header));
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string> line{Printable(table.GetRowLabel(r))};
    for (int c = 0; c < columns; ++c) {
      const std::string& cell = table.GetCell(r, c);
      const auto ref = strrefColumns[c] ? StrRefCell(cell) : std::nullopt;
      line.push_back(ref ? texts.Annotated(cell, *ref, kCellTextCut) : Printable(cell));
    }
    grid.Add(std::move(line));
  }
  grid.Print(out);
}

// --- TLK -------------------------------------------------------------------

void DumpTalkTable(const TTLKFileHandler& tlk, const DumpOptions& options, std::ostream& out) {
  if (options.json) {
    out << "{\"format\":\"TLK\",\"version\":\"V3.0\",\"language\":" << tlk.LanguageId() << ",\"entries\":[";
    bool first = true;
    for (std::size_t i = 0; i < tlk.Entries().Size(); ++i) {
      const TTLKString& e = tlk.Entries()[i];
      out << (first ? "" : ",") << "\n{\"strref\":" << e.StrRef() << ",\"flags\":" << e.Flags()
          << ",\"sound\":" << JsonString(e.SoundResRefText()) << ",\"volume_variance\":" << e.VolumeVariance()
          << ",\"pitch_variance\":" << e.PitchVariance()
          << ",\"sound_length\":" << JsonFloat(e.SoundLength(), ShortestText(e.SoundLength()))
          << ",\"text\":" << JsonString(e.Text()) << "}";
      first = false;
    }
    out << "]}\n";
    return;
  }
  out << "TLK V3.0, language " << tlk.LanguageId() << ", " << Counted(tlk.Count(), "entry", "entries") << '\n';
  AlignedTable grid;
  grid.Add({"StrRef", "Flags", "Sound", "Length", "Text"});
  for (std::size_t i = 0; i < tlk.Entries().Size(); ++i) {
    const TTLKString& e = tlk.Entries()[i];
    grid.Add({std::to_string(e.StrRef()), Hex32(e.Flags()), Printable(e.SoundResRefText()),
              e.SoundLengthBits() ? ShortestText(e.SoundLength()) : std::string(), Quoted(e.Text())});
  }
  grid.Print(out);
}

namespace {

// --- GFF -------------------------------------------------------------------

// The value of a field that holds no other fields, as text or as JSON.
std::string ScalarValue(const TGFFField& f, bool json) {
  static const TGFFValueNotation kText{.text = Quoted, .quoteBytes = true};
  static const TGFFValueNotation kJson{
      .text = JsonString, .real = JsonFloat, .separator = ",", .bracketVectors = true, .quoteBytes = true, .nonScalar = "null"};
  return GFFValueText(f, json ? kJson : kText);
}

void TextStruct(const TGFFStruct& s, int depth, const StrRefTexts& texts, std::ostream& out);

void TextField(const TGFFField& f, int depth, const StrRefTexts& texts, std::ostream& out) {
  const std::string indent(2 * depth, ' ');
  const std::string head = indent + Printable(f.Label()) + " (" + GFFTypeName(f.FieldType());
  if (const auto* s = f.As<TGFFStruct>()) {
    out << head << ", type " << s->StructType() << ")\n";
    TextStruct(*s, depth + 1, texts, out);
  } else if (const auto* l = f.As<TGFFList>()) {
    out << head << ", " << l->Count() << (l->Count() == 1 ? " entry)\n" : " entries)\n");
    for (int i = 0; i < l->Count(); ++i) {
      out << indent << "  [" << i << "] (Struct, type " << l->Structs()[i]->StructType() << ")\n";
      TextStruct(*l->Structs()[i], depth + 2, texts, out);
    }
  } else if (const auto* loc = f.As<TGFF_CExoLocString>()) {
    const std::string ref = "StrRef " + StrRefText(loc->StringRef());
    const bool lookUp = texts.Active() && loc->StringRef() != TGFF_CExoLocString::kNoStrRef;
    out << head << ") = " << (lookUp ? texts.Annotated(ref, loc->StringRef()) : ref) << "\n";
    for (const auto& sub : loc->Substrings())
      out << indent << "  [language " << sub.LanguageId() << "] " << Quoted(sub.Text()) << "\n";
  } else if (const auto* v = f.As<TGFF_CVoid>()) {
    out << head << ", " << v->Length() << " bytes) = " << HexText(v->Data()) << "\n";
  } else {
    out << head << ") = " << ScalarValue(f, false) << "\n";
  }
}

void TextStruct(const TGFFStruct& s, int depth, const StrRefTexts& texts, std::ostream& out) {
  for (const auto& f : s.Fields()) TextField(*f, depth, texts, out);
}

void JsonStruct(const TGFFStruct& s, const StrRefTexts& texts, std::ostream& out);

void JsonField(const TGFFField& f, const StrRefTexts& texts, std::ostream& out) {
  out << "{\"label\":" << JsonString(f.Label()) << ",\"type\":\"" << GFFTypeName(f.FieldType()) << "\",";
  if (const auto* s = f.As<TGFFStruct>()) {
    out << "\"value\":";
    JsonStruct(*s, texts, out);
  } else if (const auto* l = f.As<TGFFList>()) {
    out << "\"value\":[";
    for (int i = 0; i < l->Count(); ++i) {
      if (i) out << ",";
      JsonStruct(*l->Structs()[i], texts, out);
    }
    out << "]";
  } else if (const auto* loc = f.As<TGFF_CExoLocString>()) {
    out << "\"value\":{\"strref\":" << StrRefText(loc->StringRef());
    if (texts.Active() && loc->StringRef() != TGFF_CExoLocString::kNoStrRef)
      out << ",\"strref_text\":" << texts.Json(loc->StringRef());
    out << ",\"substrings\":[";
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

void JsonStruct(const TGFFStruct& s, const StrRefTexts& texts, std::ostream& out) {
  out << "{\"struct_type\":" << s.StructType() << ",\"fields\":[";
  bool first = true;
  for (const auto& f : s.Fields()) {
    out << (first ? "" : ",") << "\n";
    JsonField(*f, texts, out);
    first = false;
  }
  out << "]}";
}

}  // namespace

void DumpDocument(const TGFFFile& doc, const DumpOptions& options, std::ostream& out) {
  const StrRefTexts texts(options.tlk);
  const TGFFStruct& root = *doc.RootStruct();
  if (options.json) {
    out << "{\"format\":\"GFF\",\"file_type\":" << JsonString(doc.FileType()) << ",\"version\":"
        << JsonString(doc.FileVersion()) << ",\"root\":";
    JsonStruct(root, texts, out);
    out << "}\n";
    return;
  }
  out << "GFF " << Printable(doc.FileType()) << doc.FileVersion() << ", top-level struct type " << root.StructType()
      << "\n";
  TextStruct(root, 1, texts, out);
}

// --- ERF / RIM -------------------------------------------------------------

std::string ResourceName(const TERF_Resource& r) {
  const std::string ext = TERF_Resource::TypeToExtension(r.ResType);
  return r.ResRef.Name() + (ext.empty() ? std::string() : "." + ext);
}

void DumpArchive(const TERFHandler& archive, const DumpOptions& options, std::ostream& out) {
  const bool json = options.json;
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
  out << Printable(type) << "V1.0, " << Counted(archive.Resources().size(), "resource");
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

void DumpSoundset(const TSSFFile& ssf, const DumpOptions& options, std::ostream& out) {
  const StrRefTexts texts(options.tlk);
  // -1 is "no sound", never a string number.
  auto lookUp = [&](int i) { return texts.Active() && ssf.Value(i) >= 0; };
  if (options.json) {
    out << "{\"format\":\"SSF\",\"version\":\"V1.1\",\"entries\":[";
    for (int i = 1; i <= TSSFFile::kEntries; ++i) {
      out << (i > 1 ? "," : "") << "\n{\"label\":" << JsonString(ssf.Label(i)) << ",\"strref\":" << ssf.Value(i);
      if (lookUp(i)) out << ",\"strref_text\":" << texts.Json(static_cast<std::uint32_t>(ssf.Value(i)));
      out << "}";
    }
    out << "]}\n";
    return;
  }
  out << "SSF V1.1, " << TSSFFile::kEntries << " entries\n";
  AlignedTable grid;
  for (int i = 1; i <= TSSFFile::kEntries; ++i) {
    const std::string value = std::to_string(ssf.Value(i));
    grid.Add({U(ssf.Label(i)), lookUp(i) ? texts.Annotated(value, static_cast<std::uint32_t>(ssf.Value(i))) : value});
  }
  grid.Print(out);
}

}  // namespace vey::cli
