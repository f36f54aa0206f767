// fuzz_erf: the archive reader on arbitrary bytes: open, look up and extract
// every resource, rebuild with one added file and reopen the result.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "common/FileIO.h"
#include "common/Win1252.h"
#include "formats/UERFHandler.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "vey-fuzz-erf-";

// libFuzzer ends without running exit handlers, so each start removes the
// folders of earlier runs whose process is gone.
void RemoveStaleFolders(const fs::path& base) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(base, ec)) {
    auto name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      fs::remove_all(entry.path(), ec);
  }
}

// Work files live in memory-backed storage, one folder per process.
const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    RemoveStaleFolders(d);
    d /= std::string(kPrefix) + std::to_string(::getpid());
    fs::create_directories(d);
    vey::WriteFileAtomic(d / "added.utc", std::vector<std::uint8_t>{'G', 'F', 'F', ' '});
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(WorkDir(), ec);
    });
    return d;
  }();
  return dir;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void Exercise(const fs::path& input) {
  vey::TERFHandler h;
  try {
    h.LoadFromFile(input);
  } catch (const vey::Exception&) {
    Check(!h.IsOpen());
    return;
  }
  std::vector<std::uint32_t> sizes;
  std::set<std::pair<std::string, int>> seen;
  for (const auto& res : h.Resources()) {
    sizes.push_back(res->Size);
    auto ext = vey::TERF_Resource::TypeToExtension(res->ResType);
    auto name = res->ResRef.Name();
    if (!ext.empty()) Check(h.HasResource(name + "." + ext, false));
    // Lookups find the first resource of a name and type; later twins are not reachable.
    if (seen.size() < 16 && seen.insert({vey::AsciiLowerCopy(name), res->ResType}).second) {
      h.ExtractResource(name, res->ResType, WorkDir() / "out.bin");
      Check(fs::file_size(WorkDir() / "out.bin") == res->Size);
    }
  }
  bool replaces = h.HasResource("zz_added.utc", false);
  h.AddResource(WorkDir() / "added.utc", true, "zz_added.utc");
  h.SaveToFile(WorkDir() / "saved.mod");
  // The rebuilt archive holds the same resources in the same order, then the added one.
  const std::size_t expected = sizes.size() + (replaces ? 0 : 1);
  Check(h.IsOpen() && h.Resources().size() == expected);
  if (!replaces)
    for (std::size_t i = 0; i < sizes.size(); ++i) Check(h.Resources()[i]->Size == sizes[i]);
  vey::TERFHandler again(WorkDir() / "saved.mod");
  Check(again.Resources().size() == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WorkDir();
  int fd = ::memfd_create("erf", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (std::size_t done = 0; done < size;) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) {
      ::close(fd);
      return 0;
    }
    done += static_cast<std::size_t>(n);
  }
  Exercise("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);
  return 0;
}
