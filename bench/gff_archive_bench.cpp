// gff_archive_bench: a GFFList that sends 150 documents into 20 archives of
// 10 MB, against copying those 20 archives once. Both include writing the
// data to disk: replacing a file by rename makes the file system write it at
// once, while a fresh copy could otherwise stay in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ByteWriter.h"
#include "formats/UERFHandler.h"
#include "engine/run/UVEYPatcher.h"

namespace {

namespace fs = std::filesystem;
constexpr int kArchives = 20;
constexpr int kDocuments = 150;
constexpr int kFillers = 100;                  // resources of filler data per archive
constexpr std::uint32_t kFillerSize = 100 * 1024;  // 100 x 100 KiB = 10 MB

class NullDialog : public vey::platform::IOpenDialog {
 public:
  bool Execute() override { return false; }
};
class FixedChooser : public vey::platform::IFolderChooser {
 public:
  std::string folder;
  std::string BrowseForFolder(std::string_view, unsigned) override { return folder; }
};
class NullRegistry : public vey::platform::IRegistry {
 public:
  std::string ReadString(std::string_view, std::string_view) override { return {}; }
};
class NullPump : public vey::platform::IEventPump {
 public:
  void ProcessMessages() override {}
};
class NullBoxes : public vey::platform::IMessageBoxes {
 public:
  void ShowWarning(std::string_view) override {}
  void ShowInfo(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return true; }
};

std::vector<std::uint8_t> Document(int n) {
  vey::TGFFFile doc;
  doc.New("UTC ");
  doc.AddField(std::make_unique<vey::TGFF_CExoString>("Tag", "doc" + std::to_string(n)), "");
  doc.AddField(std::make_unique<vey::TGFF_SInt>("Value", n), "");
  return doc.SaveToBytes();
}

// A MOD archive: the filler resources, then the documents of this archive.
std::vector<std::uint8_t> Archive(int index) {
  struct Res {
    std::string name;
    std::uint16_t type;
    std::vector<std::uint8_t> data;
  };
  std::vector<Res> res;
  for (int i = 0; i < kFillers; ++i)
    res.push_back({"fill" + std::to_string(i), 3, std::vector<std::uint8_t>(kFillerSize, static_cast<std::uint8_t>(i))});
  for (int d = index; d < kDocuments; d += kArchives) res.push_back({"doc" + std::to_string(d), 2027, Document(d)});
  const auto n = static_cast<std::uint32_t>(res.size());
  const std::uint32_t keys = 160, list = keys + 24 * n;
  vey::ByteWriter w;
  w.Text("MOD V1.0");
  for (std::uint32_t v : {0u, 0u, n, 160u, keys, list, 120u, 1u, 0xFFFFFFFFu}) w.U32(v);
  w.Zeros(116);
  for (std::uint32_t i = 0; i < n; ++i) {
    w.FixedString(res[i].name, 16);
    w.U32(i);
    w.U16(res[i].type);
    w.U16(0);
  }
  std::uint32_t offset = list + 8 * n;
  for (const auto& r : res) {
    w.U32(offset);
    w.U32(static_cast<std::uint32_t>(r.data.size()));
    offset += static_cast<std::uint32_t>(r.data.size());
  }
  for (const auto& r : res) w.Bytes(r.data);
  return w.Data();
}

void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The template archives and the mod, made once for the whole run.
class Scratch {
 public:
  Scratch() {
    std::string tmpl = "/tmp/vey-gff-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    for (int a = 0; a < kArchives; ++a) Write(Template(a), Archive(a));
    std::string list = "[GFFList]\n", sections;
    for (int d = 0; d < kDocuments; ++d) {
      const std::string label = "doc" + std::to_string(d);
      list += "File" + std::to_string(d) + "=" + label + "\n";
      sections += "[" + label + "]\n!Filename=" + label + ".utc\n!Destination=modules\\m" +
                  std::to_string(d % kArchives) + ".mod\nTag=patched\nValue=-" + std::to_string(d) + "\n";
    }
    ini_ = list + sections;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path Template(int a) const { return dir_ / "templates" / ("m" + std::to_string(a) + ".mod"); }
  const fs::path& Dir() const { return dir_; }
  // A fresh game folder with untouched archives and the mod with its settings.
  void Reset(bool backups) const {
    std::error_code ec;
    fs::remove_all(dir_ / "game", ec);
    fs::remove_all(dir_ / "mod", ec);
    fs::create_directories(dir_ / "game/modules");
    Write(dir_ / "game/dialog.tlk", {'T', 'L', 'K', ' '});
    for (int a = 0; a < kArchives; ++a) fs::copy_file(Template(a), dir_ / "game/modules" / Template(a).filename());
    const std::string ini = "[Settings]\nInstallerMode=1\nLogLevel=3\nBackupFiles=" + std::string(backups ? "1" : "0") +
                            "\n" + ini_;
    Write(dir_ / "mod/veypatchdata/changes.ini", std::vector<std::uint8_t>(ini.begin(), ini.end()));
    // Both measurements start with nothing left to write back from the setup.
    ::sync();
  }

 private:
  fs::path dir_;
  std::string ini_;
};

Scratch& Shared() {
  static Scratch scratch;
  return scratch;
}

void BM_CopyArchivesOnce(benchmark::State& state) {
  Scratch& s = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(s.Dir() / "copies", ec);
    fs::create_directories(s.Dir() / "copies");
    ::sync();
    state.ResumeTiming();
    for (int a = 0; a < kArchives; ++a) fs::copy_file(s.Template(a), s.Dir() / "copies" / s.Template(a).filename());
    ::sync();
  }
}
BENCHMARK(BM_CopyArchivesOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same copies replacing archives already in place, each written beside
// its target and renamed over it, as every save of a game file is.
void BM_CopyArchivesOverOldOnes(benchmark::State& state) {
  Scratch& s = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    s.Reset(false);
    state.ResumeTiming();
    for (int a = 0; a < kArchives; ++a) {
      const fs::path target = s.Dir() / "game/modules" / s.Template(a).filename();
      fs::path temp = target;
      temp += ".tmp";
      fs::copy_file(s.Template(a), temp);
      fs::rename(temp, target);
    }
    ::sync();
  }
}
BENCHMARK(BM_CopyArchivesOverOldOnes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of any way of storing documents: each archive rebuilt once with
// one small document added.
void BM_RebuildEachOnce(benchmark::State& state) {
  Scratch& s = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    s.Reset(false);
    Write(s.Dir() / "doc.utc", Document(1));
    ::sync();
    state.ResumeTiming();
    for (int a = 0; a < kArchives; ++a) {
      vey::TERFHandler h(s.Dir() / "game/modules" / s.Template(a).filename());
      h.AddResource(s.Dir() / "doc.utc", true);
      h.SaveToFile();
    }
    ::sync();
  }
}
BENCHMARK(BM_RebuildEachOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: 1 with backups of each archive, 0 without.
void BM_GffListIntoArchives(benchmark::State& state) {
  Scratch& s = Shared();
  const bool backups = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.Reset(backups);
    NullDialog dialog;
    FixedChooser chooser;
    chooser.folder = (s.Dir() / "game").string();
    NullRegistry registry;
    NullPump pump;
    NullBoxes boxes;
    vey::platform::GameFileSystem files;
    vey::PatcherPlatform platform{dialog, chooser, registry, pump, boxes, files};
    vey::TVEYPatcher engine("changes.ini", platform, (s.Dir() / "mod").string(), {});
    state.ResumeTiming();
    engine.PatchGFFFiles();
    ::sync();
    if (engine.WarningCount() + engine.ErrorCount() != 0) state.SkipWithError("the list did not run cleanly");
  }
}
BENCHMARK(BM_GffListIntoArchives)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
