// twoda_bench: load + save of large binary 2DA tables against plain file I/O
// of the same bytes, and the label lookups the engine repeats.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "BenchIO.h"
#include "common/FileIO.h"
#include "formats/U2DAEdit.h"

namespace vey::bench {
namespace {

T2DAHandler EmptyTable(int columns) {
  std::vector<std::uint8_t> head = {'2', 'D', 'A', ' ', 'V', '2', '.', 'b', '\n'};
  for (int c = 0; c < columns; ++c) {
    std::string label = "col" + std::to_string(c) + "\t";
    head.insert(head.end(), label.begin(), label.end());
  }
  head.insert(head.end(), {0, 0, 0, 0, 0});  // NUL, no rows
  T2DAHandler t;
  t.LoadFromBytes(head, "bench.2da");
  return t;
}

// A long table of game-like values: ids, small numbers, names from a short
// list, fractions and empty cells.
std::vector<std::uint8_t> LongTable() {
  const char* words[] = {"fire", "cold", "acid", "sonic", "negative", "positive", "divine", "magical",
                         "slashing", "piercing", "bludgeoning", "electrical"};
  std::mt19937 rng(1);
  T2DAHandler t = EmptyTable(20);
  for (int r = 0; r < 9999; ++r) {
    t.AddRow();
    for (int c = 0; c < 20; ++c) {
      std::string v;
      switch (c % 5) {
        case 0: v = std::to_string(r % 400); break;
        case 1: v = std::to_string(rng() % 60); break;
        case 2: v = words[rng() % 12]; break;
        case 3: v = "0." + std::to_string(rng() % 40); break;
        default: v = rng() % 3 ? "****" : std::to_string(rng() % 10); break;
      }
      t.SetCell(r, c, v);
    }
  }
  return t.SaveToBytes();
}

// A wide table full of repeats and "****".
std::vector<std::uint8_t> WideTable() {
  std::mt19937 rng(2);
  T2DAHandler t = EmptyTable(110);
  for (int r = 0; r < 800; ++r) {
    t.AddRow();
    for (int c = 0; c < 110; ++c) {
      unsigned k = rng() % 10;
      std::string v = k < 6 ? "****" : k < 8 ? std::to_string(rng() % 8) : std::string("x").append(std::to_string(rng() % 20));
      t.SetCell(r, c, v);
    }
  }
  return t.SaveToBytes();
}

void LoadSaveBench(benchmark::State& state, const std::vector<std::uint8_t>& bytes, const char* name) {
  ScratchDir dir;
  auto input = dir / (std::string(name) + ".2da");
  auto output = dir / (std::string(name) + "_out.2da");
  PlainWrite(input, bytes);
  T2DAHandler table;
  TimeAgainstPlainIO(state, input, output, [&] {
    table.LoadFromFile(input);
    table.SaveToFile(output);
  });
  if (PlainRead(output) != bytes) state.SkipWithError("the saved table differs from its input");
}

void BM_2DA_LoadSave_9999x20(benchmark::State& state) {
  static const auto bytes = LongTable();
  LoadSaveBench(state, bytes, "long");
}
BENCHMARK(BM_2DA_LoadSave_9999x20)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_2DA_LoadSave_800x110(benchmark::State& state) {
  static const auto bytes = WideTable();
  LoadSaveBench(state, bytes, "wide");
}
BENCHMARK(BM_2DA_LoadSave_800x110)->UseManualTime()->Unit(benchmark::kMillisecond);

// The in-memory halves, without any file system work.
void BM_2DA_LoadFromBytes_9999x20(benchmark::State& state) {
  static const auto bytes = LongTable();
  T2DAHandler t;
  for (auto _ : state) t.LoadFromBytes(bytes, "long.2da");
}
BENCHMARK(BM_2DA_LoadFromBytes_9999x20)->Unit(benchmark::kMicrosecond);

void BM_2DA_SaveToBytes_9999x20(benchmark::State& state) {
  static const auto bytes = LongTable();
  T2DAHandler t;
  t.LoadFromBytes(bytes, "long.2da");
  for (auto _ : state) benchmark::DoNotOptimize(t.SaveToBytes());
}
BENCHMARK(BM_2DA_SaveToBytes_9999x20)->Unit(benchmark::kMicrosecond);

// The save replaces its target through a new file and a rename; the plain
// baseline above rewrites the file in place. This sets the two side by side
// (CPU time per write of the long table's bytes), so that the share of the
// ratio owed to the atomic replacement can be read off.
void BM_2DA_AtomicVsPlainWrite(benchmark::State& state) {
  static const auto bytes = LongTable();
  ScratchDir dir;
  auto target = dir / "write.2da";
  PlainWrite(target, bytes);
  double atomicCpu = 0, plainCpu = 0;
  for (auto _ : state) {
    double c0 = CpuSeconds();
    WriteFileAtomic(target, bytes);
    double c1 = CpuSeconds();
    PlainWrite(target, bytes);
    atomicCpu += c1 - c0;
    plainCpu += CpuSeconds() - c1;
  }
  auto n = static_cast<double>(state.iterations());
  state.counters["atomic_cpu_ms"] = 1000 * atomicCpu / n;
  state.counters["plain_cpu_ms"] = 1000 * plainCpu / n;
  state.counters["cpu_ratio"] = atomicCpu / plainCpu;
}
BENCHMARK(BM_2DA_AtomicVsPlainWrite)->Unit(benchmark::kMillisecond);

// One label lookup per call, as the modifiers do per key, alternating with
// label changes that keep the index moving.
void BM_2DA_RowIndexOf_9999Rows(benchmark::State& state) {
  static const auto bytes = LongTable();
  T2DAHandler t;
  t.LoadFromBytes(bytes, "long.2da");
  std::int32_t row = 0;
  for (auto _ : state) {
    row = (row + 7919) % 9999;
    benchmark::DoNotOptimize(t.RowIndexOf(std::to_string(row)));
    benchmark::DoNotOptimize(t.ColumnIndexOf("COL19"));
  }
}
BENCHMARK(BM_2DA_RowIndexOf_9999Rows);

}  // namespace
}  // namespace vey::bench
