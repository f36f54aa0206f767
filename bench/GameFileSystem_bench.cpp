// GameFileSystem benchmarks: resolving names in a large override folder, the
// way an install of many files asks for each one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/GameFileSystem.h"

namespace {

namespace fs = std::filesystem;
using vey::platform::GameFileSystem;

constexpr int kFiles = 20000;

// One game folder for the whole program, removed at exit.
struct GameFolder {
  fs::path root;
  GameFolder() {
    std::string tmpl = (fs::temp_directory_path() / "vey-bench-XXXXXX").string();
    root = ::mkdtemp(tmpl.data());
    fs::create_directories(root / "Override");
    for (int i = 0; i < kFiles; ++i) std::ofstream(root / "Override" / Name(i));
    // A game folder that has been left alone for a while, as before an install.
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, (root / "Override").c_str(), times, 0);
  }
  ~GameFolder() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  static std::string Name(int i) { return "File_" + std::to_string(i) + ".uti"; }
};

const GameFolder& Folder() {
  static GameFolder folder;
  return folder;
}

void BM_ResolveExactCase(benchmark::State& state) {
  const fs::path& root = Folder().root;
  GameFileSystem gfs;
  int i = 0;
  for (auto _ : state) {
    std::string rel = "Override\\" + GameFolder::Name(i++ % kFiles);
    benchmark::DoNotOptimize(gfs.Resolve(root, rel));
  }
}
BENCHMARK(BM_ResolveExactCase);

void BM_ResolveOtherCase(benchmark::State& state) {
  const fs::path& root = Folder().root;
  GameFileSystem gfs;
  int i = 0;
  for (auto _ : state) {
    std::string rel = "override\\file_" + std::to_string(i++ % kFiles) + ".UTI";
    benchmark::DoNotOptimize(gfs.Resolve(root, rel));
  }
}
BENCHMARK(BM_ResolveOtherCase);

void BM_ResolveMissing(benchmark::State& state) {
  const fs::path& root = Folder().root;
  GameFileSystem gfs;
  int i = 0;
  for (auto _ : state) {
    std::string rel = "Override\\new_" + std::to_string(i++) + ".2da";
    benchmark::DoNotOptimize(gfs.Resolve(root, rel));
  }
}
BENCHMARK(BM_ResolveMissing);

// The install pattern: look a new name up, write it, look it up again.
void BM_ResolveWriteResolve(benchmark::State& state) {
  const fs::path& root = Folder().root;
  GameFileSystem gfs;
  gfs.AddWritableRoot(root);
  const std::uint8_t byte = 0;
  int i = 0;
  for (auto _ : state) {
    std::string name = "written_" + std::to_string(i++) + ".2da";
    fs::path target = gfs.Resolve(root, "override\\" + name);
    gfs.WriteFile(target, std::span<const std::uint8_t>(&byte, 1));
    benchmark::DoNotOptimize(gfs.Resolve(root, "OVERRIDE\\" + name));
  }
}
BENCHMARK(BM_ResolveWriteResolve);

// The same folder without the cache's help: every lookup reads it whole.
void BM_ResolveMissingUncached(benchmark::State& state) {
  const fs::path& root = Folder().root;
  GameFileSystem gfs;
  int i = 0;
  for (auto _ : state) {
    gfs.ForgetListings();
    std::string rel = "Override\\new_" + std::to_string(i++) + ".2da";
    benchmark::DoNotOptimize(gfs.Resolve(root, rel));
  }
}
BENCHMARK(BM_ResolveMissingUncached);

}  // namespace
