// The validator on a generated instruction file of 25,000 lines that uses
// every list: talk-table tokens, installed files, 2DA tables with all four
// modifiers, GFF documents the mod ships (their paths checked), nested
// AddField sections, NCS hacks, scripts and soundsets. The goal is well
// under half a second per check.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "BenchIO.h"
#include "engine/validate/UValidator.h"
#include "formats/UGFFFile.h"

namespace {

struct Workload {
  vey::bench::ScratchDir dir;
  std::filesystem::path data = dir / "veypatchdata";
  int lines = 0;

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(data / name, std::ios::binary) << bytes;
  }

  Workload() {
    std::filesystem::create_directories(data);
    // A talk table of 500 entries: header, 40-byte entries, then the texts.
    std::string tlk = "TLK V3.0";
    auto u32 = [&tlk](std::uint32_t v) {
      for (int k = 0; k < 4; ++k) tlk.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    constexpr std::uint32_t kEntries = 500;
    u32(0);
    u32(kEntries);
    u32(20 + 40 * kEntries);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
      u32(1);
      tlk.append(16, '\0');
      u32(0), u32(0), u32(4 * i), u32(4), u32(0);
    }
    for (std::uint32_t i = 0; i < kEntries; ++i) tlk += "text";
    Write("append.tlk", tlk);
    vey::TGFFFile doc;
    doc.New("UTI ");
    doc.AddField(std::make_unique<vey::TGFF_CExoString>("Tag", "x"), "");
    doc.AddField(std::make_unique<vey::TGFFList>("PropertiesList"), "");
    doc.AddField(std::make_unique<vey::TGFF_CExoLocString>("LocalizedName", 0xFFFFFFFFu), "");
    const auto gff = doc.SaveToBytes();
    Write("nwnnsscomp.exe", "");

    std::ostringstream ini;
    ini << "[Settings]\r\nFileExists=1\r\nInstallerMode=1\r\nLogLevel=3\r\n[TLKList]\r\n";
    for (int i = 0; i < 500; ++i) ini << "StrRef" << i << "=" << i << "\r\n";
    ini << "[InstallList]\r\nfolder0=override\r\n[folder0]\r\n";
    for (int i = 0; i < 500; ++i) {
      ini << "File" << i << "=file_" << i << ".tga\r\n";
      Write("file_" + std::to_string(i) + ".tga", "x");
    }
    ini << "[2DAList]\r\n";
    for (int i = 0; i < 300; ++i) ini << "Table" << i << "=table_" << i << ".2da\r\n";
    for (int i = 0; i < 300; ++i) {
      ini << "[table_" << i << ".2da]\r\nAddRow0=add_" << i << "\r\nChangeRow0=change_" << i << "\r\nAddColumn0=col_" << i
          << "\r\nCopyRow0=copy_" << i << "\r\n";
      ini << "[add_" << i << "]\r\nExclusiveColumn=label\r\nlabel=row_" << i << "\r\nname=StrRef" << i
          << "\r\nid=high()\r\ncost=" << i << "\r\n2DAMEMORY" << (i % 50 + 1) << "=RowIndex\r\n";
      ini << "[change_" << i << "]\r\nRowIndex=2DAMEMORY" << (i % 50 + 1) << "\r\nwalk=1.5\r\nrun=2\r\n";
      ini << "[col_" << i << "]\r\nColumnLabel=flag_" << i << "\r\nDefaultValue=0\r\nI1=1\r\nL2=2DAMEMORY1\r\n";
      ini << "[copy_" << i << "]\r\nRowLabel=1\r\nNewRowLabel=high()\r\nlabel=copy_" << i
          << "\r\ncost=inc(10)\r\n2DAMEMORY" << (i % 50 + 51) << "=RowIndex\r\n";
    }
    ini << "[GFFList]\r\n";
    for (int i = 0; i < 930; ++i) ini << "File" << i << "=item_" << i << ".uti\r\n";
    for (int i = 0; i < 930; ++i) {
      Write("item_" + std::to_string(i) + ".uti", std::string(gff.begin(), gff.end()));
      ini << "[item_" << i << ".uti]\r\nTag=2DAMEMORY" << (i % 100 + 1) << "\r\nLocalizedName(strref)=StrRef" << i % 500
          << "\r\nAddField0=prop_" << i << "\r\n";
      ini << "[prop_" << i << "]\r\nFieldType=Struct\r\nPath=PropertiesList\r\nTypeId=listindex\r\n2DAMEMORY"
          << (i % 100 + 101) << "=listindex\r\nAddField0=prop_name_" << i << "\r\n";
      ini << "[prop_name_" << i << "]\r\nFieldType=Word\r\nLabel=PropertyName\r\nValue=" << i << "\r\n";
    }
    ini << "[HACKList]\r\n";
    for (int i = 0; i < 200; ++i) ini << "File" << i << "=hack_" << i << ".ncs\r\n";
    for (int i = 0; i < 200; ++i) {
      Write("hack_" + std::to_string(i) + ".ncs", std::string(64, '\0'));
      ini << "[hack_" << i << ".ncs]\r\n12=StrRef" << i << "\r\n20=2DAMEMORY" << (i % 200 + 1) << "\r\n";
    }
    ini << "[CompileList]\r\n";
    for (int i = 0; i < 100; ++i) {
      ini << "Script" << i << "=script_" << i << ".nss\r\n";
      Write("script_" + std::to_string(i) + ".nss", "void main()\r\n{\r\n  int a = #StrRef1#;\r\n  int b = #2DAMEMORY2#;\r\n}\r\n");
    }
    ini << "[SSFList]\r\n";
    for (int i = 0; i < 200; ++i) ini << "File" << i << "=voice_" << i << ".ssf\r\n";
    for (int i = 0; i < 200; ++i) ini << "[voice_" << i << ".ssf]\r\nBattlecry 1=StrRef" << i << "\r\nDeath=2DAMEMORY3\r\n";
    const std::string text = ini.str();
    for (char ch : text) lines += ch == '\n';
    Write("changes.ini", text);
  }
};

void BM_Validate25000Lines(benchmark::State& state) {
  static Workload w;
  vey::platform::GameFileSystem fs;
  std::size_t findings = 0;
  for (auto _ : state) {
    auto result = vey::ValidateInstructions(fs, {w.data, w.data, "changes.ini"});
    findings = result.size();
    benchmark::DoNotOptimize(result);
  }
  state.counters["lines"] = w.lines;
  state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_Validate25000Lines)->Unit(benchmark::kMillisecond);

}  // namespace
