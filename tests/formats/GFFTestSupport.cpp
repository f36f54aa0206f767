// GFF fixtures: the tree dump used to compare documents as a whole.
#include "GFFTestSupport.h"

#include <sstream>

namespace vey::test {
namespace {

void DumpStruct(const TGFFStruct& s, int depth, std::ostringstream& out);

void DumpField(const TGFFField& f, int depth, std::ostringstream& out) {
  out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << '[' << f.Label() << "] "
      << static_cast<int>(f.FieldType()) << ' ';
  switch (f.FieldType()) {
    case TGFFFieldType::Byte: out << int(f.As<TGFF_SByte>()->Value()); break;
    case TGFFFieldType::Char: out << int(f.As<TGFF_SChar>()->Value()); break;
    case TGFFFieldType::Word: out << f.As<TGFF_SWord>()->Value(); break;
    case TGFFFieldType::Short: out << f.As<TGFF_SShort>()->Value(); break;
    case TGFFFieldType::DWORD: out << f.As<TGFF_SDWORD>()->Value(); break;
    case TGFFFieldType::Int: out << f.As<TGFF_SInt>()->Value(); break;
    case TGFFFieldType::DWORD64: out << f.As<TGFF_CDWORD64>()->Value(); break;
    case TGFFFieldType::Int64: out << f.As<TGFF_CInt64>()->Value(); break;
    case TGFFFieldType::Float: out << f.As<TGFF_SFloat>()->Value(); break;
    case TGFFFieldType::Double: out << f.As<TGFF_CDouble>()->Value(); break;
    case TGFFFieldType::ExoString: out << '"' << f.As<TGFF_CExoString>()->Value() << '"'; break;
    case TGFFFieldType::ResRef: out << '"' << f.As<TGFF_CResRef>()->Value() << '"'; break;
    case TGFFFieldType::Void: out << f.As<TGFF_CVoid>()->Length() << " bytes"; break;
    case TGFFFieldType::ExoLocString: {
      auto* l = f.As<TGFF_CExoLocString>();
      out << l->StringRef();
      for (const auto& s : l->Substrings()) out << " {" << s.LanguageId() << ":\"" << s.Text() << "\"}";
      break;
    }
    case TGFFFieldType::Orientation:
      for (float x : f.As<TGFF_COrientation>()->Value()) out << x << ' ';
      break;
    case TGFFFieldType::Position:
      for (float x : f.As<TGFF_CPosition>()->Value()) out << x << ' ';
      break;
    case TGFFFieldType::Struct: out << '\n'; DumpStruct(*f.As<TGFFStruct>(), depth + 1, out); return;
    case TGFFFieldType::List: {
      out << f.As<TGFFList>()->Count() << '\n';
      for (const auto& e : f.As<TGFFList>()->Structs()) DumpStruct(*e, depth + 1, out);
      return;
    }
    default: break;
  }
  out << '\n';
}

void DumpStruct(const TGFFStruct& s, int depth, std::ostringstream& out) {
  out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << "struct '" << s.Label() << "' type "
      << s.StructType() << '\n';
  for (const auto& f : s.Fields()) DumpField(*f, depth + 1, out);
}

}  // namespace

GffImage AllTypes() {
  GffImage g;
  g.labels = {"B", "C", "W", "S", "D", "I", "D64", "I64", "F", "Dbl", "Str", "Ref", "Loc", "Void",
              "Child", "List", "Ori", "Pos"};
  g.structs = {{7, 0, 18}, {3, 18, 1}, {0, 0xDEADBEEF, 0}, {9, 18, 1}};
  g.data.U64(0xFFFFFFFFFFFFFFFFull)                                      // 0: DWORD64
      .U64(static_cast<std::uint64_t>(-3))                               // 8: Int64
      .F64(2.5)                                                          // 16: Double
      .U32(5).Ascii("hello")                                             // 24: ExoString
      .U8(6).Ascii("MyItem")                                             // 33: ResRef, case kept
      .U32(999).U32(42).U32(2).U32(0).U32(2).Ascii("hi").U32(3).U32(0)   // 40: loc, TotalSize damaged
      .U32(3).Ascii("\x01\x02\x03")                                      // 70: Void
      .F32(1).F32(2).F32(3).F32(4)                                       // 77: Orientation
      .F32(5).F32(6).F32(7);                                             // 93: Position
  g.fields = {{0, 0, 200},         {1, 1, 'x'},          {2, 2, 65535},      {3, 3, 0xFFFE},
              {4, 4, 0xFFFFFFFF},  {5, 5, 0xFFFFFFFB},   {6, 6, 0},          {7, 7, 8},
              {8, 8, 0x3FC00000},  {9, 9, 16},           {10, 10, 24},       {11, 11, 33},
              {12, 12, 40},        {13, 13, 70},         {14, 14, 1},        {15, 15, 0},
              {16, 16, 77},        {17, 17, 93},        {0, 0, 1}};
  for (std::uint32_t i = 0; i < 18; ++i) g.fieldIndices.U32(i);
  g.listIndices.U32(2).U32(2).U32(3);
  return g;
}

std::string DumpTree(const TGFFStruct& root) {
  std::ostringstream out;
  DumpStruct(root, 0, out);
  return out.str();
}

}  // namespace vey::test
