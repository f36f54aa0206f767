// UGFFDiff: comparing two GFF documents field by field.
#include <algorithm>
#include <string>

#include "formats/UFormatDiff.h"
#include "formats/UGFFFile.h"
#include "formats/UGFFValueText.h"

namespace vey {
namespace {

using diff_detail::QuotedText;
using Kind = TDifference::Kind;

// A value in the comparison's notation: texts quoted as bytes.
std::string ValueText(const TGFFField& f) {
  static const TGFFValueNotation kNotation{.text = QuotedText};
  return GFFValueText(f, kNotation);
}

// A field in one line, for a field that only one document has.
std::string Summary(const TGFFField& f) {
  std::string text = GFFTypeName(f.FieldType());
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
    StructTypes(a, b, path);
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

  void StructTypes(const TGFFStruct& a, const TGFFStruct& b, const std::string& path) {
    if (a.StructType() != b.StructType())
      Changed((path.empty() ? std::string("top-level struct") : path) + " struct type",
              std::to_string(a.StructType()), std::to_string(b.StructType()));
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

  void Changed(std::string where, std::string first, std::string second) {
    out_.push_back({Kind::Changed, std::move(where), std::move(first), std::move(second)});
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

TDifferences DiffFieldValues(const TGFFField& first, const TGFFField& second, const std::string& path) {
  TDifferences out;
  DocumentDiff diff(out);
  const auto* a = first.As<TGFFStruct>();
  const auto* b = second.As<TGFFStruct>();
  if (a && b)
    diff.StructTypes(*a, *b, path);
  else if (!first.As<TGFFList>() || !second.As<TGFFList>())
    diff.Fields(first, second, path);
  return out;
}

TDifferences DiffDocuments(const TGFFFile& first, const TGFFFile& second) {
  TDifferences out;
  if (first.FileType() != second.FileType())
    out.push_back({Kind::Changed, "file type", QuotedText(first.FileType()), QuotedText(second.FileType())});
  DocumentDiff(out).Structs(*first.RootStruct(), *second.RootStruct(), "");
  return out;
}

}  // namespace vey
