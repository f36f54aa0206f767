// UWinePrefix: where the installer's wine prefix lives and the record that
// decides whether it may be used again.
#include "engine/support/UWinePrefix.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <vector>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "common/VeyException.h"

namespace vey {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSandboxedOnly = "sandboxed only";
constexpr std::string_view kUnsandboxed = "used without a sandbox";

std::string ReadText(const std::string& path) {
  try {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  } catch (...) {
    return {};
  }
}

}  // namespace

std::string WinePrefixFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (cache && cache[0] == '/') {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && home[0] ? home : "/tmp") + "/.cache";
  }
  return base + "/veypatcher/wine";
}

std::string WinePrefixRecordPath(const std::string& prefix) { return prefix + ".record"; }

std::string DescribeWinePrefix(const std::string& prefix, std::string_view wineVersion, bool sandboxedOnly) {
  std::vector<std::string> entries;
  std::error_code ec;
  // Links are described, never followed: z: leads to the whole file system.
  for (fs::recursive_directory_iterator it(prefix, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string relative = it->path().lexically_relative(prefix).string();
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) {
      entries.push_back("?\t\t" + relative);
    } else if (S_ISLNK(st.st_mode)) {
      std::error_code linkError;
      entries.push_back("l\t" + fs::read_symlink(it->path(), linkError).string() + "\t" + relative);
    } else if (S_ISDIR(st.st_mode)) {
      entries.push_back("d\t\t" + relative);
    } else if (S_ISREG(st.st_mode)) {
      // The content, not the size: a same-size edit of the registry counts.
      std::string digest = "?";
      try {
        digest = Sha256OfFile(it->path());
      } catch (const Exception&) {
      }
      entries.push_back("f\t" + digest + "\t" + relative);
    } else {
      entries.push_back("o\t\t" + relative);
    }
  }
  // A prefix that cannot be walked whole is described as such and never matches.
  if (ec) entries.push_back("unreadable\t\t" + ec.message());
  std::sort(entries.begin(), entries.end());
  std::string text = "wine\t" + std::string(wineVersion) + "\n";
  text += std::string(sandboxedOnly ? kSandboxedOnly : kUnsandboxed) + "\n";
  for (const std::string& e : entries) text += e + "\n";
  return text;
}

bool WinePrefixMatchesRecord(const std::string& prefix, std::string_view wineVersion, bool sandboxed) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(prefix, ec))) return false;
  const std::string record = ReadText(WinePrefixRecordPath(prefix));
  if (record.empty()) return false;
  if (record == DescribeWinePrefix(prefix, wineVersion, true)) return true;
  return !sandboxed && record == DescribeWinePrefix(prefix, wineVersion, false);
}

void WriteWinePrefixRecord(const std::string& prefix, std::string_view wineVersion, bool sandboxedOnly) {
  const std::string text = DescribeWinePrefix(prefix, wineVersion, sandboxedOnly);
  WriteFileAtomic(WinePrefixRecordPath(prefix),
                  std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void RemoveWinePrefix(const std::string& prefix) {
  std::error_code ec;
  // The record goes first: a prefix left half-removed then has none.
  fs::remove(WinePrefixRecordPath(prefix), ec);
  fs::remove_all(prefix, ec);
}

void RemoveStaleWinePrefixSetUps(const std::string& prefix) {
  const fs::path folder = fs::path(prefix).parent_path();
  const std::string stem = fs::path(prefix).filename().string() + ".new-";
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  // Another installer may be setting up a prefix right now; only set-ups
  // that a killed run left long ago are removed.
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().rfind(stem, 0) != 0) continue;
    std::error_code timeError;
    const auto written = fs::last_write_time(it->path(), timeError);
    if (!timeError && now - written > std::chrono::hours(1)) {
      std::error_code removeError;
      fs::remove_all(it->path(), removeError);
    }
  }
}

}  // namespace vey
