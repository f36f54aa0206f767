// erf_bench: opening a large archive (tables only) and rebuilding it after one
// added resource, against a plain read/write copy of the same file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <vector>

#include "common/ByteWriter.h"
#include "formats/UERFHandler.h"

namespace {

namespace fs = std::filesystem;
constexpr std::uint32_t kResourceSize = 100 * 1024;

// Generated archives live under /tmp for the length of the run only.
class Scratch {
 public:
  Scratch() {
    std::string tmpl = "/tmp/vey-erf-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const fs::path& Dir() const { return dir_; }

  // A MOD archive of about megabytes MB made of 100 KiB resources.
  fs::path Archive(int megabytes) {
    auto it = archives_.find(megabytes);
    if (it != archives_.end()) return it->second;
    auto path = dir_ / ("big" + std::to_string(megabytes) + ".mod");
    const std::uint32_t n = static_cast<std::uint32_t>(megabytes) * 1024 * 1024 / kResourceSize;
    const std::uint32_t keys = 160, list = keys + 24 * n, data = list + 8 * n;
    vey::ByteWriter w(data);
    w.Text("MOD V1.0");
    w.I32(0);
    w.U32(0);
    w.U32(n);
    w.U32(160);
    w.U32(keys);
    w.U32(list);
    w.U32(126);
    w.U32(1);
    w.U32(0xFFFFFFFFu);
    w.Zeros(116);
    for (std::uint32_t i = 0; i < n; ++i) {
      w.FixedString("res" + std::to_string(i), 16);
      w.U32(i);
      w.U16(2027);
      w.U16(0);
    }
    for (std::uint32_t i = 0; i < n; ++i) {
      w.U32(data + i * kResourceSize);
      w.U32(kResourceSize);
    }
    std::vector<std::uint8_t> chunk(kResourceSize);
    std::uint32_t x = 2463534242u;
    for (auto& b : chunk) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<std::uint8_t>(x);
    }
    vey::AtomicFileWriter out(path);
    out.Write(w.Data());
    for (std::uint32_t i = 0; i < n; ++i) {
      chunk[0] = static_cast<std::uint8_t>(i);
      out.Write(chunk);
    }
    out.Commit();
    archives_[megabytes] = path;
    return path;
  }

 private:
  fs::path dir_;
  std::map<int, fs::path> archives_;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// The yardstick: the whole file through a 1 MiB user-space buffer.
void PlainCopy(const fs::path& from, const fs::path& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> buf(1 << 20);
  for (ssize_t n; (n = ::read(in, buf.data(), buf.size())) > 0;)
    if (::write(out, buf.data(), static_cast<std::size_t>(n)) != n) throw std::runtime_error("write");
  ::close(in);
  ::close(out);
}

double MaxRssKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss);
}

void BM_OpenTablesOnly(benchmark::State& state) {
  auto path = TheScratch().Archive(static_cast<int>(state.range(0)));
  std::size_t count = 0;
  for (auto _ : state) {
    vey::TERFHandler h(path);
    count = h.Resources().size();
    benchmark::DoNotOptimize(count);
  }
  state.counters["resources"] = static_cast<double>(count);
  state.counters["max_rss_KiB"] = MaxRssKiB();
}
BENCHMARK(BM_OpenTablesOnly)->Arg(30)->Arg(300)->Unit(benchmark::kMicrosecond);

// Each iteration copies the archive plainly and, in alternating order, adds
// one small resource and rebuilds the archive in place; the reported time is
// the rebuild's. The ratio is given over the totals and as the median of the
// per-iteration ratios, which a busy machine disturbs less.
void BM_AddOneAndSave(benchmark::State& state) {
  auto path = TheScratch().Archive(static_cast<int>(state.range(0)));
  auto copy = TheScratch().Dir() / "plain-copy.mod";
  auto extra = TheScratch().Dir() / "added.utc";
  {
    vey::AtomicFileWriter w(extra);
    w.Write(std::vector<std::uint8_t>(4096, 0x5A));
    w.Commit();
  }
  auto timeCopy = [&] {
    // Each phase starts with no dirty pages, so neither pays for the
    // other's write-back.
    ::sync();
    auto start = std::chrono::steady_clock::now();
    PlainCopy(path, copy);
    return Seconds(start);
  };
  auto timeSave = [&] {
    ::sync();
    auto start = std::chrono::steady_clock::now();
    vey::TERFHandler h(path);
    h.AddResource(extra, true);
    h.SaveToFile();
    return Seconds(start);
  };
  double copySeconds = 0, saveSeconds = 0;
  std::vector<double> ratios;
  for (auto _ : state) {
    double c = 0, s = 0;
    if (ratios.size() % 2 == 0) {
      c = timeCopy();
      s = timeSave();
    } else {
      s = timeSave();
      c = timeCopy();
    }
    copySeconds += c;
    saveSeconds += s;
    ratios.push_back(s / c);
    state.SetIterationTime(s);
  }
  fs::remove(copy);
  std::sort(ratios.begin(), ratios.end());
  state.counters["ratio_vs_copy"] = saveSeconds / copySeconds;
  state.counters["median_ratio"] = ratios[ratios.size() / 2];
  state.counters["copy_ms"] = 1000 * copySeconds / static_cast<double>(state.iterations());
  state.counters["max_rss_KiB"] = MaxRssKiB();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_AddOneAndSave)
    ->Arg(30)
    ->Arg(300)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
