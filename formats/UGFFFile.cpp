// UGFFFile: the document tree's nodes and the document's file-level operations.
#include "formats/UGFFFile.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/Win1252.h"

namespace vey {

std::string TGFFField::Label() const {
  std::string text;
  for (char c : label_) {
    if (c != '\0') text.push_back(c);
  }
  return text;
}

void TGFFField::SetLabel(std::string_view text) {
  label_.fill('\0');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), label_.size()), label_.begin());
}

bool TGFFField::LabelIs(std::string_view text) const {
  std::size_t i = 0;
  for (char c : label_) {
    if (c == '\0') continue;
    if (i >= text.size() || text[i] != c) return false;
    ++i;
  }
  return i == text.size();
}

void TGFF_CResRef::SetValue(std::string_view text) {
  value_ = AsciiLowerCopy(text.substr(0, 16));
}

void TGFF_CResRef::SetStoredValue(std::string_view bytes) {
  if (bytes.size() > 16) throw EGFFError("Error loading CResRef field, string is too long!", 8);
  value_ = bytes;
}

std::uint64_t TGFF_CExoLocString::ComputedTotalSize() const {
  std::uint64_t size = 8;
  for (const auto& sub : substrings_) size += 8 + sub.Text().size();
  return size;
}

void TGFF_CExoLocString::RecomputeTotalSize() {
  totalSize_ = static_cast<std::uint32_t>(ComputedTotalSize());
}

const std::string* TGFF_CExoLocString::LanguageText(std::int32_t languageId) const {
  for (const auto& sub : substrings_) {
    if (sub.LanguageId() == languageId) return &sub.Text();
  }
  return nullptr;
}

void TGFF_CExoLocString::SetSubstringText(std::int32_t index, std::string_view text) {
  if (index < 0 || index >= SubstringCount())
    throw EGFFError("Invalid substring index when setting CExoLocString text!", 21);
  substrings_[static_cast<std::size_t>(index)].SetText(text);
  RecomputeTotalSize();
}

void TGFF_CExoLocString::AddSubstring(std::int32_t languageId, std::string_view text) {
  if (languageId < 0)
    throw EGFFError("Invalid Language ID specified when adding CExoLocString substring!", 23);
  auto it = std::find_if(substrings_.begin(), substrings_.end(),
                         [&](const TGFF_CSubString& s) { return s.LanguageId() == languageId; });
  if (it != substrings_.end()) {
    it->SetText(text);
  } else {
    substrings_.emplace_back(languageId, text);
  }
  RecomputeTotalSize();
}

bool TGFF_CExoLocString::SetLanguageText(std::int32_t languageId, std::string_view text, bool addIfMissing) {
  for (std::size_t i = 0; i < substrings_.size(); ++i) {
    if (substrings_[i].LanguageId() == languageId) {
      SetSubstringText(static_cast<std::int32_t>(i), text);
      return true;
    }
  }
  if (!addIfMissing) return false;
  AddSubstring(languageId, text);
  return true;
}

TGFFField* TGFFStruct::GetFieldByIndex(std::int32_t index) const {
  if (index < 0 || index >= FieldCount())
    throw EGFFError("Out of bounds index encountered when attempting to retrieve field from struct " +
                        Label() + "!",
                    0);
  return fields_[static_cast<std::size_t>(index)].get();
}

TGFFField* TGFFStruct::FindField(std::string_view label) const {
  for (const auto& f : fields_) {
    if (f->LabelIs(label)) return f.get();
  }
  return nullptr;
}

TGFFField* TGFFStruct::AddField(std::unique_ptr<TGFFField> field) {
  if (!field || FindField(field->Label())) return nullptr;
  fields_.push_back(std::move(field));
  return fields_.back().get();
}

TGFFStruct* TGFFList::GetStruct(std::int32_t index) const {
  if (index < 0 || index >= Count())
    throw EGFFError(FormatMsg("Out of bounds index %s when trying to get STRUCT from LIST %s!",
                              {IntToStr(index), Label()}),
                    0);
  return structs_[static_cast<std::size_t>(index)].get();
}

TGFFStruct* TGFFList::AddStruct(std::unique_ptr<TGFFStruct> element) {
  if (!element) return nullptr;
  element->SetLabel({});
  structs_.push_back(std::move(element));
  return structs_.back().get();
}

TGFFFile::TGFFFile() = default;
TGFFFile::~TGFFFile() = default;

void TGFFFile::Clear() {
  root_.reset();
  loaded_ = false;
  fileName_.clear();
  fileType_.fill('\0');
  fileVersion_.fill('\0');
}

void TGFFFile::New(std::string_view fileType) {
  Clear();
  std::copy_n(fileType.begin(), std::min<std::size_t>(fileType.size(), 4), fileType_.begin());
  std::memcpy(fileVersion_.data(), "V3.2", 4);
  root_ = std::make_unique<TGFFStruct>();
  loaded_ = true;
}

void TGFFFile::LoadFromFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw EGFFError("Specified file " + PathText(path) + " could not be found to be opened!", 0);
  try {
    InputFile in(path);
    buffer_.resize(static_cast<std::size_t>(in.Size()));
    in.ReadAt(0, std::span<std::uint8_t>(buffer_));
  } catch (...) {
    Clear();
    throw;
  }
  LoadFromBytes(buffer_);
  fileName_ = path;
}

void TGFFFile::SaveToFile(const std::filesystem::path& path) const {
  // Serialise first: a refused save must not touch the file on disk.
  SaveInto(buffer_);
  WriteFileAtomic(path.empty() ? fileName_ : path, buffer_);
}

}  // namespace vey

namespace vey {
namespace {

template <class T>
std::unique_ptr<TGFFField> CopyValue(const TGFFField& field) {
  auto copy = std::make_unique<T>();
  copy->SetRawLabel(field.RawLabel());
  copy->SetValue(field.As<T>()->Value());
  return copy;
}

}  // namespace

std::unique_ptr<TGFFField> CopyFieldValue(const TGFFField& field) {
  using F = TGFFFieldType;
  std::unique_ptr<TGFFField> copy;
  switch (field.FieldType()) {
    case F::Byte: return CopyValue<TGFF_SByte>(field);
    case F::Char: return CopyValue<TGFF_SChar>(field);
    case F::Word: return CopyValue<TGFF_SWord>(field);
    case F::Short: return CopyValue<TGFF_SShort>(field);
    case F::DWORD: return CopyValue<TGFF_SDWORD>(field);
    case F::Int: return CopyValue<TGFF_SInt>(field);
    case F::DWORD64: return CopyValue<TGFF_CDWORD64>(field);
    case F::Int64: return CopyValue<TGFF_CInt64>(field);
    case F::Float: return CopyValue<TGFF_SFloat>(field);
    case F::Double: return CopyValue<TGFF_CDouble>(field);
    case F::Orientation: return CopyValue<TGFF_COrientation>(field);
    case F::Position: return CopyValue<TGFF_CPosition>(field);
    case F::ExoString: copy = std::make_unique<TGFF_CExoString>("", field.As<TGFF_CExoString>()->Value()); break;
    case F::ResRef: {
      auto r = std::make_unique<TGFF_CResRef>();
      r->SetStoredValue(field.As<TGFF_CResRef>()->Value());
      copy = std::move(r);
      break;
    }
    case F::Void: {
      auto v = std::make_unique<TGFF_CVoid>();
      v->SetData(field.As<TGFF_CVoid>()->Data());
      copy = std::move(v);
      break;
    }
    case F::ExoLocString: {
      const auto& from = *field.As<TGFF_CExoLocString>();
      auto loc = std::make_unique<TGFF_CExoLocString>("", from.StringRef());
      // Every substring as it stands, repeated languages included.
      loc->substrings_ = from.substrings_;
      loc->totalSize_ = from.totalSize_;
      copy = std::move(loc);
      break;
    }
    case F::Struct: {
      auto s = std::make_unique<TGFFStruct>();
      s->SetStructType(field.As<TGFFStruct>()->StructType());
      copy = std::move(s);
      break;
    }
    case F::List: copy = std::make_unique<TGFFList>(); break;
    case F::None: throw EGFFError("A field of no type cannot be copied.", 0);
  }
  copy->SetRawLabel(field.RawLabel());
  return copy;
}

}  // namespace vey
