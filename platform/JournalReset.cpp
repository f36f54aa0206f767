// JournalReset: the reset's own record and its completion.
#include "platform/JournalReset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

fs::path ResetFile(const fs::path& game) { return JournalHome(game) / "reset.txt"; }

void SyncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

[[noreturn]] void Fail(const fs::path& path, int err) {
  throw EFCreateError(FormatMsg("Cannot write \"%s\". %s", {path.string(), SystemReason(err)}));
}

void WriteSynced(const fs::path& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) Fail(path, errno);
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok) Fail(path, err);
}

// A run id read back from the reset's record names a folder in runs/ and
// nothing else.
bool PlainId(const std::string& id) {
  return !id.empty() && id.front() != '.' && id.find('/') == std::string::npos &&
         id.find('\0') == std::string::npos;
}

// The run's record without its old versions, under undone/, complete before
// it appears there.
void KeepRecord(const fs::path& game, const std::string& id) {
  const fs::path from = JournalHome(game) / "runs" / id;
  const fs::path kept = JournalHome(game) / "undone";
  const fs::path to = kept / id;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(to, ec))) return;
  fs::create_directories(kept, ec);
  const fs::path part = kept / (id + ".part");
  fs::remove_all(part, ec);
  if (::mkdir(part.c_str(), 0755) != 0) Fail(part, errno);
  for (const char* name : {"run.txt", "files.txt", "changes.log", "undone.txt", "source.txt"}) {
    if (!fs::is_regular_file(fs::symlink_status(from / name, ec))) continue;
    std::ifstream in(from / name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteSynced(part / name, text);
  }
  WriteSynced(part / "reset.txt", "undone by reset\n");
  SyncFolder(part);
  if (::rename(part.c_str(), to.c_str()) != 0) Fail(to, errno);
  SyncFolder(kept);
}

}  // namespace

bool ResetPending(const fs::path& gameFolder) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(ResetFile(gameFolder), ec));
}

void BeginReset(const fs::path& gameFolder, const std::vector<std::string>& newestFirst) {
  std::string text;
  for (const std::string& id : newestFirst) text += id + "\n";
  const fs::path path = ResetFile(gameFolder);
  const fs::path temp = path.string() + ".new";
  WriteSynced(temp, text);
  if (::rename(temp.c_str(), path.c_str()) != 0) Fail(path, errno);
  SyncFolder(path.parent_path());
}

RollbackResult CompleteReset(const fs::path& gameFolder) {
  RollbackResult total;
  std::ifstream in(ResetFile(gameFolder), std::ios::binary);
  const fs::path runs = JournalHome(gameFolder) / "runs";
  for (std::string id; std::getline(in, id);) {
    if (in.eof() || !PlainId(id)) continue;  // a cut line was never acted upon
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(runs / id, ec))) continue;  // undone already
    KeepRecord(gameFolder, id);
    const RollbackResult r = RollBackStoredRun(gameFolder, id);
    total.restored += r.restored;
    total.removed += r.removed;
    if (!r.problems.empty()) {
      for (const std::string& problem : r.problems) total.problems.push_back(id + ": " + problem);
      return total;
    }
  }
  in.close();
  ::unlink(ResetFile(gameFolder).c_str());
  SyncFolder(JournalHome(gameFolder));
  return total;
}

}  // namespace vey::platform
