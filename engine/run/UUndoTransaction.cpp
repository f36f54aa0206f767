// UUndoTransaction: undoing recorded runs through a journal of its own, its
// commit and its recovery.
#include "engine/run/UUndoTransaction.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/FileIO.h"
#include "common/StrFormat.h"
#include "engine/run/UTransaction.h"
#include "platform/FilePlacement.h"

namespace vey {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUndone = "undone.txt";

// A run's folder name as the list of undone runs holds it: one plain name.
bool PlainName(const std::string& id) {
  return !id.empty() && id != "." && id != ".." && id.find('/') == std::string::npos &&
         id.find('\0') == std::string::npos;
}

std::vector<std::string> UndoneRuns(const fs::path& folder) {
  std::vector<std::string> ids;
  std::ifstream in(folder / kUndone, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Only complete lines: the list is written whole, so a cut one is not it.
  for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    if (std::string id = text.substr(start, nl - start); PlainName(id)) ids.push_back(id);
  return ids;
}

// After the commit point: the undone runs leave the history, then the undo
// journal goes. Renames first, so that a kill during the removal of files
// finds nothing half-deleted under a name that still means something.
void Complete(const fs::path& game, const fs::path& folder,
              const std::function<void(std::string_view)>& moment) {
  const fs::path runs = platform::JournalHome(game) / "runs";
  const fs::path gone = folder / "gone";
  std::error_code ec;
  fs::create_directories(gone, ec);
  for (const std::string& id : UndoneRuns(folder)) {
    struct stat st {};
    if (::lstat((runs / id).c_str(), &st) == 0 && ::rename((runs / id).c_str(), (gone / id).c_str()) != 0)
      throw EFCreateError(FormatMsg("Cannot remove the record of the undone run %s. %s", {id, SystemReason(errno)}));
  }
  if (moment) moment("moved");
  const fs::path trash = folder.string() + ".gone";
  if (::rename(folder.c_str(), trash.c_str()) != 0)
    throw EFCreateError(FormatMsg("Cannot remove the undo journal %s. %s", {folder.string(), SystemReason(errno)}));
  fs::remove_all(trash, ec);
  // The undo folder goes with its last journal, so that the journal is left
  // as the runs alone make it.
  ::rmdir(folder.parent_path().c_str());
}

}  // namespace

TUndoTransaction::TUndoTransaction(std::string gameFolder, const std::atomic<bool>* cancel)
    : game_(fs::absolute(gameFolder).lexically_normal().string()), cancel_(cancel) {
  files_.AddWritableRoot(game_);
  platform::RunRecord header;
  header.modFolder = "undo";
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
  const std::vector<platform::RecordedChange> changes =
      platform::StoredChanges(platform::JournalHome(game_) / "runs" / run.id, damage);
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
    platform::PlaceCopy(change.oldVersion, target);
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
  const fs::path folder = journal_->Folder();
  journal_.reset();
  std::string list;
  for (const std::string& id : undone_) list += id + "\n";
  platform::WriteJournalText(folder / kUndone, list);
  if (onMoment) onMoment("committed");
  Complete(game_, folder, onMoment);
}

platform::RollbackResult TUndoTransaction::Abort() {
  if (!journal_) return {};
  const fs::path folder = journal_->Folder();
  platform::RollbackResult result = journal_->RollBack();
  journal_.reset();
  if (result.problems.empty()) ::rmdir(folder.parent_path().c_str());
  return result;
}

std::vector<TRecoveredUndo> RecoverUndoJournals(const std::string& gameFolder) {
  std::vector<TRecoveredUndo> recovered;
  const fs::path game = fs::absolute(gameFolder).lexically_normal();
  const fs::path home = platform::JournalHome(game) / "undo";
  std::error_code ec;
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(home, ec))
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) folders.push_back(entry.path());
  for (const fs::path& folder : folders) {
    const std::string name = folder.filename().string();
    if (name.ends_with(".gone")) {
      fs::remove_all(folder, ec);
      continue;
    }
    const bool committed = fs::exists(folder / kUndone, ec);
    if (committed) {
      Complete(game, folder, {});
    } else {
      const platform::RollbackResult r = platform::RollBackJournal(game, folder);
      if (!r.problems.empty())
        throw EFCreateError(FormatMsg("Unable to reverse the interrupted uninstallation %s: %s", {name, r.problems.front()}));
    }
    recovered.push_back({name, committed});
  }
  return recovered;
}

}  // namespace vey
