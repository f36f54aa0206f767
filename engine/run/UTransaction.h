// UTransaction: TTransaction, which makes an installer-mode run one undoable
// change of the game folder: one run at a time per game folder, an unfinished
// run left by a crash put back first, a warning when the same instructions
// were applied before, the journal of every changed file, and the rollback
// when the run ends with a failure or is interrupted.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/VeyException.h"
#include "engine/support/URunSource.h"
#include "platform/RunJournal.h"

namespace vey {

class TVEYPatcher;
class TRunReport;

// The run did not start: code 4 when the mod was installed before and the
// host declined to install it again, 5 when another run holds the game folder,
// 6 when the game folder's journal cannot be used (an unfinished run that
// cannot be put back, the journal folder a link or on another disk), 7 when
// the mod's backup folder is a link.
VEY_DECLARE_FAILURE(ERunRefused);
constexpr std::int32_t kRefusedAlreadyInstalled = 4;
constexpr std::int32_t kRefusedLocked = 5;
constexpr std::int32_t kRefusedJournal = 6;
// A folder the run would write through is a link the mod planted.
constexpr std::int32_t kRefusedUnsafeFolder = 7;

// Takes the game folder's lock for who, or raises ERunRefused: code 5 naming
// the holder, code 6 when the journal folder cannot be trusted.
void TakeRunLock(platform::RunLock& lock, const std::string& gameFolder, const std::string& who);
// The host asked the run to stop (an interrupt, a closed window).
VEY_DECLARE_FAILURE(ECancelled);

// What the host decides about the transaction, set before Run.
struct TRunOptions {
  // Keep a journal and roll back (installer mode only).
  bool journal = true;
  // False keeps a failed run's changes (they stay in the journal, undoable).
  bool rollbackOnFailure = true;
  // The name of the installation type chosen, empty when there is one only.
  std::string installationType;
  // Asked when these instructions with this installation type were applied
  // to the game before: true installs again. Unset: installs again.
  std::function<bool(const platform::RunRecord& earlier)> confirmReinstall;
  // A dry run: no journal and no lock, but an installed mod is refused as
  // the real run would refuse it.
  bool dryRun = false;
  // confirmReinstall asks a person: their No is a choice, logged as a status
  // line rather than as an error.
  bool reinstallIsQuestion = false;
  // Polled between files; set from a signal handler or the window.
  const std::atomic<bool>* cancel = nullptr;
  // Where the mod came from and the host's options, recorded so that the run
  // can be installed again the same way. Unset: the mod folder, the
  // installation type and the compiler settings the engine was given. The
  // digest is of the files as the run read them, on a second
  // thread while it goes on.
  std::optional<TRunSource> source;
  // The host already holds the game folder (it undoes and reinstalls runs in
  // one command): no lock is taken and no unfinished run is looked for.
  bool lockHeld = false;
};

class TTransaction {
 public:
  explicit TTransaction(TVEYPatcher& patcher);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  // Once the game folder is known, before the first change: the lock, the
  // recovery of an unfinished run, the earlier-install check, the journal.
  // Raises ERunRefused.
  void Begin(const std::string& gameFolder);
  // The run ended with its verdict ("ok", "warnings", "errors"): the record
  // is completed and kept.
  void Commit(const std::string& verdict);
  // A failure ended the run (or it was interrupted): every change is undone
  // unless the options say otherwise; says so in the log.
  void Fail(const std::string& why);

  bool Active() const { return journal_ != nullptr; }
  // Waits for the mod's digest: call before the run itself changes the mod's
  // own files (the script compiler processes sources in place and leaves its
  // output beside them), so that the digest is of what the mod shipped.
  void SettleDigest();
  // The record of this run; its file list is complete once the run ended.
  const platform::RunRecord* Record() const;

 private:
  // The instruction file's digest, empty when it cannot be read.
  std::string InstructionHash() const;
  // The places the run wrote, kept beside its record for the conflict report.
  void KeepPlaces();
  // The source record: its digest starts on a second thread at the start,
  // and the record is written with the digest when the run ends.
  void StartSource();
  void KeepSource();
  void DropOwnReport();
  void CheckEarlierInstall(const std::string& gameFolder, const std::string& instructionHash);

  TVEYPatcher& p_;
  platform::RunLock lock_;
  std::unique_ptr<platform::RunJournal> journal_;
  std::unique_ptr<platform::RunRecord> ended_;
  // The run's report when the host asked for none: every journalled run
  // keeps its places.
  std::unique_ptr<TRunReport> ownReport_;
  std::unique_ptr<TRunSource> source_;
  std::unique_ptr<TModDigestTask> modDigest_;
};

}  // namespace vey
