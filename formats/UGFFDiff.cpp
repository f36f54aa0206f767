// UGFFDiff: comparing two GFF documents field by field.
#include <algorithm>
#include <array>
#include <string>

#include "formats/UFormatDiff.h"
#include "formats/UGFFFile.h"

namespace vey {
namespace {

using diff_detail::QuotedText;
using diff_detail::RealText;
using Kind = TDifference::Kind;

const char* TypeName(TGFFFieldType type) {
  static constexpr std::array<const char*, 18> kNames = {
      "Byte",   "Char",      "Word",   "Short",        "DWORD", "Int",    "DWORD64", "Int64",       "Float",
      "Double", "ExoString", "ResRef", "ExoLocString", "Void",  "Struct", "List",    "Orientation", "Position"};
  const auto i = static_cast<int>(type);
  return i >= 0 && i < 18 ? kNames[i] : "None";
}

template <std::size_t N>
std::string Reals(const std::array<float, N>& v) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) text += (i ? ", " : "") + RealText(v[i]);
  return text;
}

std::string HexBytes(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string StrRefText(std::uint32_t ref) {
  return ref == TGFF_CExoLocString::kNoStrRef ? std::string("-1") : std::to_string(ref);
}

// The value of a field that holds no other fields.
std::string ValueText(const TGFFField& f) {
  using T = TGFFFieldType;
  switch (f.FieldType()) {
    case T::Byte: return std::to_string(f.As<TGFF_SByte>()->Value());
    case T::Char: return QuotedText(std::string(1, f.As<TGFF_SChar>()->Value()));
    case T::Word: return std::to_string(f.As<TGFF_SWord>()->Value());
    case T::Short: return std::to_string(f.As<TGFF_SShort>()->Value());
    case T::DWORD: return std::to_string(f.As<TGFF_SDWORD>()->Value());
    case T::Int: return std::to_string(f.As<TGFF_SInt>()->Value());
    case T::DWORD64: return std::to_string(f.As<TGFF_CDWORD64>()->Value());
    case T::Int64: return std::to_string(f.As<TGFF_CInt64>()->Value());
    case T::Float: return RealText(f.As<TGFF_SFloat>()->Value());
    case T::Double: return RealText(f.As<TGFF_CDouble>()->Value());
    case T::ExoString: return QuotedText(f.As<TGFF_CExoString>()->Value());
    case T::ResRef: return QuotedText(f.As<TGFF_CResRef>()->Value());
    case T::Void: return HexBytes(f.As<TGFF_CVoid>()->Data());
    case T::Orientation: return Reals(f.As<TGFF_COrientation>()->Value());
    case T::Position: return Reals(f.As<TGFF_CPosition>()->Value());
    default: return {};
  }
}

// A field in one line, for a field that only one document has.
std::string Summary(const TGFFField& f) {
  std::string text = TypeName(f.FieldType());
  if (const auto* s = f.As<TGFFStruct>())
    return text + ", type " + std::to_string(s->StructType()) + ", " + std::to_string(s->FieldCount()) + " fields";
  if (const auto* l = f.As<TGFFList>()) return text + ", " + std::to_string(l->Count()) + " entries";
  if (const auto* loc = f.As<TGFF_CExoLocString>()) {
    text += " StrRef " + StrRefText(loc->StringRef());
    for (const auto& sub : loc->Substrings())
      text += ", language " + std::to_string(sub.LanguageId()) + " " + QuotedText(sub.Text());
    return text;
  }
  return text + " " + ValueText(f);
}

std::string Join(const std::string& path, const std::string& part) { return path.empty() ? part : path + "\\" + part; }

class DocumentDiff {
 public:
  explicit DocumentDiff(TDifferences& out) : out_(out) {}

  void Structs(const TGFFStruct& a, const TGFFStruct& b, const std::string& path) {
    if (a.StructType() != b.StructType())
      Changed((path.empty() ? std::string("top-level struct") : path) + " struct type",
              std::to_string(a.StructType()), std::to_string(b.StructType()));
    for (const auto& fa : a.Fields()) {
      const std::string label = fa->Label();
      const TGFFField* fb = b.FindField(label);
      if (!fb)
        out_.push_back({Kind::OnlyInFirst, Join(path, label), Summary(*fa), {}});
      else
        Fields(*fa, *fb, Join(path, label));
    }
    for (const auto& fb : b.Fields())
      if (!a.FindField(fb->Label())) out_.push_back({Kind::OnlyInSecond, Join(path, fb->Label()), {}, Summary(*fb)});
  }

 private:
  void Changed(std::string where, std::string first, std::string second) {
    out_.push_back({Kind::Changed, std::move(where), std::move(first), std::move(second)});
  }

  void Fields(const TGFFField& a, const TGFFField& b, const std::string& path) {
    if (a.FieldType() != b.FieldType()) return Changed(path, Summary(a), Summary(b));
    if (const auto* s = a.As<TGFFStruct>()) return Structs(*s, *b.As<TGFFStruct>(), path);
    if (const auto* l = a.As<TGFFList>()) return Lists(*l, *b.As<TGFFList>(), path);
    if (const auto* loc = a.As<TGFF_CExoLocString>()) return LocStrings(*loc, *b.As<TGFF_CExoLocString>(), path);
    const std::string x = ValueText(a);
    const std::string y = ValueText(b);
    if (x != y) Changed(path, x, y);
  }

  void Lists(const TGFFList& a, const TGFFList& b, const std::string& path) {
    const int common = std::min(a.Count(), b.Count());
    for (int i = 0; i < common; ++i) Structs(*a.Structs()[i], *b.Structs()[i], Join(path, std::to_string(i)));
    for (int i = common; i < a.Count(); ++i)
      out_.push_back({Kind::OnlyInFirst, Join(path, std::to_string(i)), Summary(*a.Structs()[i]), {}});
    for (int i = common; i < b.Count(); ++i)
      out_.push_back({Kind::OnlyInSecond, Join(path, std::to_string(i)), {}, Summary(*b.Structs()[i])});
  }

  // Named with the suffixes instruction files use for these parts.
  void LocStrings(const TGFF_CExoLocString& a, const TGFF_CExoLocString& b, const std::string& path) {
    if (a.StringRef() != b.StringRef())
      Changed(path + "(strref)", StrRefText(a.StringRef()), StrRefText(b.StringRef()));
    for (const auto& sub : a.Substrings()) {
      const std::string where = path + "(lang" + std::to_string(sub.LanguageId()) + ")";
      const std::string* other = b.LanguageText(sub.LanguageId());
      if (!other)
        out_.push_back({Kind::OnlyInFirst, where, QuotedText(sub.Text()), {}});
      else if (*other != sub.Text())
        Changed(where, QuotedText(sub.Text()), QuotedText(*other));
    }
    for (const auto& sub : b.Substrings())
      if (!a.LanguageText(sub.LanguageId()))
        out_.push_back({Kind::OnlyInSecond, path + "(lang" + std::to_string(sub.LanguageId()) + ")", {},
                        QuotedText(sub.Text())});
  }

  TDifferences& out_;
};

}  // namespace

TDifferences DiffDocuments(const TGFFFile& first, const TGFFFile& second) {
  TDifferences out;
  if (first.FileType() != second.FileType())
    out.push_back({Kind::Changed, "file type", QuotedText(first.FileType()), QuotedText(second.FileType())});
  DocumentDiff(out).Structs(*first.RootStruct(), *second.RootStruct(), "");
  return out;
}

}  // namespace vey
