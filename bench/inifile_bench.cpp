// Instruction-file reads on a file shaped like a large mod's changes.ini:
// about 1 MB, 6,000 sections, CR LF, one list section of 1,400 keys.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/UQK_IniFile.h"

namespace {

struct Workload {
  std::string path;
  Workload() {
    char tmpl[] = "/tmp/vey-ini-bench-XXXXXX";
    int fd = ::mkstemp(tmpl);
    ::close(fd);
    path = tmpl;
    std::ofstream out(path, std::ios::binary);
    out << "[Settings]\r\nInstallerMode=1\r\nLogLevel=4\r\n\r\n[TLKList]\r\n";
    for (int i = 0; i < 1400; ++i) out << "StrRef" << i << "=" << i << "\r\n";
    out << "\r\n[GFFList]\r\n";
    for (int i = 0; i < 6000; ++i) out << "File" << i << "=file_" << i << ".utc\r\n";
    for (int i = 0; i < 6000; ++i) {
      out << "\r\n[file_" << i << ".utc]\r\n";
      out << "Root\\List\\" << i % 7 << "\\Tag=tag_" << i << "\r\n";
      out << "Comment=\"a longer value with <#LF#> an escape, number " << i << "\"\r\n";
    }
  }
  ~Workload() { std::filesystem::remove(path); }
};

const Workload& Shared() {
  static Workload w;
  return w;
}

void BM_FirstReadParsesFile(benchmark::State& state) {
  for (auto _ : state) {
    vey::TQK_Inifile ini(Shared().path);
    benchmark::DoNotOptimize(ini.ReadString("Settings", "LogLevel", ""));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(Shared().path)));
}
BENCHMARK(BM_FirstReadParsesFile)->Unit(benchmark::kMillisecond);

void BM_ReadStringRandomSection(benchmark::State& state) {
  vey::TQK_Inifile ini(Shared().path);
  std::mt19937 rng(7);
  std::vector<std::string> names;
  for (int i = 0; i < 1024; ++i) names.push_back("FILE_" + std::to_string(rng() % 6000) + ".UTC");
  std::size_t n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadString(names[n++ & 1023], "comment", ""));
}
BENCHMARK(BM_ReadStringRandomSection);

void BM_ReadSectionOf1400Keys(benchmark::State& state) {
  vey::TQK_Inifile ini(Shared().path);
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadSection("TLKList"));
}
BENCHMARK(BM_ReadSectionOf1400Keys);

void BM_ReadIntegerSetting(benchmark::State& state) {
  vey::TQK_Inifile ini(Shared().path);
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadInteger("Settings", "LogLevel", 3));
}
BENCHMARK(BM_ReadIntegerSetting);

}  // namespace
