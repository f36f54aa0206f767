// OverlayFileSystem: copy-on-write view of the run's folders over a scratch
// folder. A copy of an untouched file costs nothing: it points at the original,
// which nothing changes while the overlay is in use.
#include "platform/OverlayFileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "common/PathText.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "common/Win1252.h"

namespace vey::platform {
namespace {

std::string ParentKey(const std::string& key) {
  std::size_t cut = key.rfind('/');
  return cut == 0 ? std::string("/") : key.substr(0, cut);
}

std::string NameOf(const std::string& key) { return key.substr(key.rfind('/') + 1); }

// The failures the real file system would raise for the same change.
[[noreturn]] void Refuse(std::string_view what, const std::string& path, int err) {
  throw EFCreateError(FormatMsg("Cannot %s \"%s\". %s", {what, PathText(path), SystemReason(err)}));
}

}  // namespace

OverlayFileSystem::OverlayFileSystem(const Path& parent) {
  std::string pattern = (parent / "veypatcher-dry-run-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw EFCreateError(FormatMsg("Cannot create folder \"%s\". %s", {PathText(pattern), SystemReason(errno)}));
  scratch_ = pattern;
}

OverlayFileSystem::~OverlayFileSystem() {
  std::error_code ec;
  std::filesystem::remove_all(scratch_, ec);
}

std::string OverlayFileSystem::KeyOf(const Path& path) { return NormalText(path); }

const OverlayFileSystem::Entry* OverlayFileSystem::Lookup(const std::string& key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

void OverlayFileSystem::Set(const std::string& key, Entry entry) {
  entries_[key] = std::move(entry);
  if (key == "/") return;
  const std::string parent = ParentKey(key), name = NameOf(key);
  names_[parent].insert(name);
  spellings_[parent + '\0' + AsciiLowerCopy(name)].insert(name);
}

OverlayFileSystem::Path OverlayFileSystem::ScratchFor(const std::string& key) {
  Path place = scratch_ / key.substr(1);
  std::error_code ec;
  std::filesystem::create_directories(place.parent_path(), ec);
  if (ec)
    throw EFCreateError(FormatMsg("Cannot create folder \"%s\". %s",
                                  {PathText(place.parent_path()), ec.message()}));
  return place;
}

bool OverlayFileSystem::InScratch(const Path& host) const {
  const std::string h = host.string(), s = scratch_.string() + "/";
  return h.compare(0, s.size(), s) == 0;
}

void OverlayFileSystem::RequireFolderOf(const std::string& key) const {
  if (!IsDirectory(ParentKey(key)))
    Refuse("create file", key, ENOENT);
}

bool OverlayFileSystem::Exists(const Path& path) const {
  if (const Entry* e = Lookup(KeyOf(path))) return e->state != State::kGone;
  return GameFileSystem::Exists(path);
}

bool OverlayFileSystem::IsFile(const Path& path) const {
  if (const Entry* e = Lookup(KeyOf(path))) return e->state == State::kFile;
  return GameFileSystem::IsFile(path);
}

bool OverlayFileSystem::IsDirectory(const Path& path) const {
  if (const Entry* e = Lookup(KeyOf(path))) return e->state == State::kFolder;
  return GameFileSystem::IsDirectory(path);
}

std::vector<std::string> OverlayFileSystem::List(const Path& folder) const {
  const std::string key = KeyOf(folder);
  if (!IsDirectory(folder)) return {};
  std::set<std::string> names;
  const Entry* own = Lookup(key);
  // A folder the run made has no real entries behind it.
  if (!own && GameFileSystem::IsDirectory(folder))
    for (std::string& n : GameFileSystem::List(folder)) names.insert(std::move(n));
  if (auto it = names_.find(key); it != names_.end())
    names.insert(it->second.begin(), it->second.end());
  std::vector<std::string> result;
  for (const std::string& n : names) {
    const Entry* e = Lookup(key == "/" ? "/" + n : key + "/" + n);
    if (!e || e->state != State::kGone) result.push_back(n);
  }
  return result;
}

std::vector<std::uint8_t> OverlayFileSystem::ReadFile(const Path& path) const {
  if (const Entry* e = Lookup(KeyOf(path))) {
    if (e->state != State::kFile)
      throw EFOpenError(FormatMsg("Cannot open file \"%s\". %s",
                                  {PathText(path), SystemReason(e->state == State::kGone ? ENOENT : EISDIR)}));
    return ReadWholeFile(e->host);
  }
  return GameFileSystem::ReadFile(path);
}

OverlayFileSystem::Path OverlayFileSystem::HostPath(const Path& path) const {
  if (const Entry* e = Lookup(KeyOf(path)); e && e->state == State::kFile) return e->host;
  return path;
}

std::optional<std::string> OverlayFileSystem::FindEntry(const Path& folder,
                                                        std::string_view name) const {
  if (Exists(folder / std::string(name))) return std::string(name);
  const std::string key = KeyOf(folder);
  const std::string folded = AsciiLowerCopy(name);
  std::optional<std::string> best;
  auto consider = [&](const std::string& candidate) {
    if (AsciiLowerCopy(candidate) != folded) return;
    const Entry* e = Lookup(key == "/" ? "/" + candidate : key + "/" + candidate);
    if (e && e->state == State::kGone) return;
    if (!best || candidate < *best) best = candidate;
  };
  if (auto it = spellings_.find(key + '\0' + folded); it != spellings_.end())
    for (const std::string& n : it->second) consider(n);
  if (!Lookup(key))
    if (auto real = GameFileSystem::FindEntry(folder, name)) consider(*real);
  return best;
}

void OverlayFileSystem::WriteFile(const Path& path, std::span<const std::uint8_t> bytes) {
  CheckWritable(path);
  const std::string key = KeyOf(path);
  RequireFolderOf(key);
  const FileChange change{FileChange::kWrite, path, {}};
  Announce(change);
  const Path place = ScratchFor(key);
  WriteFileAtomic(place, bytes);
  Set(key, {State::kFile, place});
  Done(change);
}

std::unique_ptr<AtomicFileWriter> OverlayFileSystem::CreateFile(const Path& path) {
  CheckWritable(path);
  const std::string key = KeyOf(path);
  RequireFolderOf(key);
  Announce(FileChange{FileChange::kWrite, path, {}});
  const Path place = ScratchFor(key);
  auto writer = std::make_unique<AtomicFileWriter>(place);
  Set(key, {State::kFile, place});
  return writer;
}

void OverlayFileSystem::CopyFile(const Path& from, const Path& to) {
  CheckWritable(to);
  if (!IsFile(from))
    throw EFOpenError(FormatMsg("Cannot open file \"%s\". %s", {PathText(from), SystemReason(ENOENT)}));
  const std::string key = KeyOf(to);
  RequireFolderOf(key);
  const FileChange change{FileChange::kWrite, to, {}};
  Announce(change);
  const Path source = HostPath(from);
  if (InScratch(source)) {
    // Scratch files change when their own path is written again: copy it.
    const Path place = ScratchFor(key);
    InputFile in(source);
    AtomicFileWriter out(place);
    out.CopyFrom(in, 0, in.Size());
    out.Commit();
    Set(key, {State::kFile, place});
  } else {
    Set(key, {State::kFile, std::filesystem::absolute(source)});
  }
  Done(change);
}

void OverlayFileSystem::RemoveFile(const Path& path) {
  CheckWritable(path);
  if (!Exists(path)) return;
  if (IsDirectory(path)) Refuse("delete file", path.string(), EISDIR);
  const FileChange change{FileChange::kRemove, path, {}};
  Announce(change);
  Set(KeyOf(path), {State::kGone, {}});
  Done(change);
}

void OverlayFileSystem::Rename(const Path& from, const Path& to) {
  CheckWritable(from);
  CheckWritable(to);
  const std::string fromKey = KeyOf(from), toKey = KeyOf(to);
  if (!IsFile(from))
    Refuse("rename file", from.string(), ENOENT);
  if (Exists(to)) Refuse("rename file", from.string(), EEXIST);
  if (!IsDirectory(ParentKey(toKey))) Refuse("rename file", from.string(), ENOENT);
  const FileChange change{FileChange::kRename, from, to};
  Announce(change);
  Path host = HostPath(from);
  if (InScratch(host)) {
    // The scratch file belongs to its path; it moves with the name.
    const Path place = ScratchFor(toKey);
    std::filesystem::rename(host, place);
    host = place;
  } else {
    host = std::filesystem::absolute(host);
  }
  Set(toKey, {State::kFile, host});
  Set(fromKey, {State::kGone, {}});
  Done(change);
}

void OverlayFileSystem::CreateDirectories(const Path& path) {
  CheckWritable(path);
  if (IsDirectory(path)) return;
  const FileChange change{FileChange::kMakeFolder, path, {}};
  Announce(change);
  std::vector<std::string> missing;
  for (std::string key = KeyOf(path); !IsDirectory(key); key = ParentKey(key)) {
    if (Exists(key)) Refuse("create folder", path.string(), ENOTDIR);
    missing.push_back(key);
    if (key == "/") break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) Set(*it, {State::kFolder, {}});
  Done(change);
}

bool OverlayFileSystem::RemoveEmptyDirectory(const Path& path) {
  CheckWritable(path);
  if (!IsDirectory(path) || !List(path).empty()) return false;
  const FileChange change{FileChange::kRemoveFolder, path, {}};
  Announce(change);
  Set(KeyOf(path), {State::kGone, {}});
  Done(change);
  return true;
}

OverlayFileSystem::Path OverlayFileSystem::BeforeWrite(const Path& path) {
  CheckWritable(path);
  const std::string key = KeyOf(path);
  RequireFolderOf(key);
  Announce(FileChange{FileChange::kWrite, path, {}});
  return ScratchFor(key);
}

void OverlayFileSystem::WriteDone(const Path& path) {
  const std::string key = KeyOf(path);
  const Path place = scratch_ / key.substr(1);
  // A writer that failed or wrote nothing leaves the path as it was.
  if (GameFileSystem::IsFile(place)) Set(key, {State::kFile, place});
  Done(FileChange{FileChange::kWrite, path, {}});
}

}  // namespace vey::platform
