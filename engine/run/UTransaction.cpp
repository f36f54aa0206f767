// UTransaction: lock, recovery, earlier-install check, journal and rollback
// around one installer-mode run.
#include "engine/run/UTransaction.h"

#include "common/Counted.h"
#include "common/FileIO.h"
#include "common/PathText.h"
#include "common/Sha256.h"
#include "common/StrFormat.h"
#include "engine/run/UReplay.h"
#include "engine/run/URunHistory.h"
#include "engine/support/URunReport.h"
#include "engine/run/UUndoTransaction.h"
#include "engine/run/UVEYPatcher.h"
#include "platform/JournalDir.h"
#include "platform/JournalReset.h"
#include "platform/ModArchive.h"

namespace vey {
namespace {

std::string ModName(const std::string& appPath) {
  std::filesystem::path p(appPath);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

}  // namespace

void TakeRunLock(platform::RunLock& lock, const std::string& gameFolder, const std::string& who) {
  std::string holderPid, holderMod;
  bool taken = false;
  try {
    taken = lock.TryTake(gameFolder, who, holderPid, holderMod);
  } catch (const platform::EJournalUnusable& e) {
    throw ERunRefused(e.what(), kRefusedJournal);
  }
  if (taken) return;
  if (holderPid.empty())
    throw ERunRefused("Another installation is starting in this game folder. Wait for it to finish, then try again.",
                      kRefusedLocked);
  throw ERunRefused(FormatMsg("Another installation is running in this game folder (process %s, mod \"%s\"). Wait "
                              "for it to finish, then try again.",
                              {holderPid, holderMod}),
                    kRefusedLocked);
}

TTransaction::TTransaction(TVEYPatcher& patcher) : p_(patcher) {}

TTransaction::~TTransaction() { DropOwnReport(); }

void TTransaction::DropOwnReport() {
  if (!ownReport_) return;
  if (p_.Report == ownReport_.get()) p_.Report = nullptr;
  ownReport_.reset();
}

void TTransaction::StartSource() {
  TRunSource source = p_.RunOptions.source.value_or(TRunSource{});
  std::error_code ec;
  if (source.modFolder.empty())
    source.modFolder = std::filesystem::absolute(p_.AppPath(), ec).lexically_normal().string();
  if (!p_.RunOptions.source) {
    source.installationType = p_.RunOptions.installationType;
    if (!p_.Compiler.Compiler.empty())
      source.compiler = std::filesystem::absolute(p_.Compiler.Compiler, ec).lexically_normal().string();
    source.noSandbox = !p_.Compiler.Sandbox;
  }
  while (source.modFolder.size() > 1 && source.modFolder.back() == '/') source.modFolder.pop_back();
  // Hashed on a second thread while the run goes on; what the run writes
  // beside the mod (backups, log, work folders) is not part of the digest.
  modDigest_ = std::make_unique<TModDigestTask>(source.modFolder);
  source_ = std::make_unique<TRunSource>(std::move(source));
}

void TTransaction::SettleDigest() {
  if (!modDigest_ || !source_) return;
  TModDigestTask::Result digest = modDigest_->Take();
  modDigest_.reset();
  source_->digest = std::move(digest.digest);
  source_->digestNote = std::move(digest.note);
}

void TTransaction::KeepSource() {
  if (!journal_ || !source_) return;
  SettleDigest();
  const TRunSource& source = *source_;
  const std::string text = SourceText(source);
  try {
    journal_->Handle().WriteText(kSourceFile, text);
  } catch (const Exception& e) {
    // The run stays undoable; it only cannot be installed again by a replay.
    p_.LogMessage(e.what(), LogKind::Install);
  }
}

void TTransaction::KeepPlaces() {
  if (!journal_ || !p_.Report) return;
  const std::string text = PlacesText(p_.Report->Places());
  // Without it the run stays undoable; only the conflict report misses it.
  try {
    journal_->Handle().WriteText(kPlacesFile, text);
  } catch (const Exception& e) {
    p_.LogMessage(e.what(), LogKind::Install);
  }
}

void TTransaction::Begin(const std::string& gameFolder) {
  const TRunOptions& options = p_.RunOptions;
  if (journal_) return;
  if (!options.journal) {
    if (options.dryRun) CheckEarlierInstall(gameFolder, InstructionHash());
    return;
  }
  std::string identity;
  try {
    // A caller that holds the lock (a replay) gave the journal its id already.
    if (!options.lockHeld) TakeRunLock(lock_, gameFolder, ModName(p_.AppPath()));
    identity = platform::EnsureJournalIdentity(gameFolder);
  } catch (const platform::EJournalUnusable& e) {
    throw ERunRefused(e.what(), kRefusedJournal);
  }
  if (!options.lockHeld) try {
    for (const TRecoveredUndo& undo : RecoverUndoJournals(gameFolder))
      p_.LogMessage(FormatMsg(undo.completed ? "An uninstallation that was cut short (%s) was completed first."
                                             : "An uninstallation that was cut short (%s) was reversed first: the "
                                               "game is as the run it was undoing left it.",
                              {undo.name}),
                    LogKind::Install);
    p_.Files().ForgetListings();
    if (platform::ResetPending(gameFolder)) {
      p_.LogMessage("A reset of this game folder was cut short. Finishing it before going on...", LogKind::Install);
      const platform::RollbackResult r = platform::CompleteReset(gameFolder);
      p_.Files().ForgetListings();
      if (!r.problems.empty())
        throw ERunRefused(FormatMsg("Unable to finish the interrupted reset: %s. Nothing more was changed; run "
                                    "reset again to retry.",
                                    {PathText(r.problems.front())}),
                          kRefusedJournal);
      p_.LogMessage(FormatMsg("The interrupted reset was finished: %s put back, %s removed.",
                              {Counted(r.restored, "file"), Counted(r.removed, "new file or folder", "new files and folders")}),
                    LogKind::Install);
    }
    RecoverUnfinishedRuns(gameFolder, [&](const platform::RunRecord& run) {
      p_.LogMessage(FormatMsg("An earlier run (%s) did not finish. Putting back the files it changed before going "
                              "on...",
                              {run.id}),
                    LogKind::Install);
    }, [&](const platform::RunRecord& run, const platform::RollbackResult& r) {
      p_.Files().ForgetListings();
      p_.LogMessage(FormatMsg("The unfinished run %s was rolled back: %s put back, %s removed.",
                              {run.id, Counted(r.restored, "file"), Counted(r.removed, "new file or folder", "new files and folders")}),
                    LogKind::Install);
    });
    TRunHistory history(gameFolder);
    if (const auto taken = TReplay::RecoverCutShort(history, gameFolder)) {
      p_.Files().ForgetListings();
      p_.LogMessage(FormatMsg("Taking run %s out with --replay was cut short; it was reversed first: the game and "
                              "its history are as they were before it.",
                              {*taken}),
                    LogKind::Install);
    }
  } catch (const platform::EJournalUnusable& e) {
    // Something planted in the journal stops the run before anything changes.
    throw ERunRefused(e.what(), kRefusedJournal);
  }
  const std::string instructions = p_.DataPath() + p_.IniFileName();
  const std::string hash = InstructionHash();
  CheckEarlierInstall(gameFolder, hash);

  platform::RunRecord header;
  header.modFolder = p_.AppPath();
  header.instructionFile = instructions;
  header.instructionSha256 = hash;
  header.installationType = options.installationType;
  header.journal = identity;
  header.caption =
      p_.IniFile().ReadString("Settings", "WindowCaption", "Game Data Patcher for Arkan/VEY");
  journal_ = std::make_unique<platform::RunJournal>(p_.Files(), gameFolder, header);
  StartSource();
  platform::RecordCacheUse(p_.AppPath(), gameFolder);
  if (!p_.Report) {
    ownReport_ = std::make_unique<TRunReport>(p_.Files(), false);
    ownReport_->SetGameFolder(gameFolder);
    p_.Report = ownReport_.get();
  }
  p_.LogMessage(FormatMsg("Recording the changes of this run in %s, so that they can be undone.",
                          {PathText(journal_->Folder())}),
                LogKind::Debug);
}

std::string TTransaction::InstructionHash() const {
  try {
    return Sha256OfFile(p_.DataPath() + p_.IniFileName());
  } catch (const Exception&) {
    return {};  // a missing instruction file makes every setting take its default
  }
}

void TTransaction::CheckEarlierInstall(const std::string& gameFolder, const std::string& hash) {
  if (hash.empty()) return;
  // Headers first: only a run that matches needs its whole record read, to
  // know whether its file list is sound.
  const std::vector<platform::RunRecord> runs = platform::ListRuns(gameFolder, platform::RunDetail::Header);
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (!run->Finished() || run->instructionSha256 != hash ||
        run->installationType != p_.RunOptions.installationType)
      continue;
    const auto whole = platform::ReadRunRecord(platform::JournalHome(gameFolder) / platform::journal::kRunsFolder / run->id);
    if (!whole || !whole->Finished()) continue;
    const std::string message =
        FormatMsg("This mod was already installed into this game on %s UTC (run %s). Installing it "
                  "again may add its rows and fields a second time.",
                  {run->started, run->id});
    if (p_.RunOptions.confirmReinstall && !p_.RunOptions.confirmReinstall(*run))
      throw ERunRefused(p_.RunOptions.reinstallIsQuestion ? message + " It was not installed again, as answered."
                                                          : message,
                        kRefusedAlreadyInstalled);
    p_.LogMessage(message + " Installing it again as asked.", LogKind::Install);
    return;
  }
}

void TTransaction::Commit(const std::string& verdict) {
  if (!journal_) return;
  KeepSource();
  KeepPlaces();
  DropOwnReport();
  journal_->Finish(verdict);
  ended_ = std::make_unique<platform::RunRecord>(journal_->Record());
  journal_.reset();
  lock_.Release();
}

void TTransaction::Fail(const std::string& why) {
  if (!journal_) {
    lock_.Release();
    return;
  }
  KeepSource();
  if (!p_.RunOptions.rollbackOnFailure) {
    KeepPlaces();
    journal_->Finish("failed");
    ended_ = std::make_unique<platform::RunRecord>(journal_->Record());
    p_.LogMessage(FormatMsg("The changes made before the run ended (%s) stay in the game; the run %s "
                            "can be undone with uninstall.",
                            {why, ended_->id}),
                  LogKind::Install);
  } else {
    p_.LogMessage(FormatMsg("Rolling back: %s. Putting every changed file back as it was...", {why}),
                  LogKind::Install);
    const platform::RollbackResult r = journal_->RollBack();
    if (p_.Report) p_.Report->RolledBack(r);
    if (r.problems.empty()) {
      p_.LogMessage(FormatMsg("Rolled back: %s put back and %s removed. The game is as it was before this run.",
                              {Counted(r.restored, "file"), Counted(r.removed, "new file or folder", "new files and folders")}),
                    LogKind::Status);
    } else {
      std::string list;
      for (const std::string& problem : r.problems) list += (list.empty() ? "" : ", ") + PathText(problem);
      p_.LogMessage(FormatMsg("Rollback incomplete, these files could not be put back: %s. The "
                              "journal %s keeps their old versions; the next run tries again.",
                              {list, PathText(journal_->Folder())}),
                    LogKind::Error);
    }
  }
  DropOwnReport();
  journal_.reset();
  lock_.Release();
}

const platform::RunRecord* TTransaction::Record() const {
  if (journal_) return &journal_->Record();
  return ended_.get();
}

}  // namespace vey
