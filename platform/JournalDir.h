// JournalDir: the journal folder reached through open handles. The journal
// lies in the game folder, where files arrive from outside (a loose-file mod
// unpacked by hand, a copied game folder, a restored backup), so whatever
// stands there is untrusted: a path in it is resolved beneath an open folder
// handle without following a link or leaving the file system, every open
// checks what it got (a folder where a folder belongs, a plain file where a
// file belongs), and a FIFO is opened without waiting on it. Anything else is
// refused by name, and removal walks by handle. Every journal read and write
// goes through here.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/JournalLayout.h"
#include "platform/RunRecords.h"
#include "platform/UniqueFd.h"

namespace vey::platform {


// What stands at a name, not following a link.
enum class EntryType { kMissing, kFile, kFolder, kLink, kFifo, kOther };

// One open folder of the journal (the journal folder itself or one beneath
// it). Relative paths use '/' and never hold "..", "." or an empty part.
class JournalFolder {
 public:
  // GAME/.veypatcher, refused (EJournalUnusable) when it is a link, not a
  // folder or on another file system than the game; nothing when missing
  // and not to be created.
  static std::optional<JournalFolder> OpenHome(const std::filesystem::path& gameFolder, bool create);
  // The same, raising EJournalUnusable when it is missing.
  static JournalFolder Home(const std::filesystem::path& gameFolder, bool create = true);

  // A folder outside any journal (a record handed over by path, as in
  // tests), opened without following a link.
  static std::optional<JournalFolder> OpenLoose(const std::filesystem::path& path);

  // The folder at rel, or nothing when it is missing. Anything but a folder
  // there (a link, a file, a FIFO) raises EJournalUnusable naming it.
  std::optional<JournalFolder> Folder(std::string_view rel) const;
  // The folder at rel, made (with the folders above it) when missing.
  JournalFolder MakeFolder(std::string_view rel) const;
  // The plain file at rel opened for reading, or nothing when missing;
  // anything else raises EJournalUnusable naming it.
  std::optional<UniqueFd> OpenFile(std::string_view rel) const;
  // Its bytes (at most maxBytes, else EJournalUnusable), or nothing when
  // missing.
  std::optional<std::string> ReadText(std::string_view rel, std::size_t maxBytes = kMaxText) const;
  // Only complete lines: a line cut short by a crash was never acted upon.
  // None when missing.
  std::vector<std::string> ReadLines(std::string_view rel) const;
  // Written beside, forced to disk and renamed over, the folder forced too:
  // a crash leaves the old text or the new one. What stands at rel must be a
  // plain file or nothing.
  void WriteText(std::string_view rel, std::string_view text) const;
  // Opens (creating) the plain file at rel for appending.
  UniqueFd OpenAppend(std::string_view rel) const;

  // What stands at rel, links not followed.
  EntryType TypeOf(std::string_view rel) const;
  // The names in this folder, "." and ".." aside, sorted.
  std::vector<std::string> List() const;
  // Removes what stands at rel, a folder with everything in it, by handle:
  // never following a link, never entering another file system. False when
  // nothing was there.
  bool Remove(std::string_view rel) const;
  // Renames rel (of this folder) to toRel of another (or this) folder.
  void Rename(std::string_view rel, const JournalFolder& to, std::string_view toRel) const;
  // Forces the folder's names to disk.
  void Sync() const;

  // A path to name rel by in calls that take paths (a file's old version
  // handed to the placement code), reaching it through this handle:
  // /proc/self/fd/N/rel. Valid while this folder is open.
  std::filesystem::path Through(std::string_view rel) const;
  // The path for messages.
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path PathOf(std::string_view rel) const;
  int Fd() const { return fd_.Get(); }
  dev_t Device() const { return device_; }

  static constexpr std::size_t kMaxText = 64u << 20;

  // Raises EJournalUnusable: rel is `found`, where `expected` ("a file", "a
  // folder") belongs.
  [[noreturn]] void Refuse(std::string_view rel, EntryType found, std::string_view expected) const;

 private:
  JournalFolder(UniqueFd fd, std::filesystem::path path, dev_t device)
      : fd_(std::move(fd)), path_(std::move(path)), device_(device) {}
  // Opens rel beneath this folder with these flags; -1 and errno on failure.
  int OpenBeneath(std::string_view rel, int flags, mode_t mode = 0) const;
  [[noreturn]] void RefuseOpen(std::string_view rel, int err, std::string_view expected) const;

  UniqueFd fd_;
  std::filesystem::path path_;
  dev_t device_ = 0;
};

// The folder at a path inside GAME/.veypatcher (the journal folder itself
// included), reached from the journal folder by handle; nothing when it is
// missing. For callers that name journal folders by path; a path outside
// any journal is opened loose.
std::optional<JournalFolder> OpenJournalFolder(const std::filesystem::path& path);
// The open folder holding the journal path and the path's last name.
std::optional<std::pair<JournalFolder, std::string>> OpenJournalParent(const std::filesystem::path& path);

// Whether rel is a plain relative journal path ('/' between plain names).
bool IsJournalRelative(std::string_view rel);

// For tests: resolve component by component, as on a kernel without openat2.
void SetJournalOpenat2ForTesting(bool use);

}  // namespace vey::platform
