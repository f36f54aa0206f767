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

std::string DumpTree(const TGFFStruct& root) {
  std::ostringstream out;
  DumpStruct(root, 0, out);
  return out.str();
}

}  // namespace vey::test
