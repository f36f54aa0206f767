// UFormatDiff: comparing 2DA tables, talk tables, soundsets and archives.
// (GFF documents are compared in UGFFDiff.cpp.)
#include "formats/UFormatDiff.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

#include "common/Win1252.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFValueText.h"
#include "formats/USSFFile.h"
#include "formats/UTLKFile.h"

namespace vey {

namespace diff_detail {

std::string QuotedText(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace diff_detail

using diff_detail::QuotedText;

namespace {

using Kind = TDifference::Kind;

void Changed(TDifferences& out, std::string where, std::string first, std::string second) {
  out.push_back({Kind::Changed, std::move(where), std::move(first), std::move(second)});
}

// A table cell as the text form would write it: quoted only when it must be.
std::string CellText(std::string_view cell) {
  if (cell.empty() || cell.find_first_of(" \t\"") != std::string_view::npos) return QuotedText(cell);
  return std::string(cell);
}

// A whole row in the text form's shape: its label, then its cells.
std::string RowText(const T2DAHandler& table, std::int32_t row) {
  std::string text = CellText(table.GetRowLabel(row));
  for (std::int32_t c = 0; c < table.ColumnCount(); ++c) {
    text += ' ';
    text += CellText(table.GetCell(row, c));
  }
  return text;
}

std::string ColumnWhere(const std::string& label) { return "column " + QuotedText(label); }

std::unordered_map<std::string, std::int32_t> FirstColumnByLabel(const T2DAHandler& table) {
  std::unordered_map<std::string, std::int32_t> map;
  for (std::int32_t c = 0; c < table.ColumnCount(); ++c) map.emplace(AsciiLowerCopy(table.GetColumnLabel(c)), c);
  return map;
}

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) {
    if (!text.empty()) text += ' ';
    text += CellText(item);
  }
  return text;
}

}  // namespace

TDifferences DiffTables(const T2DAHandler& first, const T2DAHandler& second) {
  TDifferences out;
  const auto secondColumns = FirstColumnByLabel(second);
  const auto firstColumns = FirstColumnByLabel(first);
  // Shared columns as (first index, second index), in the first table's order.
  std::vector<std::pair<std::int32_t, std::int32_t>> shared;
  for (std::int32_t c = 0; c < first.ColumnCount(); ++c) {
    const std::string& label = first.GetColumnLabel(c);
    const std::string key = AsciiLowerCopy(label);
    if (firstColumns.at(key) != c) continue;  // a repeated label: only its first column is reachable
    auto it = secondColumns.find(key);
    if (it == secondColumns.end()) {
      out.push_back({Kind::OnlyInFirst, ColumnWhere(label), QuotedText(label), {}});
      continue;
    }
    if (second.GetColumnLabel(it->second) != label)
      Changed(out, ColumnWhere(label) + " label", QuotedText(label), QuotedText(second.GetColumnLabel(it->second)));
    shared.emplace_back(c, it->second);
  }
  for (std::int32_t c = 0; c < second.ColumnCount(); ++c) {
    const std::string& label = second.GetColumnLabel(c);
    const std::string key = AsciiLowerCopy(label);
    if (secondColumns.at(key) == c && !firstColumns.contains(key))
      out.push_back({Kind::OnlyInSecond, ColumnWhere(label), {}, QuotedText(label)});
  }
  if (!std::is_sorted(shared.begin(), shared.end(), [](auto& a, auto& b) { return a.second < b.second; })) {
    std::vector<std::string> firstOrder, secondOrder;
    for (auto [a, b] : shared) firstOrder.push_back(first.GetColumnLabel(a));
    std::sort(shared.begin(), shared.end(), [](auto& a, auto& b) { return a.second < b.second; });
    for (auto [a, b] : shared) secondOrder.push_back(second.GetColumnLabel(b));
    Changed(out, "column order", Join(firstOrder), Join(secondOrder));
    std::sort(shared.begin(), shared.end());
  }

  const std::int32_t rows = std::min(first.RowCount(), second.RowCount());
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::string where = "row " + std::to_string(r);
    if (first.GetRowLabel(r) != second.GetRowLabel(r))
      Changed(out, where + " label", CellText(first.GetRowLabel(r)), CellText(second.GetRowLabel(r)));
    for (auto [a, b] : shared) {
      const std::string& x = first.GetCell(r, a);
      const std::string& y = second.GetCell(r, b);
      if (x != y) Changed(out, where + ", " + ColumnWhere(first.GetColumnLabel(a)), CellText(x), CellText(y));
    }
  }
  for (std::int32_t r = rows; r < first.RowCount(); ++r)
    out.push_back({Kind::OnlyInFirst, "row " + std::to_string(r), RowText(first, r), {}});
  for (std::int32_t r = rows; r < second.RowCount(); ++r)
    out.push_back({Kind::OnlyInSecond, "row " + std::to_string(r), {}, RowText(second, r)});
  return out;
}

TDifferences DiffTalkTables(const TTLKFileHandler& first, const TTLKFileHandler& second) {
  TDifferences out;
  if (first.LanguageId() != second.LanguageId())
    Changed(out, "language", std::to_string(first.LanguageId()), std::to_string(second.LanguageId()));
  const auto& a = first.Entries();
  const auto& b = second.Entries();
  const std::size_t common = std::min(a.Size(), b.Size());
  auto number = [](std::uint32_t v) { return std::to_string(v); };
  for (std::size_t i = 0; i < common; ++i) {
    const TTLKString& x = a[i];
    const TTLKString& y = b[i];
    const std::string where = "StrRef " + std::to_string(i);
    if (x.Text() != y.Text()) Changed(out, where + " text", QuotedText(x.Text()), QuotedText(y.Text()));
    if (x.Flags() != y.Flags()) Changed(out, where + " flags", number(x.Flags()), number(y.Flags()));
    if (x.SoundResRef() != y.SoundResRef())
      Changed(out, where + " sound", QuotedText(x.SoundResRefText()), QuotedText(y.SoundResRefText()));
    if (x.VolumeVariance() != y.VolumeVariance())
      Changed(out, where + " volume variance", number(x.VolumeVariance()), number(y.VolumeVariance()));
    if (x.PitchVariance() != y.PitchVariance())
      Changed(out, where + " pitch variance", number(x.PitchVariance()), number(y.PitchVariance()));
    if (x.SoundLengthBits() != y.SoundLengthBits())
      Changed(out, where + " sound length", ShortestText(x.SoundLength()), ShortestText(y.SoundLength()));
  }
  for (std::size_t i = common; i < a.Size(); ++i)
    out.push_back({Kind::OnlyInFirst, "StrRef " + std::to_string(i), QuotedText(a[i].Text()), {}});
  for (std::size_t i = common; i < b.Size(); ++i)
    out.push_back({Kind::OnlyInSecond, "StrRef " + std::to_string(i), {}, QuotedText(b[i].Text())});
  return out;
}

TDifferences DiffSoundsets(const TSSFFile& first, const TSSFFile& second) {
  TDifferences out;
  for (int i = 1; i <= TSSFFile::kEntries; ++i)
    if (first.Value(i) != second.Value(i))
      Changed(out, QuotedText(first.Label(i)), std::to_string(first.Value(i)), std::to_string(second.Value(i)));
  return out;
}

namespace {

struct ResourceKey {
  std::string name;  // as stored, for messages
  int type;
};

// Lower-cased "name.ext" (or "name.#type" without a known extension) -> the
// first resource of that name; later ones of the same name cannot be told apart.
std::map<std::string, ResourceKey> ResourcesByName(const TERFHandler& archive) {
  std::map<std::string, ResourceKey> map;
  for (const auto& r : archive.Resources()) {
    const std::string ext = TERF_Resource::TypeToExtension(r->ResType);
    const std::string name = r->ResRef.Name() + (ext.empty() ? ".#" + std::to_string(r->ResType) : "." + ext);
    map.emplace(AsciiLowerCopy(name), ResourceKey{name, r->ResType});
  }
  return map;
}

std::string ContentText(std::span<const std::uint8_t> data, const TContentDigest& digest) {
  return std::to_string(data.size()) + " bytes, " + digest(data);
}

void DiffArchiveHeaders(const TERFHandler& first, const TERFHandler& second, TDifferences& out) {
  const TERF_Header* a = first.IsRIM() ? static_cast<const TERF_Header*>(first.RIMHeader()) : first.ERFHeader();
  const TERF_Header* b = second.IsRIM() ? static_cast<const TERF_Header*>(second.RIMHeader()) : second.ERFHeader();
  if (a && b && a->FileType != b->FileType) Changed(out, "file type", QuotedText(a->FileType), QuotedText(b->FileType));
  const TERF_ERFHeader* x = first.ERFHeader();
  const TERF_ERFHeader* y = second.ERFHeader();
  if (!x || !y) return;
  if (x->DescriptionStrRef != y->DescriptionStrRef)
    Changed(out, "description StrRef", StrRefText(x->DescriptionStrRef), StrRefText(y->DescriptionStrRef));
  std::map<std::int32_t, std::pair<const std::string*, const std::string*>> texts;
  for (const auto& s : first.LocStrings()) texts[s.LanguageId].first = &s.Text();
  for (const auto& s : second.LocStrings()) texts[s.LanguageId].second = &s.Text();
  for (const auto& [language, pair] : texts) {
    const std::string where = "localized string, language " + std::to_string(language);
    if (!pair.second)
      out.push_back({Kind::OnlyInFirst, where, QuotedText(*pair.first), {}});
    else if (!pair.first)
      out.push_back({Kind::OnlyInSecond, where, {}, QuotedText(*pair.second)});
    else if (*pair.first != *pair.second)
      Changed(out, where, QuotedText(*pair.first), QuotedText(*pair.second));
  }
}

}  // namespace

TDifferences DiffArchives(const TERFHandler& first, const TERFHandler& second, const TContentDigest& digest) {
  TDifferences out;
  DiffArchiveHeaders(first, second, out);
  const auto a = ResourcesByName(first);
  const auto b = ResourcesByName(second);
  // Walks both name-ordered maps at once, so the report is sorted by name.
  auto i = a.begin();
  auto j = b.begin();
  while (i != a.end() || j != b.end()) {
    if (j == b.end() || (i != a.end() && i->first < j->first)) {
      const auto data = first.ExtractResourceData(i->second.name.substr(0, i->second.name.rfind('.')), i->second.type);
      out.push_back({Kind::OnlyInFirst, i->second.name, ContentText(data, digest), {}});
      ++i;
    } else if (i == a.end() || j->first < i->first) {
      const auto data = second.ExtractResourceData(j->second.name.substr(0, j->second.name.rfind('.')), j->second.type);
      out.push_back({Kind::OnlyInSecond, j->second.name, {}, ContentText(data, digest)});
      ++j;
    } else {
      const auto x = first.ExtractResourceData(i->second.name.substr(0, i->second.name.rfind('.')), i->second.type);
      const auto y = second.ExtractResourceData(j->second.name.substr(0, j->second.name.rfind('.')), j->second.type);
      if (x != y) Changed(out, i->second.name, ContentText(x, digest), ContentText(y, digest));
      ++i;
      ++j;
    }
  }
  return out;
}

}  // namespace vey
