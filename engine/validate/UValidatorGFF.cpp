// UValidatorGFF: the GFFList, its field paths (checked against the document
// when the mod ships it) and the AddField sections with their nesting.
#include <algorithm>
#include <map>
#include <memory>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/validate/UValidatorCheck.h"
#include "formats/UGFFFile.h"

namespace vey::validate {
namespace {

constexpr std::string_view kFieldTypes[] = {"Byte",  "Char",   "Word",      "Short",  "DWORD",        "Int",
                                            "Int64", "Float",  "Double",    "ExoString", "ResRef", "ExoLocString",
                                            "Orientation", "Position", "Struct", "List"};

constexpr std::string_view kReservedPrefixes[] = {"!replacefile", "!destination", "!sourcefile",
                                                  "!saveas",      "!overridetype", "!filename"};

bool IsReserved(std::string_view key) {
  return std::any_of(std::begin(kReservedPrefixes), std::end(kReservedPrefixes),
                     [&](std::string_view p) { return StartsWithNoCase(key, p); });
}

bool IsInteger(std::string_view v) { return !v.empty() && IsDigits(v[0] == '-' ? v.substr(1) : v); }

std::vector<std::string_view> SplitBars(std::string_view v) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    std::size_t bar = v.find('|', start);
    parts.push_back(v.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) return parts;
    start = bar + 1;
  }
}

// Whether the installer takes this text for a real-valued field with the same
// number test it uses. A new Orientation or Position of exactly its part count
// needs every part to be a number (other counts fill in zeros); an existing one
// needs that count and at least one number.
std::string_view RealTypeName(TGFFFieldType t) {
  switch (t) {
    case TGFFFieldType::Float: return "Float";
    case TGFFFieldType::Double: return "Double";
    case TGFFFieldType::Orientation: return "Orientation";
    case TGFFFieldType::Position: return "Position";
    default: return "";
  }
}

bool RealsFit(std::string_view type, std::string_view v, bool existing) {
  if (type == "Float") return ParseSingle(v).has_value();
  if (type == "Double") return ParseDouble(v).has_value();
  const std::size_t n = type == "Orientation" ? 4 : type == "Position" ? 3 : 0;
  if (n == 0) return true;
  auto parts = SplitBars(v);
  const auto numbers = std::count_if(parts.begin(), parts.end(), [](auto p) { return ParseSingle(p).has_value(); });
  if (existing) return parts.size() == n && numbers > 0;
  return parts.size() != n || static_cast<std::size_t>(numbers) == n;
}

// One GFFList entry: the mod's own copy of its document, when there is one,
// and the fields AddField sections will have made by each point.
struct Document {
  const TGFFFile* doc = nullptr;
  std::string name;
  TSeverity missingSeverity = TSeverity::Warning;
  std::vector<std::string> made;  // lower-case paths (a trailing '\' stands for any list index)
};

class GFFCheck {
 public:
  explicit GFFCheck(Check& c) : c_(c) {}
  void Entry(const Section& list, const validate::Entry& e);

 private:
  const TGFFFile* Load(const std::string& source);
  // Reports a path the document does not hold; returns its field when it does.
  const TGFFField* CheckPath(const Section& s, const validate::Entry& e, std::string_view path, Document& d);
  void AddField(const Section& from, const validate::Entry& by, std::string_view name, const std::string& parent,
                Document& d, std::vector<const Section*>& chain);
  void CheckFieldKeys(const Section& s);

  Check& c_;
  std::map<std::string, std::unique_ptr<TGFFFile>> documents_;  // by lower-case source name; null: unreadable
};

const TGFFFile* GFFCheck::Load(const std::string& source) {
  const std::string key = AsciiLowerCopy(source);
  auto it = documents_.find(key);
  if (it != documents_.end()) return it->second.get();
  std::unique_ptr<TGFFFile> doc;
  if (c_.DataFileExists(source)) {
    doc = std::make_unique<TGFFFile>();
    try {
      doc->LoadFromBytes(c_.fs.ReadFile(c_.DataFile(source)));
    } catch (const Exception&) {
      doc.reset();
    }
  }
  return documents_.emplace(key, std::move(doc)).first->second.get();
}

const TGFFField* GFFCheck::CheckPath(const Section& s, const validate::Entry& e, std::string_view path, Document& d) {
  if (!d.doc || path.empty()) return nullptr;
  std::string lower = AsciiLowerCopy(path);
  if (lower.starts_with("\\")) lower.erase(0, 1);
  for (const std::string& made : d.made)
    if (lower == made || lower.starts_with(made.ends_with("\\") ? made : made + "\\")) return nullptr;
  try {
    if (const TGFFField* f = d.doc->GetField(path)) return f;
    c_.Report(d.missingSeverity, &s, &e,
              FormatMsg("The field path %s does not exist in the mod's own %s.", {Quote(path), d.name}));
  } catch (const Exception& x) {
    c_.Error(&s, &e, FormatMsg("The field path %s is malformed and ends the run: %s", {Quote(path), x.what()}));
  }
  return nullptr;
}

void GFFCheck::CheckFieldKeys(const Section& s) {
  for (const validate::Entry& e : s.entries) {
    const std::string& k = e.key;
    if (EqualsNoCase(k, "FieldType") || EqualsNoCase(k, "Path") || EqualsNoCase(k, "Label") ||
        EqualsNoCase(k, "Value") || EqualsNoCase(k, "StrRef") || EqualsNoCase(k, "TypeId") ||
        Check::IsMemoryWord(k) || Check::IsMisspeltMemoryWord(k))
      continue;
    if (k.size() > 4 && k.starts_with("lang") && IsDigits(k.substr(4))) continue;
    if (k.starts_with("AddField")) {
      if (k.size() == 8) c_.Warning(&s, &e, "A nested AddField key needs more than the word itself; it is ignored.");
      continue;
    }
    if (k.size() > 4 && StartsWithNoCase(k, "lang") && IsDigits(k.substr(4)))
      c_.Error(&s, &e, FormatMsg("Written %s, the key sets no text: only \"lang\" in lower case does.", {Quote(k)}));
    else if (StartsWithNoCase(k, "AddField"))
      c_.Error(&s, &e, FormatMsg("Written %s, the key adds no field: only \"AddField\" in exactly this case does.",
                                 {Quote(k)}));
    else
      c_.Warning(&s, &e, FormatMsg("An AddField section reads no key %s.", {Quote(k)}));
  }
}

void GFFCheck::AddField(const Section& from, const validate::Entry& by, std::string_view name,
                        const std::string& parent, Document& d, std::vector<const Section*>& chain) {
  const Section* s = c_.Named(name, from, by);
  if (!s) return;
  if (std::find(chain.begin(), chain.end(), s) != chain.end()) {
    c_.Error(&from, &by,
             FormatMsg("The AddField section [%s] contains itself; the installer stops adding there.", {s->name}));
    return;
  }
  chain.push_back(s);
  if (c_.FirstVisit(*s, "addfield")) CheckFieldKeys(*s);

  const validate::Entry* typeKey = c_.Find(*s, "FieldType");
  const std::string type = c_.Value(s, "FieldType");
  bool known = std::find(std::begin(kFieldTypes), std::end(kFieldTypes), type) != std::end(kFieldTypes);
  if (!known) {
    auto other = std::find_if(std::begin(kFieldTypes), std::end(kFieldTypes),
                              [&](std::string_view t) { return OtherCase(type, t); });
    if (other != std::end(kFieldTypes))
      c_.Error(s, typeKey, FormatMsg("Written %s, the type is not known: write %s.", {Quote(type), Quote(*other)}));
    else if (type.empty())
      c_.Error(s, typeKey, "No FieldType is given; no field is added.");
    else
      c_.Error(s, typeKey, FormatMsg("%s is not a field type; no field is added.", {Quote(type)}));
  }

  const validate::Entry* pathKey = c_.Find(*s, "Path");
  const std::string path = c_.Value(s, "Path", parent);
  bool parentIsList = type == "Struct" && c_.Value(s, "Label").empty();
  if (pathKey && !path.empty())
    if (const TGFFField* p = CheckPath(*s, *pathKey, path, d)) parentIsList = p->FieldType() == TGFFFieldType::List;
  const std::string label = c_.Value(s, "Label");
  if (label.empty() && !parentIsList && known)
    c_.Error(s, nullptr, "No Label is given for a field added to a struct; no field is added.");

  // The values are read before anything of this section is stored.
  const validate::Entry* value = c_.Find(*s, "Value");
  if (value) {
    c_.CheckValue(*s, *value, value->value);
    const std::string& v = value->value;
    const bool token = Check::IsMemoryWord(v) || (v.size() >= 7 && StartsWithNoCase(v, "strref"));
    bool fits = true;
    if (!token) {
      if (type == "Byte" || type == "Word" || type == "DWORD") fits = IsDigits(v);
      if (type == "Short" || type == "Int" || type == "Int64") fits = IsInteger(v);
      fits = fits && RealsFit(type, v, false);
      if (type == "Char") fits = !v.empty();
    }
    if (!fits)
      c_.Error(s, value, FormatMsg("%s is no value for a %s field; no field is added.", {Quote(v), type}));
  }
  if (const validate::Entry* strRef = c_.Find(*s, "StrRef")) {
    c_.CheckValue(*s, *strRef, strRef->value);
    const std::string& v = strRef->value;
    if (!IsDigits(v) && v != "-1" && !Check::IsMemoryWord(v) && !(v.size() >= 7 && StartsWithNoCase(v, "strref")))
      c_.Warning(s, strRef, FormatMsg("%s is no string number; -1 is used.", {Quote(v)}));
  }
  for (const validate::Entry& e : s->entries)
    if (e.key.size() > 4 && e.key.starts_with("lang") && IsDigits(e.key.substr(4))) c_.CheckValue(*s, e, e.value);

  std::string made = AsciiLowerCopy(path);
  if (made.starts_with("\\")) made.erase(0, 1);
  if (parentIsList)
    made += "\\";  // the new struct's index is known only at install time
  else
    made = made.empty() ? AsciiLowerCopy(label) : made + "\\" + AsciiLowerCopy(label);
  d.made.push_back(made);
  const std::string newPath = parentIsList ? path + "\\#" : (path.empty() ? label : path + "\\" + label);

  for (const validate::Entry& e : s->entries) {
    if (!e.value.empty() && c_.StoreKey(*s, e)) {
      if (!EqualsNoCase(e.value, "listindex") && !EqualsNoCase(e.value, "!fieldpath"))
        c_.Warning(s, &e, FormatMsg("%s stores nothing: use listindex or !fieldpath.", {Quote(e.value)}));
      continue;
    }
    if (e.key.size() > 8 && e.key.starts_with("AddField")) {
      if (type != "Struct" && type != "List")
        c_.Warning(s, &e, "Only a Struct or a List holds fields; this AddField key is ignored.");
      else if (!e.value.empty())
        AddField(*s, e, e.value, newPath, d, chain);
    }
  }
  chain.pop_back();
}

void GFFCheck::Entry(const Section& list, const validate::Entry& e) {
  if (e.value.empty()) {
    c_.Warning(&list, &e, "No GFF file is named here; the entry is skipped.");
    return;
  }
  const Section* s = c_.Named(e.value, list, e);
  if (!s) return;
  std::string fileName = e.value;
  if (const validate::Entry* f = c_.Find(*s, "!Filename"); f && !f->value.empty()) {
    if (!platform::GameFileSystem::IsContained(f->value) || f->value.find_first_of("/\\:") != std::string::npos) {
      c_.Error(s, f, FormatMsg("%s must be a plain file name; the entry is skipped.", {Quote(f->value)}));
      return;
    }
    fileName = f->value;
  }
  if (!c_.StaysInside(&list, &e, fileName, "game")) return;
  const std::string destination = c_.Value(s, "!Destination", "override");
  if (!EqualsNoCase(destination, "override") && !destination.empty())
    if (!c_.StaysInside(s, c_.Find(*s, "!Destination"), destination, "game")) return;
  c_.CheckFileSection(e.value);
  c_.CheckOverrideType(*s);
  const bool replace = c_.Bool(s, "!ReplaceFile", false);
  std::string source = fileName;
  if (const validate::Entry* src = c_.Find(*s, "!SourceFile"); src && !src->value.empty()) source = src->value;
  if (replace && source == fileName && !c_.DataFileExists(source))
    c_.Error(s, c_.Find(*s, "!ReplaceFile"),
             FormatMsg("!ReplaceFile takes the mod's own copy, but %s is not in the data folder.", {Quote(source)}));

  Document d;
  d.doc = Load(source);
  d.name = Quote(source);
  d.missingSeverity = replace ? TSeverity::Error : TSeverity::Warning;
  std::vector<const Section*> chain{s};
  const bool firstVisit = c_.FirstVisit(*s, "gff");
  for (const validate::Entry& k : s->entries) {
    const bool memoryKey = Check::IsMemoryWord(k.key);
    if (memoryKey) c_.CheckMemoryRead(*s, k, k.key);
    if (IsReserved(k.key)) continue;
    c_.CheckValue(*s, k, k.value);
    if (k.key.starts_with("AddField")) {
      if (!k.value.empty()) AddField(*s, k, k.value, "", d, chain);
      continue;
    }
    if (k.value.empty()) {
      c_.Warning(s, &k, "The value is empty; the field is left as it is.");
      continue;
    }
    if (memoryKey) continue;  // a path stored at install time
    if (Check::IsMisspeltMemoryWord(k.key)) {
      c_.Error(s, &k,
               FormatMsg("Written %s, the key is taken as a field path: only \"2DAMEMORY\" in capitals names a "
                         "stored path.",
                         {Quote(k.key)}));
      continue;
    }
    if (!firstVisit) continue;
    if (StartsWithNoCase(k.key, "AddField")) {
      c_.Error(s, &k,
               FormatMsg("Written %s, the key is taken as a field path: only \"AddField\" in exactly this case adds "
                         "a field.",
                         {Quote(k.key)}));
      continue;
    }
    if (k.key.starts_with("!")) {
      c_.Warning(s, &k, FormatMsg("%s is no reserved key; it is taken as a field path.", {Quote(k.key)}));
      continue;
    }
    std::string_view path = k.key;
    const std::size_t open = path.find('('), close = path.find(')');
    if (open != std::string_view::npos && close != std::string_view::npos) {
      std::string_view suffix = close > open ? path.substr(open, close - open + 1) : std::string_view{};
      if (OtherCase(suffix, "(strref)") ||
          (suffix.size() > 6 && StartsWithNoCase(suffix, "(lang") && !suffix.starts_with("(lang")))
        c_.Error(s, &k,
                 FormatMsg("Written %s, the suffix is not understood: write \"(strref)\" or \"(lang\" and a number "
                           "in lower case.",
                           {Quote(suffix)}));
      path = path.substr(0, open);
    }
    const TGFFField* field = CheckPath(*s, k, path, d);
    const bool token = Check::IsMemoryWord(k.value) || (k.value.size() >= 7 && StartsWithNoCase(k.value, "strref"));
    const std::string_view real = field ? RealTypeName(field->FieldType()) : "";
    if (!real.empty() && !token && !RealsFit(real, k.value, true))
      c_.Warning(s, &k, FormatMsg("%s is no value for the %s field %s; it is left as it is.",
                                  {Quote(k.value), std::string(real), Quote(path)}));
  }
}

}  // namespace

void CheckGFFList(Check& c) {
  const Section* list = c.Find("GFFList");
  if (!list) return;
  GFFCheck gff(c);
  for (const Entry& e : list->entries) gff.Entry(*list, e);
}

}  // namespace vey::validate
