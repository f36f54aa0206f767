// UGFFValueText: field types, StrRefs and scalar values as text.
#include "formats/UGFFValueText.h"

#include <array>
#include <charconv>

namespace vey {

namespace {

template <typename F>
std::string Shortest(F value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

template <typename F>
std::string Real(F value, const TGFFValueNotation& n) {
  std::string text = Shortest(value);
  return n.real ? n.real(static_cast<double>(value), std::move(text)) : text;
}

template <std::size_t N>
std::string Reals(const std::array<float, N>& v, const TGFFValueNotation& n) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    if (i) text += n.separator;
    text += Real(v[i], n);
  }
  return n.bracketVectors ? "[" + text + "]" : text;
}

}  // namespace

const char* GFFTypeName(TGFFFieldType type) {
  static constexpr std::array<const char*, 18> kNames = {
      "Byte",   "Char",      "Word",   "Short",        "DWORD", "Int",    "DWORD64", "Int64",       "Float",
      "Double", "ExoString", "ResRef", "ExoLocString", "Void",  "Struct", "List",    "Orientation", "Position"};
  const auto i = static_cast<int>(type);
  return i >= 0 && i < 18 ? kNames[i] : "None";
}

std::string StrRefText(std::uint32_t ref) {
  return ref == TGFF_CExoLocString::kNoStrRef ? std::string("-1") : std::to_string(ref);
}

std::string HexText(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string ShortestText(double value) { return Shortest(value); }
std::string ShortestText(float value) { return Shortest(value); }

std::string GFFValueText(const TGFFField& f, const TGFFValueNotation& n) {
  using T = TGFFFieldType;
  switch (f.FieldType()) {
    case T::Byte: return std::to_string(f.As<TGFF_SByte>()->Value());
    case T::Char: {
      const char c = f.As<TGFF_SChar>()->Value();
      return n.text(std::string_view(&c, 1));
    }
    case T::Word: return std::to_string(f.As<TGFF_SWord>()->Value());
    case T::Short: return std::to_string(f.As<TGFF_SShort>()->Value());
    case T::DWORD: return std::to_string(f.As<TGFF_SDWORD>()->Value());
    case T::Int: return std::to_string(f.As<TGFF_SInt>()->Value());
    case T::DWORD64: return std::to_string(f.As<TGFF_CDWORD64>()->Value());
    case T::Int64: return std::to_string(f.As<TGFF_CInt64>()->Value());
    case T::Float: return Real(f.As<TGFF_SFloat>()->Value(), n);
    case T::Double: return Real(f.As<TGFF_CDouble>()->Value(), n);
    case T::ExoString: return n.text(f.As<TGFF_CExoString>()->Value());
    case T::ResRef: return n.text(f.As<TGFF_CResRef>()->Value());
    case T::Void: {
      std::string hex = HexText(f.As<TGFF_CVoid>()->Data());
      return n.quoteBytes ? "\"" + hex + "\"" : hex;
    }
    case T::Orientation: return Reals(f.As<TGFF_COrientation>()->Value(), n);
    case T::Position: return Reals(f.As<TGFF_CPosition>()->Value(), n);
    default: return n.nonScalar;
  }
}

}  // namespace vey
