// UGFFFile: the reader. Every offset, index and count is checked against its
// block before use, and the struct graph is walked with a guard against
// loops, runaway nesting and shared entries that would multiply the tree.
// A struct or field entry referenced from several places is read once per
// reference: each place gets its own copy, so a later edit of one does not
// show up in the others, and the writer stores them as separate entries.
#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "common/ByteReader.h"
#include "common/StrFormat.h"
#include "formats/UGFFFile.h"

namespace vey::detail {

namespace {

constexpr std::size_t kHeaderSize = 56;
// Rough in-memory weight of one node, charged against the load budget.
constexpr std::uint64_t kNodeCost = 32;

[[noreturn]] void Fail(std::string_view detail, std::int32_t code) {
  throw EGFFError("Error loading GFF file, " + std::string(detail) + "!", code);
}

[[noreturn]] void BadReference(std::string_view detail) { Fail(detail, kGFFErrBadReference); }

// A label with its zero bytes squeezed out and zero-filled again, so that two
// labels with the same text compare equal as 16 bytes.
TGFFLabel Squeezed(const TGFFLabel& raw) {
  TGFFLabel out{};
  std::size_t n = 0;
  for (char c : raw) {
    if (c != '\0') out[n++] = c;
  }
  return out;
}

struct LabelHash {
  std::size_t operator()(const TGFFLabel& l) const {
    std::uint64_t a, b;
    std::memcpy(&a, l.data(), 8);
    std::memcpy(&b, l.data() + 8, 8);
    return static_cast<std::size_t>((a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full));
  }
};

}  // namespace

class GFFReader {
 public:
  explicit GFFReader(std::span<const std::uint8_t> data) : data_(data) {
    budget_ = 8 * static_cast<std::uint64_t>(data.size()) + (1u << 20);
  }

  // Header after the signature checks; the caller has tested the version.
  std::unique_ptr<TGFFStruct> Read() {
    if (data_.size() < kHeaderSize) Fail("the file ends inside its header", kGFFErrTruncated);
    ByteReader h(data_);
    h.Seek(8);
    std::uint32_t v[12];
    for (auto& x : v) x = h.U32();
    structs_ = Block(v[0], v[1], 12, "struct array");
    fields_ = Block(v[2], v[3], 12, "field array");
    labels_ = Block(v[4], v[5], 16, "label array");
    fieldData_ = Block(v[6], v[7], 1, "field data block");
    fieldIndices_ = Block(v[8], v[9], 1, "field indices block");
    listIndices_ = Block(v[10], v[11], 1, "list indices block");

    // Labels with the same text (zero bytes squeezed out) share one id, so
    // the duplicate test per struct compares numbers.
    labelCount_ = v[5];
    labelIds_.resize(labelCount_);
    std::unordered_map<TGFFLabel, std::uint32_t, LabelHash> firstOf;
    for (std::uint32_t i = 0; i < labelCount_; ++i) {
      TGFFLabel raw;
      std::memcpy(raw.data(), labels_.data() + 16 * static_cast<std::size_t>(i), 16);
      labelIds_[i] = firstOf.try_emplace(Squeezed(raw), i).first->second;
    }
    structCount_ = v[1];

    if (v[1] == 0) BadReference("struct index 0 is outside the struct array");
    return ReadStruct(0, 0);
  }

 private:
  std::span<const std::uint8_t> Block(std::uint32_t offset, std::uint32_t count, std::uint64_t unit,
                                      std::string_view name) {
    std::uint64_t size = count * unit;
    if (offset > data_.size() || size > data_.size() - offset)
      Fail("the file ends inside its " + std::string(name), kGFFErrTruncated);
    return data_.subspan(offset, static_cast<std::size_t>(size));
  }

  void Charge(std::uint64_t bytes) {
    if (bytes > budget_) {
      Fail(FormatMsg("its shared entries expand it beyond %s bytes",
                     {IntToStr(static_cast<std::int64_t>(8 * data_.size() + (1u << 20)))}),
           kGFFErrTooLarge);
    }
    budget_ -= bytes;
  }

  std::unique_ptr<TGFFStruct> ReadStruct(std::uint32_t index, std::size_t depth) {
    if (index >= structCount_)
      BadReference(FormatMsg("struct index %s is outside the struct array", {IntToStr(index)}));
    if (depth > kGFFMaxDepth)
      Fail(FormatMsg("structs are nested more than %s levels deep", {IntToStr(kGFFMaxDepth)}), kGFFErrTooDeep);
    // The structs on the way down are few (at most the depth limit), so a
    // scan is cheaper than a per-struct mark sized by the file.
    if (std::find(path_.begin(), path_.begin() + static_cast<std::ptrdiff_t>(depth), index) !=
        path_.begin() + static_cast<std::ptrdiff_t>(depth))
      Fail(FormatMsg("struct %s contains itself", {IntToStr(index)}), kGFFErrCycle);
    path_[depth] = index;
    Charge(kNodeCost);

    const std::uint8_t* entry = structs_.data() + 12 * static_cast<std::size_t>(index);
    auto node = std::make_unique<TGFFStruct>();
    node->structType_ = LoadU32(entry);
    std::uint32_t dataOrOffset = LoadU32(entry + 4);
    std::uint32_t fieldCount = LoadU32(entry + 8);

    std::uint32_t key;
    if (fieldCount == 1) {
      node->fields_.push_back(ReadField(dataOrOffset, depth, key));
    } else if (fieldCount > 1) {
      std::uint64_t end = static_cast<std::uint64_t>(dataOrOffset) + 4ull * fieldCount;
      if (end > fieldIndices_.size())
        BadReference(FormatMsg("the field indices at offset %s lie outside the field indices block",
                               {IntToStr(dataOrOffset)}));
      node->fields_.reserve(fieldCount);
      const std::uint8_t* p = fieldIndices_.data() + dataOrOffset;
      // The first field of a label wins, as when a caller adds fields one by
      // one; large structs use a set so a hostile file cannot make this quadratic.
      if (fieldCount <= 16) {
        std::uint32_t keys[16];
        std::size_t n = 0;
        for (std::uint32_t i = 0; i < fieldCount; ++i, p += 4) {
          auto field = ReadField(LoadU32(p), depth, key);
          if (std::find(keys, keys + n, key) != keys + n) continue;
          keys[n++] = key;
          node->fields_.push_back(std::move(field));
        }
      } else {
        std::unordered_set<std::uint32_t> seen;
        for (std::uint32_t i = 0; i < fieldCount; ++i, p += 4) {
          auto field = ReadField(LoadU32(p), depth, key);
          if (seen.insert(key).second) node->fields_.push_back(std::move(field));
        }
      }
    }
    return node;
  }

  // key receives the id of the field's label text, for duplicate tests.
  std::unique_ptr<TGFFField> ReadField(std::uint32_t index, std::size_t depth, std::uint32_t& key) {
    if (index >= fields_.size() / 12)
      BadReference(FormatMsg("field index %s is outside the field array", {IntToStr(index)}));
    Charge(kNodeCost);
    const std::uint8_t* entry = fields_.data() + 12 * static_cast<std::size_t>(index);
    std::uint32_t type = LoadU32(entry);
    std::uint32_t labelIndex = LoadU32(entry + 4);
    const std::uint8_t* value = entry + 8;
    std::uint32_t word = LoadU32(value);

    std::unique_ptr<TGFFField> node;
    switch (static_cast<TGFFFieldType>(type)) {
      case TGFFFieldType::Byte: node = std::make_unique<TGFF_SByte>("", value[0]); break;
      case TGFFFieldType::Char: node = std::make_unique<TGFF_SChar>("", static_cast<char>(value[0])); break;
      case TGFFFieldType::Word: node = std::make_unique<TGFF_SWord>("", LoadU16(value)); break;
      case TGFFFieldType::Short:
        node = std::make_unique<TGFF_SShort>("", static_cast<std::int16_t>(LoadU16(value)));
        break;
      case TGFFFieldType::DWORD: node = std::make_unique<TGFF_SDWORD>("", word); break;
      case TGFFFieldType::Int: node = std::make_unique<TGFF_SInt>("", static_cast<std::int32_t>(word)); break;
      case TGFFFieldType::Float: node = std::make_unique<TGFF_SFloat>("", std::bit_cast<float>(word)); break;
      case TGFFFieldType::Struct: {
        // The entry itself is checked inside ReadStruct.
        node = ReadStruct(word, depth + 1);
        break;
      }
      case TGFFFieldType::List: node = ReadList(word, depth); break;
      case TGFFFieldType::DWORD64:
      case TGFFFieldType::Int64:
      case TGFFFieldType::Double:
      case TGFFFieldType::ExoString:
      case TGFFFieldType::ResRef:
      case TGFFFieldType::ExoLocString:
      case TGFFFieldType::Void:
      case TGFFFieldType::Orientation:
      case TGFFFieldType::Position: node = ReadFieldData(static_cast<TGFFFieldType>(type), word); break;
      default:
        throw EGFFError(FormatMsg("Invalid field type encountered when reading field %s data!", {IntToStr(type)}), 5);
    }
    if (labelIndex >= labelCount_)
      BadReference(FormatMsg("label index %s is outside the label array", {IntToStr(labelIndex)}));
    TGFFLabel raw;
    std::memcpy(raw.data(), labels_.data() + 16 * static_cast<std::size_t>(labelIndex), 16);
    node->SetRawLabel(raw);
    key = labelIds_[labelIndex];
    return node;
  }

  std::unique_ptr<TGFFList> ReadList(std::uint32_t offset, std::size_t depth) {
    auto outside = [&] {
      BadReference(FormatMsg("the list at offset %s lies outside the list indices block", {IntToStr(offset)}));
    };
    if (static_cast<std::uint64_t>(offset) + 4 > listIndices_.size()) outside();
    const std::uint8_t* p = listIndices_.data() + offset;
    std::uint32_t count = LoadU32(p);
    if (static_cast<std::uint64_t>(offset) + 4 + 4ull * count > listIndices_.size()) outside();
    auto list = std::make_unique<TGFFList>();
    list->structs_.reserve(count);
    for (std::uint32_t k = 1; k <= count; ++k) list->structs_.push_back(ReadStruct(LoadU32(p + 4 * k), depth + 1));
    return list;
  }

  std::unique_ptr<TGFFField> ReadFieldData(TGFFFieldType type, std::uint32_t offset) {
    try {
      ByteReader r(fieldData_);
      r.Seek(offset);
      switch (type) {
        case TGFFFieldType::DWORD64: return std::make_unique<TGFF_CDWORD64>("", r.U64());
        case TGFFFieldType::Int64: return std::make_unique<TGFF_CInt64>("", r.I64());
        case TGFFFieldType::Double: return std::make_unique<TGFF_CDouble>("", r.F64());
        case TGFFFieldType::ExoString: {
          auto text = Text(r, r.U32());
          return std::make_unique<TGFF_CExoString>("", text);
        }
        case TGFFFieldType::ResRef: {
          std::uint8_t length = r.U8();
          if (length > 16) throw EGFFError("Error loading CResRef field, string is too long!", 8);
          auto node = std::make_unique<TGFF_CResRef>();
          node->SetStoredValue(Text(r, length));
          return node;
        }
        case TGFFFieldType::Void: {
          auto node = std::make_unique<TGFF_CVoid>();
          node->SetData(Text(r, r.U32()));
          return node;
        }
        case TGFFFieldType::ExoLocString: {
          auto node = std::make_unique<TGFF_CExoLocString>();
          node->totalSize_ = r.U32();
          node->stringRef_ = r.U32();
          std::uint32_t count = r.U32();
          if (count > r.Remaining() / 8) throw ReadPastEnd();
          node->substrings_.reserve(count);
          for (std::uint32_t i = 0; i < count; ++i) {
            auto id = r.I32();
            auto text = Text(r, r.U32());
            node->substrings_.emplace_back(id, text);
          }
          return node;
        }
        case TGFFFieldType::Orientation: {
          std::array<float, 4> q;
          for (auto& x : q) x = r.F32();
          return std::make_unique<TGFF_COrientation>("", q);
        }
        case TGFFFieldType::Position: {
          std::array<float, 3> p;
          for (auto& x : p) x = r.F32();
          return std::make_unique<TGFF_CPosition>("", p);
        }
        default: break;
      }
    } catch (const ReadPastEnd&) {
      BadReference(FormatMsg("the field data at offset %s lies outside the field data block", {IntToStr(offset)}));
    }
    throw EGFFError(FormatMsg("Invalid field type encountered when reading field %s data!",
                              {IntToStr(static_cast<std::int32_t>(type))}),
                    5);
  }

  std::string_view Text(ByteReader& r, std::uint32_t length) {
    auto bytes = r.Bytes(length);
    Charge(length);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }

  std::span<const std::uint8_t> data_;
  std::span<const std::uint8_t> structs_, fields_, labels_, fieldData_, fieldIndices_, listIndices_;
  std::uint32_t labelCount_ = 0;
  std::vector<std::uint32_t> labelIds_;
  std::uint32_t structCount_ = 0;
  std::array<std::uint32_t, kGFFMaxDepth + 1> path_{};  // struct indices from the root down
  std::uint64_t budget_ = 0;
};

}  // namespace vey::detail

namespace vey {

void TGFFFile::LoadFromBytes(std::span<const std::uint8_t> data) {
  Clear();
  if (data.size() < 8) throw EGFFError("Error loading GFF file, the file ends inside its header!", kGFFErrTruncated);
  if (std::memcmp(data.data() + 4, "V3.2", 4) != 0)
    throw EGFFError("Invalid file version. Loaded file is not in GFF V3.2 format!", 1);
  root_ = detail::GFFReader(data).Read();
  std::memcpy(fileType_.data(), data.data(), 4);
  std::memcpy(fileVersion_.data(), data.data() + 4, 4);
  loaded_ = true;
}

}  // namespace vey
