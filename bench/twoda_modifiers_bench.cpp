// twoda_modifiers_bench: 1,500 modifiers (exclusive AddRows with high(),
// LabelIndex ChangeRows, CopyRows with high()) over a 9,999-row table, beside
// loading and saving that table once.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>

#include "common/ByteWriter.h"
#include "engine/run/UVEYPatcher.h"

namespace {

using namespace vey;
namespace fs = std::filesystem;

constexpr std::int32_t kRows = 9999;
constexpr int kEach = 500;

class NoDialog : public platform::IOpenDialog {
 public:
  bool Execute() override { return false; }
};
class NoFolder : public platform::IFolderChooser {
 public:
  std::string BrowseForFolder(std::string_view, unsigned) override { return {}; }
};
class NoRegistry : public platform::IRegistry {
 public:
  std::string ReadString(std::string_view, std::string_view) override { return {}; }
};
class NoEvents : public platform::IEventPump {
 public:
  void ProcessMessages() override {}
};
class NoMessages : public platform::IMessageBoxes {
 public:
  void ShowWarning(std::string_view) override {}
  void ShowInfo(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return true; }
};

// Columns label, name, id, cost. Equal texts share one stored text: the
// string data must stay within the 16-bit offsets.
std::vector<std::uint8_t> Table() {
  ByteWriter w;
  w.Text("2DA V2.b");
  w.U8(0x0A);
  w.Text("label\tname\tid\tcost\t");
  w.U8(0);
  w.I32(kRows);
  for (std::int32_t r = 0; r < kRows; ++r) w.Text(std::to_string(r) + "\t");
  std::string pooled;
  std::unordered_map<std::string, std::uint16_t> seen;
  for (std::int32_t r = 0; r < kRows; ++r) {
    for (const std::string& text : {std::to_string(r), std::to_string(r % 100),
                                    std::to_string(r % 700), std::to_string(r % 50)}) {
      auto [it, added] = seen.try_emplace(text, static_cast<std::uint16_t>(pooled.size()));
      if (added) {
        pooled += text;
        pooled += '\0';
      }
      w.U16(it->second);
    }
  }
  w.U16(0);
  w.Text(pooled);
  return w.Take();
}

std::string Instructions() {
  std::string ini = "[Settings]\nLogLevel=3\n";
  for (int i = 0; i < kEach; ++i) {
    ini += "[add" + std::to_string(i) + "]\nExclusiveColumn=label\nlabel=new_" + std::to_string(i) +
           "\nname=7\nid=high()\ncost=1\n2DAMEMORY1=RowIndex\n";
    ini += "[change" + std::to_string(i) + "]\nLabelIndex=" + std::to_string(i * 17) +
           "\ncost=high()\n2DAMEMORY2=id\n";
    ini += "[copy" + std::to_string(i) + "]\nRowIndex=" + std::to_string(i * 13) +
           "\nNewRowLabel=high()\nlabel=copy_" + std::to_string(i) + "\nid=high()\n";
  }
  return ini;
}

void BM_ModifiersOverLargeTable(benchmark::State& state) {
  const fs::path root = fs::temp_directory_path() / ("twoda_bench_" + std::to_string(::getpid()));
  fs::create_directories(root / "veypatchdata");
  std::ofstream(root / "veypatchdata/changes.ini") << Instructions();
  const std::vector<std::uint8_t> bytes = Table();

  NoDialog dialog;
  NoFolder chooser;
  NoRegistry registry;
  NoEvents events;
  NoMessages messages;
  platform::GameFileSystem files;
  double loadSave = 0, modifiers = 0;
  for (auto _ : state) {
    TVEYPatcher patcher("changes.ini", {dialog, chooser, registry, events, messages, files},
                        root.string() + "/", root.string() + "/veypatchdata/");
    auto start = std::chrono::steady_clock::now();
    patcher.TableFile.LoadFromBytes(bytes);
    benchmark::DoNotOptimize(patcher.TableFile.SaveToBytes());
    const double plain = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    patcher.TableFile.LoadFromBytes(bytes);
    patcher.SetCurrentFile("big.2da");
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kEach; ++i) {
      patcher.ApplyAddRow("add" + std::to_string(i));
      patcher.ApplyChangeRow("change" + std::to_string(i));
      patcher.ApplyCopyRow("copy" + std::to_string(i));
    }
    const double step = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (patcher.TableFile.RowCount() != kRows + 2 * kEach) state.SkipWithError("rows missing");
    loadSave += plain;
    modifiers += step;
    state.SetIterationTime(step);
  }
  fs::remove_all(root);
  state.counters["load_save_ms"] = loadSave * 1000 / static_cast<double>(state.iterations());
  state.counters["modifiers_ms"] = modifiers * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ModifiersOverLargeTable)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
