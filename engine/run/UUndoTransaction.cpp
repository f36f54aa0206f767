// UUndoTransaction: undoing recorded runs through a journal of its own, its
// commit and its recovery.
#include "engine/run/UUndoTransaction.h"

#include "common/PathText.h"
#include "platform/GameLinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "engine/run/UTransaction.h"
#include "platform/FilePlacement.h"
#include "platform/JournalDir.h"

namespace vey {
namespace {

namespace fs = std::filesystem;

using platform::EntryType;
using platform::JournalFolder;
namespace journal = platform::journal;

// A run's folder name as the list of undone runs holds it: one plain name.
bool PlainName(const std::string& id) {
  return platform::IsJournalRelative(id) && id.find('/') == std::string::npos;
}

std::vector<std::string> UndoneRuns(const JournalFolder& folder) {
  std::vector<std::string> ids;
  // Only complete lines: the list is written whole, so a cut one is not it.
  for (std::string& id : folder.ReadLines(journal::kUndoneList))
    if (PlainName(id)) ids.push_back(std::move(id));
  return ids;
}

// After the commit point: the undone runs leave the history, then the undo
// journal goes. Renames first, so that a kill during the removal of files
// finds nothing half-deleted under a name that still means something.
void Complete(const fs::path& game, const JournalFolder& undo, const std::string& name,
              const std::function<void(std::string_view)>& moment) {
  const JournalFolder home = JournalFolder::Home(game, false);
  const std::optional<JournalFolder> runs = home.Folder(journal::kRunsFolder);
  {
    const JournalFolder folder = *undo.Folder(name);
    const JournalFolder gone = folder.MakeFolder(journal::kGoneFolder);
    for (const std::string& id : UndoneRuns(folder)) {
      if (!runs || runs->TypeOf(id) == EntryType::kMissing) continue;
      try {
        runs->Rename(id, gone, id);
      } catch (const EFCreateError& e) {
        // Something of the same name stands in the way (a record planted or
        // left there): a refusal that names it, never a crash.
        throw platform::EJournalUnusable(FormatMsg(
            "Cannot finish the cut-short uninstallation %s: the record of the undone run %s cannot be moved out of "
            "the history (%s). Remove \"%s\", then try again.",
            {name, id, e.what(), PathText(gone.PathOf(id))}));
      }
    }
  }
  if (moment) moment("moved");
  const std::string trash = name + ".gone";
  undo.Rename(name, undo, trash);
  undo.Remove(trash);
  // The undo folder goes with its last journal, so that the journal is left
  // as the runs alone make it.
  if (undo.List().empty()) ::unlinkat(home.Fd(), std::string(journal::kUndoFolder).c_str(), AT_REMOVEDIR);
}

}  // namespace

TUndoTransaction::TUndoTransaction(std::string gameFolder, const std::atomic<bool>* cancel)
    : game_(fs::absolute(gameFolder).lexically_normal().string()), cancel_(cancel) {
  files_.AddWritableRoot(game_);
  platform::RunRecord header;
  header.modFolder = "undo";
  // The journal it belongs to: recovery refuses an undo journal of another.
  header.journal = platform::ReadJournalIdentity(game_);
  journal_ = std::make_unique<platform::RunJournal>(files_, game_, header, platform::JournalKind::kUndo);
}

TUndoTransaction::~TUndoTransaction() {
  if (!journal_) return;
  try {
    Abort();
  } catch (...) {
    // Recovery tries again at the next start.
  }
}

bool TUndoTransaction::Undo(const platform::RunRecord& run) {
  const std::size_t problems = done_.problems.size();
  std::vector<std::string> damage;
  std::vector<platform::RecordedChange> changes;
  try {
    const JournalFolder home = JournalFolder::Home(game_, false);
    const std::optional<JournalFolder> runs = home.Folder(journal::kRunsFolder);
    std::optional<JournalFolder> record = runs ? runs->Folder(run.id) : std::nullopt;
    if (!record) damage.push_back("the record is missing");
    else {
      changes = platform::StoredChanges(*record, damage);
      if (damage.empty()) pre_ = std::make_unique<JournalFolder>(*record->Folder(journal::kPreFolder));
    }
  } catch (const platform::EJournalUnusable& e) {
    damage.push_back(e.what());
  }
  for (const std::string& problem : damage) done_.problems.push_back("runs/" + run.id + "/" + problem);
  if (!damage.empty()) return false;
  for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
    if (cancel_ && cancel_->load()) throw ECancelled("The uninstallation was interrupted.");
    try {
      UndoChange(*change);
    } catch (const Exception& e) {
      done_.problems.push_back(FormatMsg("%s (%s)", {change->path, e.what()}));
    }
  }
  if (done_.problems.size() != problems) return false;
  undone_.push_back(run.id);
  return true;
}

void TUndoTransaction::UndoChange(const platform::RecordedChange& change) {
  if (auto why = platform::LinkOutOfGame(game_, change.path)) throw EPathError(*why);
  const fs::path target = fs::path(game_) / change.path;
  struct stat st {};
  const bool present = ::lstat(target.c_str(), &st) == 0;
  if (change.kind == "file" && change.existed) {
    // No old version: the run announced the change but never made it, and
    // dropped the copy when it ended.
    if (change.oldVersion.empty()) return;
    files_.CreateDirectories(target.parent_path());
    // The journal keeps what is there now before the old version takes its
    // place; the old version itself stays in the run's record until commit.
    files_.BeforeWrite(target);
    platform::PlaceCopy(pre_->Through(change.oldName), target);
    files_.WriteDone(target);
    ++done_.restored;
  } else if (change.kind == "file") {
    if (present && !S_ISDIR(st.st_mode)) {
      files_.RemoveFile(target);
      ++done_.removed;
    }
  } else if (change.kind == "folder") {
    // Left when something not of the run is inside.
    if (present && S_ISDIR(st.st_mode) && files_.RemoveEmptyDirectory(target)) ++done_.removed;
  } else if (change.kind == "rmdir") {
    files_.CreateDirectories(target);
  }
}

void TUndoTransaction::Commit() {
  const std::string name = journal_->Record().id;
  journal_->Handle().WriteText(journal::kUndoneList, [&] {
    std::string list;
    for (const std::string& id : undone_) list += id + "\n";
    return list;
  }());
  journal_.reset();
  pre_.reset();
  if (onMoment) onMoment("committed");
  const JournalFolder home = JournalFolder::Home(game_, false);
  Complete(game_, *home.Folder(journal::kUndoFolder), name, onMoment);
}

platform::RollbackResult TUndoTransaction::Abort() {
  if (!journal_) return {};
  platform::RollbackResult result = journal_->RollBack();
  journal_.reset();
  pre_.reset();
  if (result.problems.empty())
    if (const std::optional<JournalFolder> home = JournalFolder::OpenHome(game_, false))
      ::unlinkat(home->Fd(), std::string(journal::kUndoFolder).c_str(), AT_REMOVEDIR);
  return result;
}

std::vector<TRecoveredUndo> RecoverUndoJournals(const std::string& gameFolder) {
  std::vector<TRecoveredUndo> recovered;
  const fs::path game = fs::absolute(gameFolder).lexically_normal();
  // A link at undo/ (or anything else not a folder) is refused by name: what
  // it leads to was never this journal's.
  const std::optional<JournalFolder> home = JournalFolder::OpenHome(game, false);
  const std::optional<JournalFolder> undo = home ? home->Folder(journal::kUndoFolder) : std::nullopt;
  if (!undo) return recovered;
  const auto unreversed = [&](const std::string& name, const std::string& why) {
    return ERunRefused(FormatMsg("An interrupted uninstallation (%s) cannot be reversed: %s. Nothing more was "
                                 "changed, and no installation can start until this is settled. Once the game's "
                                 "files are as they should be, remove \"%s\".",
                                 {name, why, PathText(undo->PathOf(name))}),
                       kRefusedJournal);
  };
  for (const std::string& name : undo->List()) {
    const EntryType type = undo->TypeOf(name);
    if (type != EntryType::kFolder) undo->Refuse(name, type, "a folder");
    if (name.ends_with(".gone")) {
      undo->Remove(name);
      continue;
    }
    const std::optional<JournalFolder> folder = undo->Folder(name);
    // One of another game folder's journal (copied along with the game) was
    // never this folder's to reverse; one from before journals had ids is.
    if (const std::optional<platform::RunRecord> header = platform::ReadRunRecord(*folder, name, platform::RunDetail::Header);
        header && !header->journal.empty()) {
      const std::string identity = platform::ReadJournalIdentity(game);
      if (header->journal != identity)
        throw unreversed(name, FormatMsg("it was recorded in another game folder's journal (%s, this one's is %s)",
                                         {header->journal, identity.empty() ? "none yet" : identity}));
    }
    const EntryType list = folder->TypeOf(journal::kUndoneList);
    if (list != EntryType::kMissing && list != EntryType::kFile) folder->Refuse(journal::kUndoneList, list, "a file");
    const bool committed = list == EntryType::kFile;
    if (committed) {
      Complete(game, *undo, name, {});
    } else {
      const platform::RollbackResult r = platform::RollBackJournal(game, *undo, name);
      if (!r.problems.empty()) throw unreversed(name, r.problems.front());
    }
    recovered.push_back({name, committed});
  }
  return recovered;
}

}  // namespace vey
