// tlk_append_bench: the talk-table step appending 2,000 strings (a fifth of
// them already present) to a 150,000-entry table, against loading and saving
// that table alone. Reports both times and their ratio.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/FileIO.h"
#include "engine/run/UVEYPatcher.h"
#include "formats/UTLKFile.h"
#include "platform/Headless.h"

namespace {

using namespace vey;
namespace fs = std::filesystem;

constexpr std::uint32_t kGameEntries = 150000;
constexpr std::uint32_t kModEntries = 2000;
constexpr std::uint32_t kTokens = 1000;

// Messages are dropped and every question is answered yes: nothing waits for a person.
class NoMessages : public platform::IMessageBoxes {
 public:
  void ShowWarning(std::string_view) override {}
  void ShowInfo(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return true; }
};

std::string GameText(std::uint32_t i) {
  return "Line " + std::to_string(i) + " of the game's own dialogue, with some words after it.";
}

TTLKString Entry(std::string text, std::uint32_t i) {
  TTLKString e;
  e.SetText(std::move(text));
  e.SetSoundResRef("vo_" + std::to_string(i % 977));
  e.SetSoundLength(static_cast<float>(i % 13));
  return e;
}

// A game folder with dialog.tlk and an installer folder whose data folder
// holds append.tlk and the TLKList naming every mod entry.
struct Setup {
  Setup() {
    root = fs::temp_directory_path() / ("tlk_append_bench_" + std::to_string(::getpid()));
    fs::create_directories(root / "game");
    fs::create_directories(root / "mod/veypatchdata");

    TTLKFileHandler game;
    game.LoadFromBytes(OneEntryTable());
    for (std::uint32_t i = 1; i < kGameEntries; ++i) game.AddEntry(Entry(GameText(i), i));
    gameBytes = game.SaveToBytes();
    WriteFileAtomic(root / "game/dialog.tlk", gameBytes);

    TTLKFileHandler mod;
    mod.LoadFromBytes(OneEntryTable());
    std::string ini = "[Settings]\nInstallerMode=1\nBackupFiles=0\nLogLevel=3\n[TLKList]\n";
    for (std::uint32_t i = 1; i < kModEntries; ++i) {
      // Every fifth entry repeats a game entry, spread over the whole table.
      const std::uint32_t same = (i * 7919u) % kGameEntries;
      if (i % 5 == 0)
        mod.AddEntry(Entry(GameText(same), same));
      else
        mod.AddEntry(Entry("A new line of the mod, number " + std::to_string(i) + ".", i));
    }
    // Tokens for the first thousand entries: the key list of a section is
    // bounded, and the whole source table is appended all the same.
    for (std::uint32_t i = 0; i < kTokens; ++i)
      ini += "StrRef" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    WriteFileAtomic(root / "mod/veypatchdata/append.tlk", mod.SaveToBytes());
    std::ofstream(root / "mod/veypatchdata/changes.ini") << ini;
  }
  ~Setup() { fs::remove_all(root); }

  static std::vector<std::uint8_t> OneEntryTable() {
    std::vector<std::uint8_t> bytes = {'T', 'L', 'K', ' ', 'V', '3', '.', '0', 0, 0, 0, 0,
                                       1,   0,   0,   0,   60,  0,   0,   0};
    bytes.resize(60, 0);
    return bytes;
  }
  void RestoreGame() const { WriteFileAtomic(root / "game/dialog.tlk", gameBytes); }

  fs::path root;
  std::vector<std::uint8_t> gameBytes;
};

// Processor time of this process (user and system): the machine runs other
// work beside the benchmark, and wall time would count that too.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void BM_TalkTableAppendAgainstLoadAndSave(benchmark::State& state) {
  Setup setup;
  const std::string game = (setup.root / "game").string() + "/";
  const std::string app = (setup.root / "mod").string() + "/";
  // Interference only ever adds time, so the fastest run of each is the
  // better estimate; the ratio of the means is reported as well.
  double loadSave = 0, append = 0, fastestLoadSave = 1e9, fastestAppend = 1e9;
  for (auto _ : state) {
    setup.RestoreGame();
    platform::GameFileSystem files;
    files.AddWritableRoot(setup.root);
    double start = CpuSeconds();
    {
      const fs::path path = setup.root / "game/dialog.tlk";
      TTLKFileHandler table;
      table.LoadFromBytes(files.ReadFile(path), path);
      files.WriteFile(path, table.SaveToBytes());
    }
    const double plain = CpuSeconds() - start;

    setup.RestoreGame();
    platform::HeadlessOpenDialog dialog;
    platform::GivenFolder chooser(game);
    platform::EmptyRegistry registry;
    platform::HeadlessEventPump events;
    NoMessages messages;
    TVEYPatcher patcher("changes.ini", {dialog, chooser, registry, events, messages, files}, app,
                        app + "veypatchdata/");
    start = CpuSeconds();
    patcher.ProcessTLKList();
    const double step = CpuSeconds() - start;
    if (patcher.StrRefTable.size() != kTokens) state.SkipWithError("tokens missing");

    loadSave += plain;
    append += step;
    fastestLoadSave = std::min(fastestLoadSave, plain);
    fastestAppend = std::min(fastestAppend, step);
    state.SetIterationTime(plain + step);
  }
  state.counters["load_save_ms"] = loadSave * 1000 / static_cast<double>(state.iterations());
  state.counters["append_ms"] = append * 1000 / static_cast<double>(state.iterations());
  state.counters["ratio_of_means"] = append / loadSave;
  state.counters["ratio_of_fastest"] = fastestAppend / fastestLoadSave;
}
BENCHMARK(BM_TalkTableAppendAgainstLoadAndSave)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
