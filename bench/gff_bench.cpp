// GFF load + save of a generated ~2 MB dialog (long entry and reply lists,
// nested structs 40 levels deep), against a plain read and write of the
// same bytes; BM_GFFRatio reports the ratio measured in one loop.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/FileIO.h"
#include "formats/UGFFFile.h"

namespace {

using namespace vey;
namespace fs = std::filesystem;

std::unique_ptr<TGFFStruct> Reply(int i) {
  auto s = std::make_unique<TGFFStruct>();
  s->AddField(std::make_unique<TGFF_SDWORD>("Index", static_cast<std::uint32_t>(i)));
  s->AddField(std::make_unique<TGFF_CResRef>("Active", "k_con_check_" + std::to_string(i % 97)));
  s->AddField(std::make_unique<TGFF_SByte>("IsChild", i % 2));
  s->AddField(std::make_unique<TGFF_CExoString>("LinkComment", i % 5 ? "" : "link note"));
  return s;
}

// A chain of depth structs, each holding a value and the next one.
std::unique_ptr<TGFFStruct> Chain(int depth) {
  auto s = std::make_unique<TGFFStruct>("Nested");
  s->AddField(std::make_unique<TGFF_SInt>("Level", depth));
  if (depth > 1) s->AddField(Chain(depth - 1));
  return s;
}

std::unique_ptr<TGFFStruct> Node(int i, const char* linksLabel) {
  auto s = std::make_unique<TGFFStruct>();
  s->SetStructType(static_cast<std::uint32_t>(i));
  s->AddField(std::make_unique<TGFF_CExoString>("Speaker", i % 3 ? "" : "npc_" + std::to_string(i % 40)));
  s->AddField(std::make_unique<TGFF_SDWORD>("Animation", 0));
  s->AddField(std::make_unique<TGFF_SByte>("AnimLoop", 1));
  auto text = std::make_unique<TGFF_CExoLocString>("Text", 0xFFFFFFFFu);
  text->AddSubstring(0, "Line " + std::to_string(i) + ": You will find what you seek beyond the old gate, stranger.");
  s->AddField(std::move(text));
  s->AddField(std::make_unique<TGFF_CResRef>("Script", "k_act_" + std::to_string(i % 500)));
  s->AddField(std::make_unique<TGFF_SDWORD>("Delay", 0xFFFFFFFFu));
  s->AddField(std::make_unique<TGFF_CExoString>("Comment", i % 4 ? "" : "writer's note on this line"));
  s->AddField(std::make_unique<TGFF_CResRef>("Sound", "vo_" + std::to_string(i)));
  s->AddField(std::make_unique<TGFF_CExoString>("Quest", ""));
  s->AddField(std::make_unique<TGFF_SDWORD>("WaitFlags", 0));
  s->AddField(std::make_unique<TGFF_SDWORD>("CameraAngle", 0));
  s->AddField(std::make_unique<TGFF_SFloat>("CamFieldOfView", 55.0f));
  s->AddField(std::make_unique<TGFF_CPosition>("CameraPos", std::array<float, 3>{1.5f, 2.0f, 0.5f}));
  auto links = std::make_unique<TGFFList>(linksLabel);
  for (int k = 0; k < 3; ++k) links->AddStruct(Reply(i * 3 + k));
  s->AddField(std::move(links));
  if (i % 50 == 0) s->AddField(Chain(40));
  return s;
}

struct Fixture {
  fs::path dir;
  fs::path source, gffTarget, plainTarget;
  std::size_t size = 0;

  Fixture() {
    dir = fs::temp_directory_path() / ("vey_gff_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    source = dir / "big.dlg";
    gffTarget = dir / "out_gff.dlg";
    plainTarget = dir / "out_plain.dlg";
    TGFFFile doc;
    doc.New("DLG ");
    auto* root = doc.RootStruct();
    root->AddField(std::make_unique<TGFF_SDWORD>("DelayEntry", 0));
    root->AddField(std::make_unique<TGFF_SDWORD>("DelayReply", 0));
    root->AddField(std::make_unique<TGFF_CResRef>("EndConversation", "k_end"));
    root->AddField(std::make_unique<TGFF_SByte>("Skippable", 1));
    auto entries = std::make_unique<TGFFList>("EntryList");
    auto replies = std::make_unique<TGFFList>("ReplyList");
    auto start = std::make_unique<TGFFList>("StartingList");
    for (int i = 0; i < 1700; ++i) {
      entries->AddStruct(Node(i, "RepliesList"));
      replies->AddStruct(Node(i, "EntriesList"));
      if (i % 10 == 0) start->AddStruct(Reply(i));
    }
    root->AddField(std::move(entries));
    root->AddField(std::move(replies));
    root->AddField(std::move(start));
    auto bytes = doc.SaveToBytes();
    size = bytes.size();
    WriteFileAtomic(source, bytes);
  }
  ~Fixture() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

// One document object serves every file, as in the patch engine.
void GffLoadSave(const Fixture& f, TGFFFile& doc) {
  doc.LoadFromFile(f.source);
  doc.SaveToFile(f.gffTarget);
}

// The same bytes read into a buffer kept between rounds and written back the
// same way the document is saved. A fresh buffer per round would make the
// allocator tidy up the document's freed nodes on the plain side's time.
void PlainReadWrite(const Fixture& f, std::vector<std::uint8_t>& buffer) {
  InputFile in(f.source);
  buffer.resize(static_cast<std::size_t>(in.Size()));
  in.ReadAt(0, std::span<std::uint8_t>(buffer));
  WriteFileAtomic(f.plainTarget, buffer);
}

void BM_GFFLoadSave(benchmark::State& state) {
  const Fixture& f = Data();
  TGFFFile doc;
  for (auto _ : state) GffLoadSave(f, doc);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size));
  state.counters["file_MB"] = static_cast<double>(f.size) / 1e6;
}
BENCHMARK(BM_GFFLoadSave)->Unit(benchmark::kMillisecond);

void BM_PlainReadWrite(benchmark::State& state) {
  const Fixture& f = Data();
  std::vector<std::uint8_t> buffer;
  for (auto _ : state) PlainReadWrite(f, buffer);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size));
}
BENCHMARK(BM_PlainReadWrite)->Unit(benchmark::kMillisecond);

// Both jobs alternate in one loop so that they see the same machine state;
// the counter "ratio" is GFF time over plain time (goal: at most 4).
void BM_GFFRatio(benchmark::State& state) {
  const Fixture& f = Data();
  TGFFFile doc;
  std::vector<std::uint8_t> buffer;
  using Clock = std::chrono::steady_clock;
  Clock::duration gff{}, plain{};
  for (auto _ : state) {
    auto t0 = Clock::now();
    GffLoadSave(f, doc);
    auto t1 = Clock::now();
    PlainReadWrite(f, buffer);
    auto t2 = Clock::now();
    gff += t1 - t0;
    plain += t2 - t1;
  }
  state.counters["gff_ms"] = std::chrono::duration<double, std::milli>(gff).count() / static_cast<double>(state.iterations());
  state.counters["plain_ms"] =
      std::chrono::duration<double, std::milli>(plain).count() / static_cast<double>(state.iterations());
  state.counters["ratio"] = std::chrono::duration<double>(gff) / std::chrono::duration<double>(plain);
}
BENCHMARK(BM_GFFRatio)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
