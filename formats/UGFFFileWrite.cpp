// UGFFFile: the writer. A counting pass fixes every block's size, then one
// depth-first walk hands out struct, field, data and index places in the
// order it meets them, so each byte is written once at its final place.
#include <bit>
#include <cstring>
#include <limits>

#include "formats/UGFFFile.h"

namespace vey {
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Labels are stored once; dialogs use a few dozen labels for hundreds of
// thousands of fields, so lookups go through a small open-addressing table.
class LabelTable {
 public:
  LabelTable() : slots_(64, kNone) {}

  std::uint32_t IndexOf(const TGFFLabel& label) {
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(label) & mask;; i = (i + 1) & mask) {
      std::uint32_t s = slots_[i];
      if (s == kNone) {
        labels_.push_back(label);
        slots_[i] = static_cast<std::uint32_t>(labels_.size() - 1);
        if (labels_.size() * 2 > slots_.size()) Grow();
        return static_cast<std::uint32_t>(labels_.size() - 1);
      }
      if (Same(labels_[s], label)) return s;
    }
  }
  const std::vector<TGFFLabel>& Labels() const { return labels_; }

 private:
  static bool Same(const TGFFLabel& a, const TGFFLabel& b) {
    std::uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a.data(), 8);
    std::memcpy(&a1, a.data() + 8, 8);
    std::memcpy(&b0, b.data(), 8);
    std::memcpy(&b1, b.data() + 8, 8);
    return a0 == b0 && a1 == b1;
  }
  static std::size_t Hash(const TGFFLabel& l) {
    std::uint64_t a, b;
    std::memcpy(&a, l.data(), 8);
    std::memcpy(&b, l.data() + 8, 8);
    std::uint64_t h = (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full);
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
  void Grow() {
    std::vector<std::uint32_t> bigger(slots_.size() * 2, kNone);
    std::size_t mask = bigger.size() - 1;
    for (std::uint32_t k = 0; k < labels_.size(); ++k) {
      std::size_t i = Hash(labels_[k]) & mask;
      while (bigger[i] != kNone) i = (i + 1) & mask;
      bigger[i] = k;
    }
    slots_ = std::move(bigger);
  }

  std::vector<TGFFLabel> labels_;
  std::vector<std::uint32_t> slots_;
};

std::uint64_t DataSize(const TGFFField& f) {
  switch (f.FieldType()) {
    case TGFFFieldType::DWORD64:
    case TGFFFieldType::Int64:
    case TGFFFieldType::Double: return 8;
    case TGFFFieldType::ExoString: return 4 + static_cast<const TGFF_CExoString&>(f).Length();
    case TGFFFieldType::Void: return 4 + static_cast<const TGFF_CVoid&>(f).Length();
    case TGFFFieldType::ResRef: return 1 + static_cast<const TGFF_CResRef&>(f).Value().size();
    case TGFFFieldType::ExoLocString:
      return 4 + static_cast<const TGFF_CExoLocString&>(f).ComputedTotalSize();
    case TGFFFieldType::Orientation: return 16;
    case TGFFFieldType::Position: return 12;
    default: return 0;
  }
}

class GFFWriter {
 public:
  GFFWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void Write(const TGFFStruct& root, std::span<const char, 4> type, std::span<const char, 4> version) {
    structCount_ = 1;
    if (root.FieldCount() > 1) fieldIndexCount_ += static_cast<std::uint64_t>(root.FieldCount());
    Count(root);

    std::uint64_t off[12];
    off[0] = 56;
    off[1] = structCount_;
    off[2] = off[0] + 12 * structCount_;
    off[3] = fieldCount_;
    off[4] = off[2] + 12 * fieldCount_;
    off[5] = labels_.Labels().size();
    off[6] = off[4] + 16 * off[5];
    off[7] = dataSize_;
    off[8] = off[6] + dataSize_;
    off[9] = 4 * fieldIndexCount_;
    off[10] = off[8] + off[9];
    off[11] = 4 * listEntryCount_ + 4 * listCount_;
    std::uint64_t total = off[10] + off[11];
    if (total > std::numeric_limits<std::uint32_t>::max())
      throw EGFFError("Unable to save, the document is too large for the GFF format!", kGFFErrTooLarge);

    out_.assign(static_cast<std::size_t>(total), 0);
    std::memcpy(out_.data(), type.data(), 4);
    std::memcpy(out_.data() + 4, version.data(), 4);
    for (int i = 0; i < 12; ++i) Put32(8 + 4 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(off[i]));

    structPos_ = off[0];
    fieldPos_ = off[2];
    std::size_t labelPos = off[4];
    for (const auto& l : labels_.Labels()) {
      std::memcpy(out_.data() + labelPos, l.data(), 16);
      labelPos += 16;
    }
    dataBase_ = dataPos_ = off[6];
    indicesBase_ = indicesPos_ = off[8];
    listBase_ = listPos_ = off[10];

    WriteStruct(root);
  }

 private:
  void Count(const TGFFStruct& s) {
    for (const auto& fp : s.Fields()) {
      const TGFFField& f = *fp;
      ++fieldCount_;
      // Every label is stored, an empty one too, so that the field reads
      // back with its own label rather than with whichever label comes first.
      labels_.IndexOf(f.RawLabel());
      switch (f.FieldType()) {
        case TGFFFieldType::Struct: {
          const auto& child = static_cast<const TGFFStruct&>(f);
          ++structCount_;
          if (child.FieldCount() > 1) fieldIndexCount_ += static_cast<std::uint64_t>(child.FieldCount());
          Count(child);
          break;
        }
        case TGFFFieldType::List: {
          const auto& list = static_cast<const TGFFList&>(f);
          ++listCount_;
          listEntryCount_ += static_cast<std::uint64_t>(list.Count());
          for (const auto& e : list.Structs()) {
            ++structCount_;
            if (e->FieldCount() > 1) fieldIndexCount_ += static_cast<std::uint64_t>(e->FieldCount());
            Count(*e);
          }
          break;
        }
        default: dataSize_ += DataSize(f); break;
      }
    }
  }

  void Put32(std::size_t at, std::uint32_t v) {
    std::uint8_t* p = out_.data() + at;
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
  }
  void PutBytes(std::size_t at, const void* p, std::size_t n) {
    if (n) std::memcpy(out_.data() + at, p, n);
  }

  std::uint32_t WriteStruct(const TGFFStruct& s) {
    std::uint32_t index = nextStruct_++;
    std::size_t slot = structPos_;
    structPos_ += 12;
    std::size_t n = s.Fields().size();
    Put32(slot, s.StructType());
    Put32(slot + 4, kNone);
    Put32(slot + 8, static_cast<std::uint32_t>(n));
    if (n == 1) {
      Put32(slot + 4, WriteField(*s.Fields()[0]));
    } else if (n > 1) {
      std::size_t block = indicesPos_;
      indicesPos_ += 4 * n;
      Put32(slot + 4, static_cast<std::uint32_t>(block - indicesBase_));
      for (std::size_t i = 0; i < n; ++i) Put32(block + 4 * i, WriteField(*s.Fields()[i]));
    }
    return index;
  }

  std::uint32_t WriteField(const TGFFField& f) {
    std::uint32_t index = nextField_++;
    std::size_t slot = fieldPos_;
    fieldPos_ += 12;
    Put32(slot, static_cast<std::uint32_t>(f.FieldType()));
    Put32(slot + 4, labels_.IndexOf(f.RawLabel()));
    std::size_t v = slot + 8;  // zero-filled already
    switch (f.FieldType()) {
      case TGFFFieldType::Byte: out_[v] = static_cast<const TGFF_SByte&>(f).Value(); break;
      case TGFFFieldType::Char: out_[v] = static_cast<std::uint8_t>(static_cast<const TGFF_SChar&>(f).Value()); break;
      case TGFFFieldType::Word: {
        std::uint16_t x = static_cast<const TGFF_SWord&>(f).Value();
        out_[v] = static_cast<std::uint8_t>(x);
        out_[v + 1] = static_cast<std::uint8_t>(x >> 8);
        break;
      }
      case TGFFFieldType::Short: {
        auto x = static_cast<std::uint16_t>(static_cast<const TGFF_SShort&>(f).Value());
        out_[v] = static_cast<std::uint8_t>(x);
        out_[v + 1] = static_cast<std::uint8_t>(x >> 8);
        break;
      }
      case TGFFFieldType::DWORD: Put32(v, static_cast<const TGFF_SDWORD&>(f).Value()); break;
      case TGFFFieldType::Int: Put32(v, static_cast<std::uint32_t>(static_cast<const TGFF_SInt&>(f).Value())); break;
      case TGFFFieldType::Float: Put32(v, std::bit_cast<std::uint32_t>(static_cast<const TGFF_SFloat&>(f).Value())); break;
      case TGFFFieldType::Struct: Put32(v, WriteStruct(static_cast<const TGFFStruct&>(f))); break;
      case TGFFFieldType::List: Put32(v, WriteList(static_cast<const TGFFList&>(f))); break;
      default: Put32(v, WriteFieldData(f)); break;
    }
    return index;
  }

  void Put64(std::size_t at, std::uint64_t x) {
    Put32(at, static_cast<std::uint32_t>(x));
    Put32(at + 4, static_cast<std::uint32_t>(x >> 32));
  }

  std::uint32_t WriteFieldData(const TGFFField& f) {
    std::size_t at = dataPos_;
    dataPos_ += static_cast<std::size_t>(DataSize(f));
    switch (f.FieldType()) {
      case TGFFFieldType::DWORD64: Put64(at, static_cast<const TGFF_CDWORD64&>(f).Value()); break;
      case TGFFFieldType::Int64:
        Put64(at, static_cast<std::uint64_t>(static_cast<const TGFF_CInt64&>(f).Value()));
        break;
      case TGFFFieldType::Double: Put64(at, std::bit_cast<std::uint64_t>(static_cast<const TGFF_CDouble&>(f).Value())); break;
      case TGFFFieldType::ExoString: {
        const auto& s = static_cast<const TGFF_CExoString&>(f).Value();
        Put32(at, static_cast<std::uint32_t>(s.size()));
        PutBytes(at + 4, s.data(), s.size());
        break;
      }
      case TGFFFieldType::Void: {
        const auto& s = static_cast<const TGFF_CVoid&>(f).Data();
        Put32(at, static_cast<std::uint32_t>(s.size()));
        PutBytes(at + 4, s.data(), s.size());
        break;
      }
      case TGFFFieldType::ResRef: {
        const auto& s = static_cast<const TGFF_CResRef&>(f).Value();
        out_[at] = static_cast<std::uint8_t>(s.size());
        PutBytes(at + 1, s.data(), s.size());
        break;
      }
      case TGFFFieldType::ExoLocString: {
        const auto& loc = static_cast<const TGFF_CExoLocString&>(f);
        Put32(at, static_cast<std::uint32_t>(loc.ComputedTotalSize()));
        Put32(at + 4, loc.StringRef());
        Put32(at + 8, static_cast<std::uint32_t>(loc.SubstringCount()));
        std::size_t p = at + 12;
        for (const auto& sub : loc.Substrings()) {
          Put32(p, static_cast<std::uint32_t>(sub.LanguageId()));
          Put32(p + 4, static_cast<std::uint32_t>(sub.Text().size()));
          PutBytes(p + 8, sub.Text().data(), sub.Text().size());
          p += 8 + sub.Text().size();
        }
        break;
      }
      case TGFFFieldType::Orientation: {
        auto q = static_cast<const TGFF_COrientation&>(f).Value();
        for (std::size_t i = 0; i < 4; ++i) Put32(at + 4 * i, std::bit_cast<std::uint32_t>(q[i]));
        break;
      }
      case TGFFFieldType::Position: {
        auto q = static_cast<const TGFF_CPosition&>(f).Value();
        for (std::size_t i = 0; i < 3; ++i) Put32(at + 4 * i, std::bit_cast<std::uint32_t>(q[i]));
        break;
      }
      default: break;
    }
    return static_cast<std::uint32_t>(at - dataBase_);
  }

  std::uint32_t WriteList(const TGFFList& list) {
    std::size_t at = listPos_;
    std::size_t n = list.Structs().size();
    listPos_ += 4 + 4 * n;
    Put32(at, static_cast<std::uint32_t>(n));
    for (std::size_t k = 0; k < n; ++k) Put32(at + 4 + 4 * k, WriteStruct(*list.Structs()[k]));
    return static_cast<std::uint32_t>(at - listBase_);
  }

  LabelTable labels_;
  std::uint64_t structCount_ = 0, fieldCount_ = 0, fieldIndexCount_ = 0, listEntryCount_ = 0, listCount_ = 0,
                dataSize_ = 0;

  std::vector<std::uint8_t>& out_;
  std::uint32_t nextStruct_ = 0, nextField_ = 0;
  std::size_t structPos_ = 0, fieldPos_ = 0, dataBase_ = 0, dataPos_ = 0, indicesBase_ = 0, indicesPos_ = 0,
              listBase_ = 0, listPos_ = 0;
};

}  // namespace

void TGFFFile::SaveInto(std::vector<std::uint8_t>& out) const {
  if (!loaded_ || !root_) throw EGFFError("Unable to save, no file has been loaded that can be saved!", 0);
  GFFWriter(out).Write(*root_, fileType_, fileVersion_);
}

std::vector<std::uint8_t> TGFFFile::SaveToBytes() const {
  std::vector<std::uint8_t> out;
  SaveInto(out);
  return out;
}

}  // namespace vey
