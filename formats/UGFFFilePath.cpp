// UGFFFile: field paths ("ItemList\2\Tag"), values given as text, and the
// attachment of new nodes under a struct or list.
#include <charconv>
#include <limits>
#include <optional>
#include <type_traits>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "formats/UGFFFile.h"

namespace vey {
namespace {

// Decimal digits with an optional leading minus (only when min < 0), within
// [min, max]. A lone "-" or a number out of range is no value.
std::optional<std::int64_t> ParseInteger(std::string_view s, std::int64_t min, std::int64_t max) {
  bool negative = !s.empty() && s[0] == '-';
  if (negative && min >= 0) return std::nullopt;
  if (!IsDigits(negative ? s.substr(1) : s)) return std::nullopt;
  std::int64_t v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  if (v < min || v > max) return std::nullopt;
  return v;
}

// The number tests of the instruction file (exponents included); texts such
// as "1.2.3" pass the test but are no number and give nothing.
template <typename R>
std::optional<R> ParseReal(std::string_view s) {
  if constexpr (std::is_same_v<R, float>)
    return ParseSingle(s);
  else
    return ParseDouble(s);
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The components of a path: texts of one or two characters are one
// component as they stand; longer ones split at backslashes, empty pieces dropped.
std::vector<std::string_view> SplitPath(std::string_view path) {
  if (path.size() < 3) return {path};
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

template <class T, std::size_t N>
TGFFSetResult SetComponents(T& field, std::string_view value) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t bar = value.find('|', start);
    parts.push_back(value.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  if (parts.size() != N) return TGFFSetResult::Rejected;
  auto v = field.Value();
  std::size_t stored = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (auto x = ParseReal<float>(parts[i])) {
      v[i] = *x;
      ++stored;
    }
  }
  field.SetValue(v);
  if (stored == N) return TGFFSetResult::Stored;
  return stored ? TGFFSetResult::PartlyStored : TGFFSetResult::Rejected;
}

TGFFSetResult SetLocalized(TGFF_CExoLocString& loc, std::string_view suffix, std::string_view value) {
  if (suffix == "(strref)") {
    if (value == "-1") {
      loc.SetStringRef(TGFF_CExoLocString::kNoStrRef);
      return TGFFSetResult::Stored;
    }
    auto v = ParseInteger(value, 0, std::numeric_limits<std::uint32_t>::max());
    if (!v) return TGFFSetResult::Rejected;
    loc.SetStringRef(static_cast<std::uint32_t>(*v));
    return TGFFSetResult::Stored;
  }
  if (suffix.size() > 5 && suffix.substr(0, 5) == "(lang") {
    auto id = ParseInteger(suffix.substr(5, suffix.size() - 6), 0, kInt32Max);
    if (id && loc.SetLanguageText(static_cast<std::int32_t>(*id), value, false)) return TGFFSetResult::Stored;
  }
  return TGFFSetResult::Rejected;
}

template <class T>
TGFFSetResult SetInteger(TGFFField& field, std::string_view value, std::int64_t min, std::int64_t max) {
  auto v = ParseInteger(value, min, max);
  if (!v) return TGFFSetResult::Rejected;
  static_cast<T&>(field).SetValue(static_cast<typename T::ValueType>(*v));
  return TGFFSetResult::Stored;
}

}  // namespace

TGFFSetResult SetFieldText(TGFFField& field, std::string_view suffix, std::string_view value) {
  using R = TGFFSetResult;
  switch (field.FieldType()) {
    // Byte and Word keep the low bits of larger numbers (300 gives 44).
    case TGFFFieldType::Byte: return SetInteger<TGFF_SByte>(field, value, 0, kInt32Max);
    case TGFFFieldType::Word: return SetInteger<TGFF_SWord>(field, value, 0, kInt32Max);
    case TGFFFieldType::Short: return SetInteger<TGFF_SShort>(field, value, kInt32Min, kInt32Max);
    case TGFFFieldType::DWORD:
      return SetInteger<TGFF_SDWORD>(field, value, 0, std::numeric_limits<std::uint32_t>::max());
    case TGFFFieldType::Int: return SetInteger<TGFF_SInt>(field, value, kInt32Min, kInt32Max);
    case TGFFFieldType::Int64:
      return SetInteger<TGFF_CInt64>(field, value, std::numeric_limits<std::int64_t>::min(),
                                     std::numeric_limits<std::int64_t>::max());
    case TGFFFieldType::Char:
      if (value.empty()) return R::Rejected;
      static_cast<TGFF_SChar&>(field).SetValue(value[0]);
      return R::Stored;
    case TGFFFieldType::Float: {
      auto v = ParseReal<float>(value);
      if (!v) return R::Rejected;
      static_cast<TGFF_SFloat&>(field).SetValue(*v);
      return R::Stored;
    }
    case TGFFFieldType::Double: {
      auto v = ParseReal<double>(value);
      if (!v) return R::Rejected;
      static_cast<TGFF_CDouble&>(field).SetValue(*v);
      return R::Stored;
    }
    case TGFFFieldType::ExoString: static_cast<TGFF_CExoString&>(field).SetValue(value); return R::Stored;
    case TGFFFieldType::ResRef: static_cast<TGFF_CResRef&>(field).SetValue(value); return R::Stored;
    case TGFFFieldType::ExoLocString:
      return SetLocalized(static_cast<TGFF_CExoLocString&>(field), suffix, value);
    case TGFFFieldType::Orientation:
      return SetComponents<TGFF_COrientation, 4>(static_cast<TGFF_COrientation&>(field), value);
    case TGFFFieldType::Position:
      return SetComponents<TGFF_CPosition, 3>(static_cast<TGFF_CPosition&>(field), value);
    default: return R::Rejected;  // DWORD64, Void, Struct, List are not set from text
  }
}

TGFFField* TGFFFile::GetField(std::string_view path, TGFFTrail* trail) const {
  auto parts = SplitPath(path);
  if (parts.empty())
    throw EGFFError("Invalid field path " + std::string(path) + " encountered! Unable to load specified field.", 0);
  if (trail) trail->clear();
  if (!root_) return nullptr;
  TGFFField* cur = root_->FindField(parts[0]);
  for (std::size_t i = 1; i < parts.size() && cur; ++i) {
    if (trail) trail->push_back(cur);
    if (auto* s = cur->As<TGFFStruct>()) {
      cur = s->FindField(parts[i]);
    } else if (auto* list = cur->As<TGFFList>()) {
      if (!IsDigits(parts[i]))
        throw EGFFError(FormatMsg("Unable to retrieve struct at path %s, %s is not a valid list index!",
                                  {path, parts[i]}),
                        0);
      auto index = ParseInteger(parts[i], 0, kInt32Max);
      cur = index && *index < list->Count() ? list->Structs()[static_cast<std::size_t>(*index)].get() : nullptr;
    } else if (i == 1) {
      throw EGFFError(FormatMsg("Unable to retrieve field at path %s, the field %s is not a LIST or STRUCT!",
                                {path, cur->Label()}),
                      0);
    } else {
      throw EGFFError(FormatMsg("Unable to retrieve struct field at path %s, the field %s is not a LIST or STRUCT!",
                                {path, cur->Label()}),
                      1);
    }
  }
  if (trail) {
    if (cur)
      trail->push_back(cur);
    else
      trail->clear();
  }
  return cur;
}

std::pair<std::string_view, std::string_view> SplitValuePath(std::string_view path) {
  std::string_view suffix;
  std::size_t open = path.find('(');
  std::size_t close = path.find(')');
  if (open != std::string_view::npos && close != std::string_view::npos) {
    // ")" before "(" leaves an empty suffix; the path still ends before "(".
    if (close > open) suffix = path.substr(open, close - open + 1);
    path = path.substr(0, open);
  }
  return {path, suffix};
}

TGFFSetResult TGFFFile::SetFieldValue(std::string_view valuePath, std::string_view value) {
  const auto [path, suffix] = SplitValuePath(valuePath);
  TGFFTrail trail;
  TGFFField* field = GetField(path, observer_ ? &trail : nullptr);
  if (!field) return TGFFSetResult::NoField;
  if (observer_) observer_->Changing(trail);
  return SetFieldText(*field, suffix, value);
}

TGFFField* TGFFFile::AddField(std::unique_ptr<TGFFField> node, std::string_view parentPath) {
  TGFFTrail trail;
  TGFFField* parent = parentPath.empty() ? root_.get() : GetField(parentPath, observer_ ? &trail : nullptr);
  TGFFField* added = AttachField(parent, std::move(node), parentPath);
  if (added && observer_) observer_->Added(trail, *added);
  return added;
}

TGFFField* TGFFFile::AttachField(TGFFField* parent, std::unique_ptr<TGFFField> node, std::string_view parentPath) {
  if (!parent)
    throw EGFFError(FormatMsg("Unable to add new field at path %s since the specified parent field could not be found.",
                              {parentPath}),
                    0);
  if (auto* s = parent->As<TGFFStruct>()) return s->AddField(std::move(node));
  auto* list = parent->As<TGFFList>();
  if (!list)
    throw EGFFError(FormatMsg("Unable to add new field at path %s since the field %s is not a LIST or STRUCT!",
                              {parentPath, parent->Label()}),
                    0);
  if (!node || node->FieldType() != TGFFFieldType::Struct)
    throw EGFFError(FormatMsg("Unable to add new field to the LIST %s since the field %s is not a STRUCT!",
                              {parentPath, node ? node->Label() : std::string()}),
                    0);
  std::unique_ptr<TGFFStruct> element(static_cast<TGFFStruct*>(node.release()));
  return list->AddStruct(std::move(element));
}

}  // namespace vey
