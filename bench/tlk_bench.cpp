// tlk_bench: load + save of a 150,000-entry talk table (about 15 MB) against
// plain file I/O of the same bytes, and the identical-entry lookups of an append.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "BenchIO.h"
#include "formats/UTLKFile.h"

namespace vey::bench {
namespace {

constexpr std::uint32_t kEntries = 150000;

TTLKFileHandler BigTable() {
  // One entry to open the table with, the rest appended.
  std::vector<std::uint8_t> seed = {'T', 'L', 'K', ' ', 'V', '3', '.', '0', 0, 0, 0, 0, 1, 0, 0, 0, 60, 0, 0, 0};
  seed.resize(60, 0);
  TTLKFileHandler h;
  h.LoadFromBytes(seed, "dialog.tlk");
  const char* words[] = {"the", "sword", "of", "ancient", "power", "lies", "beyond", "the", "northern",
                         "gate,", "traveller.", "Will", "you", "help", "us?", "I", "cannot", "say"};
  std::mt19937 rng(3);
  for (std::uint32_t i = 1; i < kEntries; ++i) {
    TTLKString e;
    std::string text;
    unsigned words_ = 2 + rng() % 18;
    for (unsigned w = 0; w < words_; ++w) {
      if (w) text += ' ';
      text += words[rng() % 18];
    }
    text += " #" + std::to_string(i);
    e.SetText(std::move(text));
    e.SetFlags(i % 5 ? 1 : 7);
    if (i % 3 == 0) e.SetSoundResRef("vo_" + std::to_string(i));
    e.SetSoundLength(static_cast<float>(i % 11) * 0.5f);
    h.AddEntry(std::move(e));
  }
  return h;
}

void BM_TLK_LoadSave_150000(benchmark::State& state) {
  ScratchDir dir;
  auto input = dir / "dialog.tlk";
  auto output = dir / "dialog_out.tlk";
  auto bytes = BigTable().SaveToBytes();
  PlainWrite(input, bytes);
  TimeAgainstPlainIO(state, input, output, [&] {
    TTLKFileHandler h(input);
    h.SaveToFile(output);
  });
  state.counters["file_mb"] = static_cast<double>(bytes.size()) / (1 << 20);
  if (PlainRead(output) != bytes) state.SkipWithError("the saved table differs from its input");
}
BENCHMARK(BM_TLK_LoadSave_150000)->UseManualTime()->Unit(benchmark::kMillisecond);

// An append pass of 1,000 mod strings against the big table: half already
// present, half new. Includes building the index on the first lookup.
void BM_TLK_AppendPass_1000(benchmark::State& state) {
  auto base = BigTable().SaveToBytes();
  for (auto _ : state) {
    state.PauseTiming();
    TTLKFileHandler h;
    h.LoadFromBytes(base);
    state.ResumeTiming();
    for (std::uint32_t i = 0; i < 1000; ++i) {
      TTLKString e = h.Entries()[(i * 149) % kEntries];
      if (i % 2) e.SetText(std::string(e.Text()) + " (new)");
      if (!h.FindIdentical(e)) h.AddEntry(std::move(e));
    }
  }
}
BENCHMARK(BM_TLK_AppendPass_1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vey::bench
