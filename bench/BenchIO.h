// BenchIO: the plain read-and-write baseline the format benchmarks are measured
// against, and a timer that reports both and their ratio as counters.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vey::bench {

// A scratch folder for one benchmark program, removed at exit.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vey-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void PlainWrite(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("write failed");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

inline std::vector<std::uint8_t> PlainRead(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  std::vector<std::uint8_t> bytes(std::filesystem::file_size(path));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("read failed");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return bytes;
}

inline double CpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Each iteration times the format's load + save and, right after, a plain
// read + write of the same file, so that both see the same machine load.
// The iteration time is the format's; the counters carry both and the ratio,
// by the wall clock and by the process's CPU time (user and kernel), which a
// busy machine disturbs less.
inline void TimeAgainstPlainIO(benchmark::State& state, const std::filesystem::path& input,
                               const std::filesystem::path& output, const std::function<void()>& loadSave) {
  using Clock = std::chrono::steady_clock;
  double formatSeconds = 0, plainSeconds = 0, formatCpu = 0, plainCpu = 0;
  for (auto _ : state) {
    double c0 = CpuSeconds();
    auto t0 = Clock::now();
    loadSave();
    auto t1 = Clock::now();
    double c1 = CpuSeconds();
    auto bytes = PlainRead(input);
    PlainWrite(output, bytes);
    auto t2 = Clock::now();
    double c2 = CpuSeconds();
    double f = std::chrono::duration<double>(t1 - t0).count();
    formatSeconds += f;
    plainSeconds += std::chrono::duration<double>(t2 - t1).count();
    formatCpu += c1 - c0;
    plainCpu += c2 - c1;
    state.SetIterationTime(f);
  }
  auto n = static_cast<double>(state.iterations());
  state.counters["format_ms"] = 1000 * formatSeconds / n;
  state.counters["plain_io_ms"] = 1000 * plainSeconds / n;
  state.counters["ratio"] = formatSeconds / plainSeconds;
  state.counters["cpu_ratio"] = formatCpu / plainCpu;
  state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(input)) * state.iterations());
}

}  // namespace vey::bench
