// UGFFAddField: AddGFFField, which adds one field described by an instruction
// section (and, through nested sections, a whole subtree) to the document
// being patched, or modifies the field of that label when it exists.
#include <array>
#include <charconv>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/StrFormat.h"
#include "common/UQK_Common.h"
#include "common/Win1252.h"
#include "engine/run/UVEYPatcher.h"

namespace vey {
namespace {

std::optional<TGFFFieldType> TypeFromName(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, TGFFFieldType>, 16> kNames{{
      {"Byte", TGFFFieldType::Byte},
      {"Char", TGFFFieldType::Char},
      {"Word", TGFFFieldType::Word},
      {"Short", TGFFFieldType::Short},
      {"DWORD", TGFFFieldType::DWORD},
      {"Int", TGFFFieldType::Int},
      {"Int64", TGFFFieldType::Int64},
      {"Float", TGFFFieldType::Float},
      {"Double", TGFFFieldType::Double},
      {"ExoString", TGFFFieldType::ExoString},
      {"ResRef", TGFFFieldType::ResRef},
      {"ExoLocString", TGFFFieldType::ExoLocString},
      {"Orientation", TGFFFieldType::Orientation},
      {"Position", TGFFFieldType::Position},
      {"Struct", TGFFFieldType::Struct},
      {"List", TGFFFieldType::List},
  }};
  for (const auto& [text, type] : kNames)
    if (text == name) return type;  // case matters: "byte" is no type name
  return std::nullopt;
}

// Plain digits within 32 bits unsigned ("4294967295" included).
std::optional<std::uint32_t> ParseDWord(std::string_view s) {
  if (!IsDigits(s)) return std::nullopt;
  std::uint32_t v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// A vector component: a number, or nothing for texts that only look like one.
std::optional<float> Component(std::string_view s) { return ParseSingle(s); }

std::vector<std::string_view> SplitBars(std::string_view value) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t bar = value.find('|', start);
    parts.push_back(value.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) return parts;
    start = bar + 1;
  }
}

// A new Orientation or Position: with exactly N parts every part must be a
// number; with any other count the first N parts are taken, 0 where missing.
template <class T, std::size_t N>
std::unique_ptr<TGFFField> NewVector(std::string_view label, std::string_view value) {
  auto parts = SplitBars(value);
  std::array<float, N> v{};
  for (std::size_t i = 0; i < N && i < parts.size(); ++i) {
    auto x = Component(parts[i]);
    if (!x && parts.size() == N) return nullptr;
    v[i] = x.value_or(0.0f);
  }
  return std::make_unique<T>(label, v);
}

// A new field of a type set from text, or null when the value does not suit it.
template <class T>
std::unique_ptr<TGFFField> NewFromText(std::string_view label, std::string_view value) {
  auto field = std::make_unique<T>(label, typename T::ValueType{});
  if (SetFieldText(*field, "", value) != TGFFSetResult::Stored) return nullptr;
  return field;
}

enum class Modify { NoRow, BadValue, Applied };

}  // namespace

bool TVEYPatcher::AddGFFField(std::string_view sectionName, std::string_view defaultPath) {
  const std::string section(sectionName);
  const TQK_Inifile& ini = IniFile();
  if (!ini.SectionExists(section)) {
    LogMessage(FormatMsg("Unable to locate section \"%s\" when attempting to add GFF Field, skipping...", {section}),
               LogKind::Warning);
    return false;
  }
  for (const std::string& open : addFieldChain_) {
    if (EqualsNoCase(open, section)) {
      LogMessage(FormatMsg("Section \"%s\" adds fields inside itself through its AddField keys, skipping it...",
                           {section}),
                 LogKind::Warning);
      return false;
    }
  }
  // Deeper documents could not be read back; a chain of distinct sections
  // this long is a mistake that would otherwise exhaust the stack.
  if (addFieldChain_.size() >= kGFFMaxDepth) {
    LogMessage(FormatMsg("Section \"%s\" is nested too deeply to add fields, skipping it...", {section}),
               LogKind::Warning);
    return false;
  }
  addFieldChain_.push_back(section);
  struct ChainPop {
    std::vector<std::string>& chain;
    ~ChainPop() { chain.pop_back(); }
  } chainPop{addFieldChain_};

  auto resolve = [this](std::string text) {
    if (IsStrRefToken(text)) text = IntToStr(ResolveStrRefToken(text));
    return ResolveMemoryToken(text);
  };
  const std::string fieldType = ini.ReadString(section, "FieldType", "");
  const std::string path = ini.ReadString(section, "Path", defaultPath);
  const std::string label = ini.ReadString(section, "Label", "");
  std::string value = ini.ReadString(section, "Value", "");
  const std::string fileName = LastComponent(GFFDocument.FileName().string());

  TGFFField* parent = path.empty() ? GFFDocument.RootStruct() : GFFDocument.GetField(path);
  TGFFList* parentList = parent ? parent->As<TGFFList>() : nullptr;
  if (!parent || (!parentList && !parent->As<TGFFStruct>())) {
    LogMessage(FormatMsg("Parent field at \"%s\" does not exist or is not a LIST or STRUCT! Unable to add new "
                         "Field \"%s\"...",
                         {path, label}),
               LogKind::Warning);
    return false;
  }
  value = resolve(value);
  const std::optional<TGFFFieldType> type = TypeFromName(fieldType);
  const std::string prefix = path.empty() ? std::string() : path + "\\";
  const std::string where = path.empty() ? std::string("root") : prefix;

  // The string reference and the "lang" + digits keys of a localized string.
  auto fillLocalized = [&](TGFF_CExoLocString& loc, bool existing) {
    std::string strRef = resolve(ini.ReadString(section, "StrRef", "-1"));
    std::optional<std::uint32_t> ref;
    if (strRef == "-1") ref = TGFF_CExoLocString::kNoStrRef;
    else ref = ParseDWord(strRef);
    if (!ref) {
      LogMessage(FormatMsg("Invalid StrRef value \"%s\" when attempting to add ExoLocString. Defaulting to -1...",
                           {strRef}),
                 LogKind::Warning);
      ref = TGFF_CExoLocString::kNoStrRef;
    }
    loc.SetStringRef(*ref);
    for (const std::string& key : ini.ReadSection(section)) {
      if (key.size() <= 4 || key.compare(0, 4, "lang") != 0) continue;
      auto id = ParseDWord(std::string_view(key).substr(4));
      if (!id || *id > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) continue;
      const std::string text = resolve(ini.ReadString(section, key, ""));
      if (existing) loc.SetLanguageText(static_cast<std::int32_t>(*id), text, true);
      else loc.AddSubstring(static_cast<std::int32_t>(*id), text);
    }
  };

  TGFFField* field = nullptr;
  bool added = false;
  std::int32_t listIndex = -1;
  std::string fieldPath;

  if (!parentList) {
    if (label.empty()) {
      LogMessage(FormatMsg("No field label has been specified for new field in section \"%s\"! Unable to create "
                           "field...",
                           {section}),
                 LogKind::Warning);
      return false;
    }
    TGFFTrail trail;
    if (TGFFField* existing = GFFDocument.GetField(prefix + label, &trail)) {
      Modify outcome = Modify::NoRow;
      if (type && *type == existing->FieldType()) {
        if (TGFFEditObserver* observer = GFFDocument.Observer()) observer->Changing(trail);
        outcome = Modify::Applied;
        switch (*type) {
          case TGFFFieldType::Char:
            existing->As<TGFF_SChar>()->SetValue(value.empty() ? '\0' : value[0]);
            break;
          case TGFFFieldType::ExoString: existing->As<TGFF_CExoString>()->SetValue(value); break;
          case TGFFFieldType::ResRef: existing->As<TGFF_CResRef>()->SetValue(value); break;
          case TGFFFieldType::ExoLocString: fillLocalized(*existing->As<TGFF_CExoLocString>(), true); break;
          case TGFFFieldType::Struct:
            if (auto id = ParseDWord(ini.ReadString(section, "TypeId", "")))
              existing->As<TGFFStruct>()->SetStructType(*id);
            break;
          case TGFFFieldType::List: break;
          default:
            // The numbers and vectors convert as values set by path do.
            if (SetFieldText(*existing, "", value) == TGFFSetResult::Rejected) outcome = Modify::BadValue;
            break;
        }
      }
      if (outcome == Modify::NoRow) {
        LogMessage(FormatMsg("A Field with the label \"%s\" already exists at \"%s\", skipping it...", {label, where}),
                   LogKind::Warning);
        return false;
      }
      if (outcome == Modify::BadValue) {
        LogMessage(FormatMsg("Unable to store value \"%s\" in field \"%s\" in %s, the field's type cannot take "
                             "it. Skipping...",
                             {value, prefix + label, fileName}),
                   LogKind::Warning);
        return false;
      }
      const bool unchanged = *type == TGFFFieldType::List ||
                             (*type == TGFFFieldType::Struct && !ParseDWord(ini.ReadString(section, "TypeId", "")));
      if (!unchanged) ++addFieldChanges_;
      LogMessage(FormatMsg("A Field with the label \"%s\" already exists at \"%s\", modifying instead...",
                           {label, where}),
                 LogKind::Install);
      field = existing;
      fieldPath = (path.empty() ? std::string("\\") : prefix) + existing->Label();
    }
  }

  if (!field) {
    std::unique_ptr<TGFFField> node;
    if (type) {
      switch (*type) {
        case TGFFFieldType::Byte: node = NewFromText<TGFF_SByte>(label, value); break;
        case TGFFFieldType::Char:
          if (!value.empty()) node = std::make_unique<TGFF_SChar>(label, value[0]);
          break;
        case TGFFFieldType::Word: node = NewFromText<TGFF_SWord>(label, value); break;
        case TGFFFieldType::Short: node = NewFromText<TGFF_SShort>(label, value); break;
        case TGFFFieldType::DWORD: node = NewFromText<TGFF_SDWORD>(label, value); break;
        case TGFFFieldType::Int: node = NewFromText<TGFF_SInt>(label, value); break;
        case TGFFFieldType::Int64: node = NewFromText<TGFF_CInt64>(label, value); break;
        case TGFFFieldType::Float: node = NewFromText<TGFF_SFloat>(label, value); break;
        case TGFFFieldType::Double: node = NewFromText<TGFF_CDouble>(label, value); break;
        case TGFFFieldType::ExoString: node = std::make_unique<TGFF_CExoString>(label, value); break;
        case TGFFFieldType::ResRef: node = std::make_unique<TGFF_CResRef>(label, value); break;
        case TGFFFieldType::ExoLocString: {
          auto loc = std::make_unique<TGFF_CExoLocString>(label, TGFF_CExoLocString::kNoStrRef);
          fillLocalized(*loc, false);
          node = std::move(loc);
          break;
        }
        case TGFFFieldType::Orientation: node = NewVector<TGFF_COrientation, 4>(label, value); break;
        case TGFFFieldType::Position: node = NewVector<TGFF_CPosition, 3>(label, value); break;
        case TGFFFieldType::Struct: {
          auto s = std::make_unique<TGFFStruct>(label);
          std::string typeId = ini.ReadString(section, "TypeId", "");
          // The index the new struct is about to receive in its list.
          if (parentList && AsciiLowerCopy(typeId) == "listindex") typeId = IntToStr(parentList->Count());
          if (auto id = ParseDWord(typeId)) s->SetStructType(*id);
          node = std::move(s);
          break;
        }
        case TGFFFieldType::List: node = std::make_unique<TGFFList>(label); break;
        default: break;
      }
    }
    if (!node) {
      LogMessage(FormatMsg("Invalid field type \"%s\" or data specified in section \"%s\" when trying to add "
                           "fields to %s, skipping...",
                           {fieldType, section, fileName}),
                 LogKind::Warning);
      return false;
    }
    field = GFFDocument.AddField(std::move(node), path);
    if (!field) {
      // A label longer than 16 characters can collide with an existing field
      // only after it is cut; nothing was attached.
      LogMessage(FormatMsg("A Field with the label \"%s\" already exists at \"%s\", skipping it...", {label, where}),
                 LogKind::Warning);
      return false;
    }
    added = true;
    ++addFieldChanges_;
    const std::string position = path.empty() ? std::string("root") : path;
    if (parentList) {
      listIndex = parentList->Count() - 1;
      LogMessage(FormatMsg("Added %s, index %s, at position \"%s\"", {fieldType, IntToStr(listIndex), position}),
                 LogKind::Debug);
      fieldPath = prefix + IntToStr(listIndex);
    } else {
      LogMessage(FormatMsg("Added %s field \"%s\" at position \"%s\"", {fieldType, field->Label(), position}),
                 LogKind::Debug);
      fieldPath = (path.empty() ? std::string("\\") : prefix) + field->Label();
    }
  }
  // A one-character label after a lone backslash makes a two-character path,
  // which is taken whole and names nothing; the label alone names the field.
  if (fieldPath.size() == 2 && fieldPath[0] == '\\') fieldPath = fieldPath.substr(1);

  const bool container = field->FieldType() == TGFFFieldType::Struct || field->FieldType() == TGFFFieldType::List;
  for (const std::string& key : ini.ReadSection(section)) {
    const std::string keyValue = ini.ReadString(section, key, "");
    if (!keyValue.empty()) StoreMemoryToken(key, keyValue, fieldPath, listIndex, mkGFFField);
    if (container && key.size() > 8 && key.compare(0, 8, "AddField") == 0) {
      AddGFFField(keyValue, fieldPath);
      LogMessage(FormatMsg("Processing new sub-fields at %s.", {fieldPath}), LogKind::Debug);
    }
  }
  return added;
}

}  // namespace vey
