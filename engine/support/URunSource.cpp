// URunSource: the source record of a run and the digest of a mod's files.
#include "engine/support/URunSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "common/Sha256.h"
#include "common/VeyException.h"
#include "common/Win1252.h"
#include "engine/support/URecordText.h"
#include "platform/RunJournal.h"

namespace vey {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kSourceHeader = "veypatcher-source 1";

// The rules of what the installer writes into a mod folder, each a digest
// of its own. Earlier: the rule of records written before names in other
// letter cases were left out; kept so that such records still compare equal. Current leaves out all the earlier
// rule does and more. None: every file (a list's copy).
enum DigestRule { kRuleCurrent, kRuleEarlier, kRuleNone, kRules };

bool InstallerOwn(const std::vector<std::string>& parts, bool folder, DigestRule rule) {
  if (rule == kRuleNone) return false;
  if (rule == kRuleEarlier) {
    if (parts.size() == 1)
      return folder ? parts[0] == "backup" : parts[0] == "installlog.rtf" || parts[0] == "installlog.txt";
    if (!folder && platform::IsWriterTemp(parts.back())) return true;
    if (!folder || !EqualsNoCase(parts[0], "veypatchdata") || parts.size() > 3) return false;
    const std::string& name = parts.back();
    return name == "erfpatch_temp" || name == "nsspatch_temp" || name == "debug";
  }
  const std::string& name = parts.back();
  if (parts.size() == 1) {
    if (folder) return EqualsNoCase(name, "backup");
    if (EqualsNoCase(name, "installlog.rtf") || EqualsNoCase(name, "installlog.txt")) return true;
  }
  if (!folder) return platform::IsWriterTemp(name);
  // The work folders and the debug sources sit beside an instruction file:
  // in the data folder or in an installation type's folder in it.
  return parts.size() >= 2 && parts.size() <= 3 && EqualsNoCase(parts[0], "veypatchdata") &&
         (EqualsNoCase(name, "erfpatch_temp") || EqualsNoCase(name, "nsspatch_temp") || EqualsNoCase(name, "debug"));
}

struct Unreadable {};

// A file's digest read through a small buffer: the digest runs beside the
// install, whose peak memory it should not raise. The name was a regular
// file when listed; what is opened must still be one (a link or a FIFO put
// in its place is neither followed nor waited on).
std::string FileDigest(const fs::path& path, std::uint64_t& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) throw Unreadable{};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw Unreadable{};
  Sha256 h;
  std::array<std::uint8_t, 64 * 1024> buffer;
  bytes = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Unreadable{};
    if (n == 0) break;
    bytes += static_cast<std::uint64_t>(n);
    h.Update(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
  }
  return h.HexDigest();
}

// The lines of the digest; sizes, when given, receives each file hashed with
// the number of bytes read from it.
using Sizes = std::vector<std::pair<std::string, std::uint64_t>>;

// Walks the folder once for every rule wanted; a folder every rule leaves
// out is not entered (a backup folder may hold the game's largest files).
void Walk(const fs::path& root, std::vector<std::string>& parts, const std::array<bool, kRules>& wanted,
          std::array<std::vector<std::string>, kRules>& lines, Sizes* sizes) {
  fs::path folder = root;
  for (const std::string& p : parts) folder /= p;
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) throw Unreadable{};
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    parts.push_back(name);
    const fs::path path = folder / name;
    std::string relative;
    for (const std::string& p : parts) relative += (relative.empty() ? "" : "/") + p;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      // The run may remove its own work folders and files while this reads.
      if (errno == ENOENT && (InstallerOwn(parts, true, kRuleCurrent) || InstallerOwn(parts, false, kRuleCurrent))) {
        parts.pop_back();
        continue;
      }
      throw Unreadable{};
    }
    std::array<bool, kRules> keep{};
    bool any = false;
    for (int r = 0; r < kRules; ++r) {
      keep[r] = wanted[r] && !InstallerOwn(parts, S_ISDIR(st.st_mode), static_cast<DigestRule>(r));
      any = any || keep[r];
    }
    std::string line;
    if (!any) {
    } else if (S_ISDIR(st.st_mode)) {
      Walk(root, parts, keep, lines, sizes);
    } else if (S_ISLNK(st.st_mode)) {
      std::array<char, 4096> target{};
      const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
      line = RecordEscape(relative) + "\tlink\t" +
             RecordEscape(std::string_view(target.data(), n > 0 ? static_cast<std::size_t>(n) : 0));
    } else if (S_ISREG(st.st_mode)) {
      std::uint64_t bytes = 0;
      line = RecordEscape(relative) + "\tfile\t" + FileDigest(path, bytes);
      if (sizes && keep[kRuleCurrent]) sizes->emplace_back(relative, bytes);
    }
    if (!line.empty())
      for (int r = 0; r < kRules; ++r)
        if (keep[r]) lines[r].push_back(line);
    parts.pop_back();
  }
}

std::array<std::string, kRules> Digests(const fs::path& folder, const std::array<bool, kRules>& wanted,
                                        Sizes* sizes = nullptr) {
  std::vector<std::string> parts;
  std::array<std::vector<std::string>, kRules> lines;
  std::array<std::string, kRules> digests;
  try {
    Walk(folder, parts, wanted, lines, sizes);
  } catch (const Unreadable&) {
    return digests;
  } catch (const Exception&) {
    return digests;
  }
  for (int r = 0; r < kRules; ++r) {
    if (!wanted[r]) continue;
    std::string text;
    for (const std::string& line : lines[r]) text += line + "\n";
    digests[r] = Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  return digests;
}

struct SourceKey {
  const char* name;
  std::string TRunSource::*field;
};
constexpr SourceKey kKeys[] = {{"mod", &TRunSource::modFolder},      {"ini", &TRunSource::iniName},
                         {"archive", &TRunSource::archive},    {"archive-sha256", &TRunSource::archiveSha256},
                         {"in", &TRunSource::in},              {"type", &TRunSource::installationType},
                         {"compiler", &TRunSource::compiler},  {"backup-dir", &TRunSource::backupDir},
                         {"digest", &TRunSource::digest},     {"entry", &TRunSource::entry}};

}  // namespace

std::string ModDigest(const fs::path& folder) { return Digests(folder, {true, false, false})[kRuleCurrent]; }

TModDigests ModDigests(const fs::path& folder) {
  const auto d = Digests(folder, {true, true, false});
  return {d[kRuleCurrent], d[kRuleEarlier]};
}

std::vector<std::string> InstallerOwnEntries(const fs::path& folder) {
  std::vector<std::string> found;
  std::vector<std::string> parts;
  // Only the top of the mod folder and of its data folders can hold them.
  const auto look = [&](const auto& self, const fs::path& here) -> void {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(here, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& e : entries) {
      parts.push_back(e.path().filename().string());
      const bool isFolder = e.is_directory(ec) && !e.is_symlink(ec);
      if (InstallerOwn(parts, isFolder, kRuleCurrent)) {
        std::string relative;
        for (const std::string& p : parts) relative += (relative.empty() ? "" : "/") + p;
        found.push_back(relative);
      } else if (isFolder && parts.size() < 3 && EqualsNoCase(parts[0], "veypatchdata")) {
        self(self, e.path());
      }
      parts.pop_back();
    }
  };
  look(look, folder);
  return found;
}

std::string FilesDigest(const fs::path& folder) { return Digests(folder, {false, false, true})[kRuleNone]; }

TModDigestTask::TModDigestTask(fs::path folder) : folder_(std::move(folder)) {
  thread_ = std::thread([this] { digest_ = Digests(folder_, {true, false, false}, &sizes_)[kRuleCurrent]; });
}

TModDigestTask::~TModDigestTask() {
  if (thread_.joinable()) thread_.join();
}

TModDigestTask::Result TModDigestTask::Take() {
  if (thread_.joinable()) thread_.join();
  Result result{digest_, {}};
  if (result.digest.empty()) return result;
  std::size_t moved = 0;
  for (const auto& [relative, size] : sizes_) {
    struct stat st {};
    if (::lstat((folder_ / relative).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) == size)
      continue;
    if (++moved <= 3) result.note += (result.note.empty() ? "" : ", ") + relative;
  }
  if (moved > 3) result.note += " and " + std::to_string(moved - 3) + " more";
  if (moved) result.note = "sizes moved during the run: " + result.note;
  return result;
}

bool TModDigests::Matches(const std::string& recorded) const {
  return !recorded.empty() && (recorded == current || recorded == earlier);
}

std::string SourceText(const TRunSource& source) {
  std::string text(kSourceHeader);
  text += '\n';
  for (const SourceKey& key : kKeys) text += std::string(key.name) + "=" + RecordEscape(source.*key.field) + "\n";
  text += std::string("no-sandbox=") + (source.noSandbox ? "1" : "0") + "\n";
  // Only when there is one: programs that know no such key still read the others' records.
  if (!source.digestNote.empty()) text += "digest-note=" + RecordEscape(source.digestNote) + "\n";
  for (const std::string& pick : source.picks) text += "pick=" + RecordEscape(pick) + "\n";
  return text;
}

std::optional<TRunSource> ParseSource(std::string_view text, std::string& problem) {
  TRunSource source;
  std::size_t start = 0, lineNumber = 0;
  auto refuse = [&](std::string_view why) {
    problem = std::string(kSourceFile) + " line " + std::to_string(lineNumber) + ": " + std::string(why);
    return std::nullopt;
  };
  bool sawMod = false;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;  // cut short by a crash: never complete
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (lineNumber == 1) {
      if (line != kSourceHeader) return refuse("not a source record this version reads");
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return refuse("no value");
    const std::string_view key = line.substr(0, eq);
    std::string value;
    if (!RecordUnescape(line.substr(eq + 1), value)) return refuse("bad escape");
    if (key == "no-sandbox") {
      if (value != "0" && value != "1") return refuse("no-sandbox is neither 0 nor 1");
      source.noSandbox = value == "1";
    } else if (key == "digest-note") {
      source.digestNote = std::move(value);
    } else if (key == "pick") {
      if (value.find('=') == std::string::npos || source.picks.size() >= 1000) return refuse("bad pick");
      source.picks.push_back(std::move(value));
    } else {
      const SourceKey* known = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const SourceKey& k) { return key == k.name; });
      if (known == std::end(kKeys)) return refuse("unknown key");
      source.*known->field = std::move(value);
      sawMod |= key == "mod";
    }
  }
  if (lineNumber == 0) return refuse("empty");
  if (!sawMod || source.modFolder.empty() || source.modFolder.front() != '/')
    return refuse("the mod folder is not an absolute path");
  for (const std::string* path : {&source.archive, &source.compiler, &source.backupDir})
    if (!path->empty() && path->front() != '/') return refuse("a path that is not absolute");
  return source;
}

std::string RunModName(const fs::path& runFolder, const std::string& modFolder) {
  std::string problem;
  if (const auto source = ReadRunSource(runFolder, problem); source && !source->archive.empty())
    return fs::path(source->archive).filename().string();
  fs::path folder(modFolder);
  if (!folder.has_filename()) folder = folder.parent_path();
  const std::string name = folder.filename().string();
  return name.empty() ? modFolder : name;
}

std::optional<TRunSource> ReadRunSource(const fs::path& runFolder, std::string& problem) {
  std::string text;
  if (ReadRecordFile(runFolder / kSourceFile, text, problem) != RecordRead::Read) return std::nullopt;
  return ParseSource(text, problem);
}

}  // namespace vey
