// JournalCheck: the installer's last write of every file compared with the
// file's content now, and the marks of a forced uninstall.
#include "platform/JournalCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

#include "common/FileIO.h"
#include "common/Sha256.h"
#include "common/VeyException.h"
#include "platform/JournalDir.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kMarks = journal::kMarksFile;

// Record text is untrusted: a path that could leave the game folder is never
// opened.
bool InsideGame(std::string_view path) { return !journal::PathProblem(path); }

bool IsDigest(std::string_view text) {
  return text.empty() || (text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos);
}

// Compares one file; empty state when it is as expected.
std::string Compare(const fs::path& game, const ExpectedFile& expected) {
  struct stat st {};
  const fs::path path = game / expected.path;
  if (::lstat(path.c_str(), &st) != 0) return expected.exists ? "removed" : "";
  if (!expected.exists) return "replaced";
  if (!S_ISREG(st.st_mode)) return "replaced";
  const bool sameFile = expected.inode == 0 || static_cast<std::uint64_t>(st.st_ino) == expected.inode;
  if (static_cast<std::uint64_t>(st.st_size) != expected.size) return sameFile ? "changed" : "replaced";
  // Size, inode and time can all be kept by an edit in place: only the
  // content tells.
  std::string digest;
  try {
    digest = Sha256OfFile(path);
  } catch (const Exception&) {
    return sameFile ? "changed" : "replaced";
  }
  if (digest == expected.sha256) return "";
  return sameFile ? "changed" : "replaced";
}

}  // namespace

std::vector<ExpectedFile> LastWrites(const std::vector<RunRecord>& runs) {
  std::vector<ExpectedFile> files;
  std::map<std::string, std::size_t> at;
  for (const RunRecord& run : runs) {
    if (run.undone || !run.Finished()) continue;
    std::map<std::string, const UndoneFile*> taken;
    for (const UndoneFile& u : run.partlyUndone) taken[u.path] = &u;
    for (const JournalFile& f : run.files) {
      if (!InsideGame(f.path)) continue;
      ExpectedFile e{f.path, run.id, f.existsAfter, f.sizeAfter, f.sha256After, f.inodeAfter};
      if (auto t = taken.find(f.path); t != taken.end()) {
        e.exists = t->second->exists;
        e.sha256 = t->second->sha256;
        e.inode = 0;
        e.size = UINT64_MAX;  // unknown: compared by content
      }
      auto [slot, fresh] = at.emplace(f.path, files.size());
      if (fresh)
        files.push_back(std::move(e));
      else
        files[slot->second] = std::move(e);
    }
  }
  return files;
}

std::vector<FileDrift> FindDrifts(const fs::path& gameFolder, const std::vector<ExpectedFile>& files,
                                  unsigned threads) {
  std::vector<std::string> states(files.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
      ExpectedFile e = files[i];
      if (e.size == UINT64_MAX) {
        // A file put back by a forced uninstall: its size is not recorded.
        struct stat st {};
        if (::lstat((gameFolder / e.path).c_str(), &st) == 0) e.size = static_cast<std::uint64_t>(st.st_size);
      }
      states[i] = Compare(gameFolder, e);
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < files.size(); ++t) helpers.emplace_back(work);
  work();
  for (std::thread& t : helpers) t.join();
  std::vector<FileDrift> drifts;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!states[i].empty()) drifts.push_back({files[i].path, states[i], files[i].run});
  return drifts;
}

void MarkPartlyUndone(const fs::path& gameFolder, const std::string& id, const std::vector<UndoneFile>& files) {
  if (files.empty()) return;
  const JournalFolder home = JournalFolder::Home(gameFolder, false);
  const std::optional<JournalFolder> runs = home.Folder(journal::kRunsFolder);
  const std::optional<JournalFolder> folder = runs ? runs->Folder(id) : std::nullopt;
  if (!folder) throw EFCreateError("Cannot mark the run " + id + ": its record is missing.");
  std::vector<std::string> paths;
  std::string text;
  for (const UndoneFile& f : files) {
    text += EscapeRecordText(f.path) + "\t" + (f.exists ? "1" : "0") + "\t" + f.sha256 + "\t" + EscapeRecordText(f.by) + "\n";
    paths.push_back(f.path);
  }
  // Appended and forced to disk before the old versions go: a crash between
  // the two leaves old versions the mark already says not to trust.
  const fs::path marks = folder->PathOf(kMarks);
  const UniqueFd fd = folder->OpenAppend(kMarks);
  const bool written = ::write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::fdatasync(fd.Get());
  if (!written) throw EFCreateError("Cannot write \"" + marks.string() + "\".");
  DropOldVersions(gameFolder, id, paths);
}

std::vector<UndoneFile> ReadUndoneMarks(const fs::path& runFolder, std::vector<std::string>& damage) {
  try {
    if (const std::optional<JournalFolder> folder = OpenJournalFolder(runFolder))
      return ReadUndoneMarks(*folder, damage);
  } catch (const EJournalUnusable& e) {
    damage.push_back(e.what());
  }
  return {};
}

std::vector<UndoneFile> ReadUndoneMarks(const JournalFolder& runFolder, std::vector<std::string>& damage) {
  std::vector<UndoneFile> marks;
  std::map<std::string, std::size_t> at;
  std::size_t number = 0;
  // Complete lines only, and never through a link: a line a crash cut short
  // was never acted upon.
  std::vector<std::string> lines;
  try {
    lines = runFolder.ReadLines(kMarks);
  } catch (const EJournalUnusable& e) {
    damage.push_back(e.what());
  }
  for (const std::string& line : lines) {
    ++number;
    const std::string where = std::string(kMarks) + ", line " + std::to_string(number);
    const auto f = journal::SplitTabs(line);
    auto path = f.size() == 4 ? journal::Unescape(f[0]) : std::nullopt;
    auto by = f.size() == 4 ? journal::Unescape(f[3]) : std::nullopt;
    if (f.size() != 4 || (f[1] != "0" && f[1] != "1") || !IsDigest(f[2]) || !path || !by) {
      damage.push_back(where + ": not a mark line");
      continue;
    }
    if (auto problem = journal::PathProblem(*path)) {
      damage.push_back(where + ": " + *problem);
      continue;
    }
    UndoneFile u{std::move(*path), f[1] == "1", std::string(f[2]), std::move(*by)};
    // A later mark of the same file replaces the earlier one.
    auto [slot, fresh] = at.emplace(u.path, marks.size());
    if (fresh)
      marks.push_back(std::move(u));
    else
      marks[slot->second] = std::move(u);
  }
  return marks;
}

std::vector<UndoneFile> ReadUndoneMarks(const fs::path& runFolder) {
  std::vector<std::string> damage;
  return ReadUndoneMarks(runFolder, damage);
}

}  // namespace vey::platform
