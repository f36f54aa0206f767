// JournalReset: the reset's own record and its completion.
#include "platform/JournalReset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "common/VeyException.h"
#include "platform/JournalDir.h"

namespace vey::platform {
namespace fs = std::filesystem;
namespace {

// A run id read back from the reset's record names a folder in runs/ and
// nothing else.
bool PlainId(const std::string& id) {
  return IsJournalRelative(id) && id.front() != '.' && id.find('/') == std::string::npos;
}

// The run's record without its old versions, under undone/, complete before
// it appears there.
void KeepRecord(const JournalFolder& home, const JournalFolder& from, const std::string& id) {
  const JournalFolder kept = home.MakeFolder(journal::kUndoneFolder);
  if (kept.TypeOf(id) != EntryType::kMissing) return;
  const std::string part = id + ".part";
  kept.Remove(part);
  const JournalFolder to = kept.MakeFolder(part);
  // source.txt names the run's mod and list entry: the history shows them.
  for (std::string_view name :
       {journal::kRunText, journal::kFilesList, journal::kChangesLog, journal::kMarksFile, journal::kSourceFile}) {
    if (from.TypeOf(name) != EntryType::kFile) continue;
    if (const std::optional<std::string> text = from.ReadText(name)) to.WriteText(name, *text);
  }
  to.WriteText(journal::kResetMark, "undone by reset\n");
  kept.Rename(part, kept, id);
  kept.Sync();
}

}  // namespace

bool ResetPending(const fs::path& gameFolder) {
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(gameFolder, false);
  if (!home) return false;
  const EntryType type = home->TypeOf(journal::kResetFile);
  if (type == EntryType::kMissing) return false;
  if (type != EntryType::kFile) home->Refuse(journal::kResetFile, type, "a file");
  return true;
}

void BeginReset(const fs::path& gameFolder, const std::vector<std::string>& newestFirst) {
  std::string text;
  for (const std::string& id : newestFirst) text += id + "\n";
  JournalFolder::Home(gameFolder).WriteText(journal::kResetFile, text);
}

RollbackResult CompleteReset(const fs::path& gameFolder) {
  RollbackResult total;
  const JournalFolder home = JournalFolder::Home(gameFolder, false);
  const std::optional<JournalFolder> runs = home.Folder(journal::kRunsFolder);
  // Only complete lines: a cut line was never acted upon.
  for (const std::string& id : home.ReadLines(journal::kResetFile)) {
    if (!PlainId(id) || !runs) continue;
    if (runs->TypeOf(id) != EntryType::kFolder) continue;  // undone already
    const std::optional<JournalFolder> record = runs->Folder(id);
    KeepRecord(home, *record, id);
    const RollbackResult r = RollBackStoredRun(gameFolder, id);
    total.restored += r.restored;
    total.removed += r.removed;
    if (!r.problems.empty()) {
      for (const std::string& problem : r.problems) total.problems.push_back(id + ": " + problem);
      return total;
    }
  }
  home.Remove(journal::kResetFile);
  home.Sync();
  return total;
}

}  // namespace vey::platform
