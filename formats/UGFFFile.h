// UGFFFile: the GFF V3.2 document tree (structs, lists, typed fields), its
// bounded reader, path access and text editing, and the canonical writer.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/VeyException.h"

namespace vey {

VEY_DECLARE_FAILURE(EGFFError);

// Codes of EGFFError beyond the ones the messages of the unit share.
inline constexpr std::int32_t kGFFErrTruncated = 30;     // a block or the header ends past the file
inline constexpr std::int32_t kGFFErrBadReference = 31;  // an index or offset outside its block
inline constexpr std::int32_t kGFFErrCycle = 32;         // a struct reached again from within itself
inline constexpr std::int32_t kGFFErrTooDeep = 33;       // nesting beyond kGFFMaxDepth
inline constexpr std::int32_t kGFFErrTooLarge = 34;      // shared entries expand past the budget, or >4 GB on save

// Structs nested deeper than this are refused when reading; real documents
// stay well below a hundred levels.
inline constexpr std::size_t kGFFMaxDepth = 512;

enum class TGFFFieldType : std::int32_t {
  None = -1,
  Byte = 0,
  Char = 1,
  Word = 2,
  Short = 3,
  DWORD = 4,
  Int = 5,
  DWORD64 = 6,
  Int64 = 7,
  Float = 8,
  Double = 9,
  ExoString = 10,
  ResRef = 11,
  ExoLocString = 12,
  Void = 13,
  Struct = 14,
  List = 15,
  Orientation = 16,
  Position = 17,
};

// A label as stored: 16 bytes, zero-filled; 16 characters leave no terminator.
using TGFFLabel = std::array<char, 16>;

namespace detail {
class GFFReader;
}
class TGFFField;
std::unique_ptr<TGFFField> CopyFieldValue(const TGFFField& field);

class TGFFField {
 public:
  virtual ~TGFFField() = default;
  TGFFField(const TGFFField&) = delete;
  TGFFField& operator=(const TGFFField&) = delete;

  // The 16 stored bytes with every zero byte left out, wherever it stands.
  std::string Label() const;
  // Cut to 16 characters and zero-filled; an empty text clears the label.
  void SetLabel(std::string_view text);
  // Byte-for-byte (case-sensitive) comparison with Label().
  bool LabelIs(std::string_view text) const;
  const TGFFLabel& RawLabel() const { return label_; }
  void SetRawLabel(const TGFFLabel& raw) { label_ = raw; }

  TGFFFieldType FieldType() const { return type_; }

  // The node as its concrete class, or null when it is of another type.
  template <class T>
  T* As() {
    return type_ == T::kType ? static_cast<T*>(this) : nullptr;
  }
  template <class T>
  const T* As() const {
    return type_ == T::kType ? static_cast<const T*>(this) : nullptr;
  }

 protected:
  explicit TGFFField(TGFFFieldType type, std::string_view label = {}) : type_(type) {
    if (!label.empty()) SetLabel(label);
  }

 private:
  TGFFLabel label_{};
  TGFFFieldType type_;
};

// Fixed-size values: the eight integer widths, the two reals and the two
// vectors of singles. The constructor stores the value truncated to V.
template <typename V, TGFFFieldType T>
class TGFFValueField : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = T;
  using ValueType = V;
  TGFFValueField() : TGFFField(T) {}
  TGFFValueField(std::string_view label, V value) : TGFFField(T, label), value_(value) {}
  V Value() const { return value_; }
  void SetValue(V value) { value_ = value; }

 private:
  V value_{};
};

using TGFF_SByte = TGFFValueField<std::uint8_t, TGFFFieldType::Byte>;
using TGFF_SChar = TGFFValueField<char, TGFFFieldType::Char>;
using TGFF_SWord = TGFFValueField<std::uint16_t, TGFFFieldType::Word>;
using TGFF_SShort = TGFFValueField<std::int16_t, TGFFFieldType::Short>;
using TGFF_SDWORD = TGFFValueField<std::uint32_t, TGFFFieldType::DWORD>;
using TGFF_SInt = TGFFValueField<std::int32_t, TGFFFieldType::Int>;
using TGFF_CDWORD64 = TGFFValueField<std::uint64_t, TGFFFieldType::DWORD64>;
using TGFF_CInt64 = TGFFValueField<std::int64_t, TGFFFieldType::Int64>;
using TGFF_SFloat = TGFFValueField<float, TGFFFieldType::Float>;
using TGFF_CDouble = TGFFValueField<double, TGFFFieldType::Double>;
using TGFF_COrientation = TGFFValueField<std::array<float, 4>, TGFFFieldType::Orientation>;
using TGFF_CPosition = TGFFValueField<std::array<float, 3>, TGFFFieldType::Position>;

// Text of any length (Windows-1252 bytes, no terminator).
class TGFF_CExoString : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::ExoString;
  TGFF_CExoString() : TGFFField(kType) {}
  TGFF_CExoString(std::string_view label, std::string_view text) : TGFFField(kType, label), value_(text) {}
  const std::string& Value() const { return value_; }
  std::size_t Length() const { return value_.size(); }
  void SetValue(std::string_view text) { value_ = text; }

 private:
  std::string value_;
};

// A resource name of at most 16 bytes.
class TGFF_CResRef : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::ResRef;
  TGFF_CResRef() : TGFFField(kType) {}
  TGFF_CResRef(std::string_view label, std::string_view text) : TGFFField(kType, label) { SetValue(text); }
  const std::string& Value() const { return value_; }
  std::uint8_t Length() const { return static_cast<std::uint8_t>(value_.size()); }
  // Cut to 16 characters and lower-cased (A-Z only), silently.
  void SetValue(std::string_view text);
  // The bytes exactly as given (as a file stores them); more than 16 raise code 8.
  void SetStoredValue(std::string_view bytes);

 private:
  std::string value_;
};

// Raw bytes of any length.
class TGFF_CVoid : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::Void;
  TGFF_CVoid() : TGFFField(kType) {}
  const std::string& Data() const { return data_; }
  std::size_t Length() const { return data_.size(); }
  void SetData(std::string_view bytes) { data_ = bytes; }

 private:
  std::string data_;
};

// One language's text of a localized string (not a field).
class TGFF_CSubString {
 public:
  TGFF_CSubString(std::int32_t languageId, std::string_view text) : languageId_(languageId), text_(text) {}
  std::int32_t LanguageId() const { return languageId_; }
  const std::string& Text() const { return text_; }
  std::int32_t Length() const { return static_cast<std::int32_t>(text_.size()); }
  void SetText(std::string_view text) { text_ = text; }

 private:
  std::int32_t languageId_;
  std::string text_;
};

class TGFF_CExoLocString : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::ExoLocString;
  static constexpr std::uint32_t kNoStrRef = 0xFFFFFFFFu;
  TGFF_CExoLocString() : TGFFField(kType) {}
  TGFF_CExoLocString(std::string_view label, std::uint32_t stringRef) : TGFFField(kType, label), stringRef_(stringRef) {}

  // As stored in the file, or as last recomputed; the writer always stores
  // ComputedTotalSize() instead, so a damaged value is not carried on.
  std::uint32_t TotalSize() const { return totalSize_; }
  std::uint64_t ComputedTotalSize() const;
  std::uint32_t StringRef() const { return stringRef_; }
  void SetStringRef(std::uint32_t ref) { stringRef_ = ref; }
  std::int32_t SubstringCount() const { return static_cast<std::int32_t>(substrings_.size()); }
  const std::vector<TGFF_CSubString>& Substrings() const { return substrings_; }
  // The text of the first substring with this language id, or null.
  const std::string* LanguageText(std::int32_t languageId) const;

  // Index 0 to count-1, else code 21.
  void SetSubstringText(std::int32_t index, std::string_view text);
  // Replaces the text of an existing language or appends it; a negative id raises code 23.
  void AddSubstring(std::int32_t languageId, std::string_view text);
  // Sets the first substring of this language; appends one only when addIfMissing.
  // True when a substring now holds the text.
  bool SetLanguageText(std::int32_t languageId, std::string_view text, bool addIfMissing);

 private:
  friend class detail::GFFReader;
  friend std::unique_ptr<TGFFField> CopyFieldValue(const TGFFField& field);
  void RecomputeTotalSize();

  std::uint32_t totalSize_ = 8;
  std::uint32_t stringRef_ = kNoStrRef;
  std::vector<TGFF_CSubString> substrings_;
};

class TGFFStruct : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::Struct;
  TGFFStruct() : TGFFField(kType) {}
  explicit TGFFStruct(std::string_view label) : TGFFField(kType, label) {}

  std::uint32_t StructType() const { return structType_; }
  void SetStructType(std::uint32_t type) { structType_ = type; }
  std::int32_t FieldCount() const { return static_cast<std::int32_t>(fields_.size()); }
  const std::vector<std::unique_ptr<TGFFField>>& Fields() const { return fields_; }

  // 0 to FieldCount-1, else EGFFError (code 0).
  TGFFField* GetFieldByIndex(std::int32_t index) const;
  // The first field with this label, or null.
  TGFFField* FindField(std::string_view label) const;
  // Takes the field unless its label is already used here; then the field is
  // freed and the result is null. Otherwise the result is the added field.
  TGFFField* AddField(std::unique_ptr<TGFFField> field);

 private:
  friend class detail::GFFReader;
  std::vector<std::unique_ptr<TGFFField>> fields_;
  std::uint32_t structType_ = 0;
};

class TGFFList : public TGFFField {
 public:
  static constexpr TGFFFieldType kType = TGFFFieldType::List;
  TGFFList() : TGFFField(kType) {}
  explicit TGFFList(std::string_view label) : TGFFField(kType, label) {}

  std::int32_t Count() const { return static_cast<std::int32_t>(structs_.size()); }
  const std::vector<std::unique_ptr<TGFFStruct>>& Structs() const { return structs_; }
  // 0 to Count-1, else EGFFError (code 0).
  TGFFStruct* GetStruct(std::int32_t index) const;
  // Clears the struct's label (list elements carry none) and appends it; its
  // index is Count()-1 afterwards.
  TGFFStruct* AddStruct(std::unique_ptr<TGFFStruct> element);

 private:
  friend class detail::GFFReader;
  std::vector<std::unique_ptr<TGFFStruct>> structs_;
};

// What SetFieldValue did with a value.
enum class TGFFSetResult {
  NoField,       // the path names nothing
  Stored,        // the field holds the value
  PartlyStored,  // Orientation/Position: some components were numbers and were stored, others were not
  Rejected,      // the field's type cannot take this value (or no value of this kind); unchanged
};

// Stores a value given as text into one field by the field's type; suffix is
// "", "(strref)" or "(langN)" and matters only for localized strings. Short,
// Int and Int64 accept a leading minus sign; a lone "-", a number outside the
// type's range and a text that is no number are rejected.
TGFFSetResult SetFieldText(TGFFField& field, std::string_view suffix, std::string_view value);

// A value path split into the field's path and its "(strref)" or "(langN)"
// suffix (empty when there is none), as SetFieldValue reads it.
std::pair<std::string_view, std::string_view> SplitValuePath(std::string_view path);

// The fields from the top level down to one field: the top-level struct
// itself is not in it, so the trail of a top-level field holds that field only.
using TGFFTrail = std::vector<TGFFField*>;

// Told of the changes made through a document's path functions, so that what
// changed is known where it changes. Fields reached through GetField and
// changed directly are the caller's to announce.
class TGFFEditObserver {
 public:
  virtual ~TGFFEditObserver() = default;
  // Before the trail's last field takes a new value or struct type.
  virtual void Changing(const TGFFTrail& trail) = 0;
  // After node was attached below the trail's last field (below the
  // top-level struct when the trail is empty).
  virtual void Added(const TGFFTrail& parent, TGFFField& node) = 0;
};

// CopyFieldValue (declared above): a copy of a field that holds no other
// fields (for a struct: its label and type only; for a list: its label only).

class TGFFFile {
 public:
  TGFFFile();
  ~TGFFFile();
  TGFFFile(const TGFFFile&) = delete;
  TGFFFile& operator=(const TGFFFile&) = delete;

  // Empties the document (not loaded, no tree, no file name or type).
  void Clear();
  // An empty loaded document of the given four-character type, version "V3.2".
  void New(std::string_view fileType);

  // Replaces the document with the file's content. A missing file raises
  // EGFFError code 0 and keeps the document; any other failure leaves it empty.
  void LoadFromFile(const std::filesystem::path& path);
  // The same from bytes in memory; FileName becomes empty.
  void LoadFromBytes(std::span<const std::uint8_t> data);
  // Writes the whole tree; an empty path means FileName(). The target is
  // replaced in one rename, so a failed save leaves the old file intact.
  void SaveToFile(const std::filesystem::path& path = {}) const;
  std::vector<std::uint8_t> SaveToBytes() const;

  // Backslash-separated labels with decimal indexes after lists; null when a
  // label or index does not exist. Raises EGFFError for malformed paths.
  TGFFField* GetField(std::string_view path) const { return GetField(path, nullptr); }
  // The same, filling trail (when given) with the fields leading to it.
  TGFFField* GetField(std::string_view path, TGFFTrail* trail) const;
  // path may end in "(strref)" or "(langN)". See TGFFSetResult.
  TGFFSetResult SetFieldValue(std::string_view path, std::string_view value);
  // Attaches node under the struct or list that parentPath names (empty: the
  // top-level struct). Returns the attached node, or null when a struct
  // already holds a field of that label (the node is then freed).
  TGFFField* AddField(std::unique_ptr<TGFFField> node, std::string_view parentPath);
  // Tells observer (until it is replaced or null) of SetFieldValue and
  // AddField changes; loading keeps it.
  void Observe(TGFFEditObserver* observer) { observer_ = observer; }
  TGFFEditObserver* Observer() const { return observer_; }

  TGFFStruct* RootStruct() const { return root_.get(); }
  const std::filesystem::path& FileName() const { return fileName_; }
  // Names where a document loaded from bytes belongs.
  void SetFileName(const std::filesystem::path& path) { fileName_ = path; }
  std::string FileType() const { return std::string(fileType_.data(), fileType_.size()); }
  std::string FileVersion() const { return std::string(fileVersion_.data(), fileVersion_.size()); }
  bool Loaded() const { return loaded_; }

 private:
  std::array<char, 4> fileType_{};
  std::array<char, 4> fileVersion_{};
  std::filesystem::path fileName_;
  std::unique_ptr<TGFFStruct> root_;
  bool loaded_ = false;
  TGFFEditObserver* observer_ = nullptr;
  // File bytes on their way in or out, kept between calls: the engine loads
  // and saves many documents through one TGFFFile, and a fresh multi-megabyte
  // buffer per file costs more than parsing it.
  mutable std::vector<std::uint8_t> buffer_;

  void SaveInto(std::vector<std::uint8_t>& out) const;
  TGFFField* AttachField(TGFFField* parent, std::unique_ptr<TGFFField> node, std::string_view parentPath);
};

}  // namespace vey
