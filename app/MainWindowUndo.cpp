// MainWindowUndo: undoing the latest installation of the open mod from the
// window, with the same checks and refusals as the command line's uninstall,
// or taking it out from under later mods, which are then installed again. It
// happens on the window's thread while the game folder is locked; only
// message boxes report it, the engine log is left alone.
#include <QApplication>
#include <QDir>

#include <optional>
#include <system_error>

#include "app/MainWindow.h"
#include "app/QtText.h"
#include "common/Counted.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "engine/run/UReinstall.h"
#include "engine/run/UReplay.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UTransaction.h"
#include "engine/support/UModIdentity.h"

namespace vey::app {
namespace {

std::string ModName(const std::string& folder) {
  std::filesystem::path p(folder);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  // The instruction file may be gone since; its recorded name still counts.
  return a.lexically_normal() == b.lexically_normal();
}

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "\n  " + PathText(item);
  return text;
}

// The reinstalls may take a while; the person sees the window is busy.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

std::string LaterMods(std::size_t n) {
  return "the " + Counted(static_cast<std::int64_t>(n), "later mod");
}

// The run taken out, then each later mod installed again as it was; on any
// failure everything is put back as it was before.
// True when the run was taken out.
bool TakeOut(TReplay& replay, const std::vector<std::string>& refusals, const std::string& mod,
             const std::filesystem::path& game, platform::IMessageBoxes& boxes) {
  if (!refusals.empty()) {
    boxes.ShowWarning(FormatMsg("The mod \"%s\" cannot be taken out from under the later mods; nothing was "
                                "changed:",
                                {mod}) +
                      Listed(refusals));
    return false;
  }
  BusyCursor busy;
  const std::vector<std::string> problems = replay.Undo();
  if (!problems.empty()) {
    boxes.ShowWarning("These files could not be put back:" + Listed(problems) + "\nNothing was changed.");
    return false;
  }
  const auto& later = replay.Later();
  for (std::size_t n = 0; n < later.size(); ++n) {
    const TRunSource& source = replay.Sources()[n];
    const TReinstallOutcome outcome = ReinstallRun(source, game);
    if (ReinstalledAsBefore(outcome, later[n].verdict)) continue;
    const std::string why = !outcome.failure.empty() ? outcome.failure
                            : outcome.completed      ? std::string("it ended with errors or warnings it did not have "
                                                                   "before")
                                                     : std::string("it did not finish");
    const std::vector<std::string> left = replay.RollBack();
    std::string text = FormatMsg("Installing \"%s\" again failed: %s\n", {RunName(later[n], source), why});
    text += left.empty() ? "The game and its history are as they were before."
                         : "These could not be put back:" + Listed(left);
    boxes.ShowWarning(text);
    return false;
  }
  replay.Done();
  boxes.ShowInfo(FormatMsg("The mod \"%s\" was uninstalled and %s installed again.", {mod, LaterMods(later.size())}));
  return true;
}

// A run's record lies in the game folder, which may have come from anyone:
// what it asks for beyond an ordinary install (a compiler of the person's,
// no sandbox, a backup folder) is used only once the person confirmed it.
// False when they did not; the plan is made again with what they confirmed.
bool ConfirmRecordedSettings(TReplay& replay, const std::string& id, std::vector<std::string>& refusals,
                             platform::IMessageBoxes& boxes) {
  if (replay.Asked().empty()) return true;
  std::string text = "The later mods were installed with these settings, which a record in the game folder cannot "
                     "choose for you:";
  std::vector<TRecordRight> confirmed;
  for (const auto& [run, right] : replay.Asked()) {
    text += FormatMsg("\n  run %s: %s", {PathText(run), DescribeRight(right)});
    confirmed.push_back(right);
  }
  text += "\n\nInstall them again with these settings? Answer Yes only if they are yours.";
  if (!boxes.AskYesNo(text)) return false;
  replay.Grant(std::move(confirmed));
  refusals.clear();
  replay.Plan(id, refusals);
  return true;
}

}  // namespace

void MainWindow::UpdateUninstallButton() {
  btnUninstall->setEnabled(!undoGame_.isEmpty() && !Running());
  btnCopyReport->setEnabled(!undoGame_.isEmpty() && !Running());
}

void MainWindow::ReadyToInstallAgain() {
  // The mod is out of the game again: it may be installed anew without
  // restarting the window.
  btnContinue->setEnabled(true);
  btnSummary->setEnabled(true);
  pbar->setValue(0);
}

void MainWindow::btnUninstallClick() {
  if (undoGame_.isEmpty() || Running()) return;
  platform::IMessageBoxes& boxes = *dialogs_.messages;
  try {
    TRunHistory history(ToPath(QDir(undoGame_).absolutePath()));
    history.Lock(ModName(ToPath(modFolder_)));
    history.RecoverUnfinished();
    const std::filesystem::path instructions = InData(iniName_);
    std::optional<platform::RunRecord> run;
    const auto runs = history.Runs();
    for (auto it = runs.rbegin(); it != runs.rend() && !run; ++it)
      if (it->Finished() && SameFile(it->instructionFile, instructions)) run = *it;
    if (!run) {
      boxes.ShowInfo("No installation of this mod is recorded in this game folder; there is nothing to uninstall.");
      return;
    }
    const std::string mod = RunName(ToPath(QDir(undoGame_).absolutePath()), *run);
    const std::string question = FormatMsg("Uninstall the mod \"%s\", installed into this game on %s UTC (run %s)? "
                                           "Every file it changed is put back as it was before.",
                                           {mod, run->started, PathText(run->id)});
    const std::filesystem::path game = ToPath(QDir(undoGame_).absolutePath());
    TReplay replay(history, game);
    std::vector<std::string> refusals;
    replay.Plan(run->id, refusals);
    if (const std::size_t later = replay.Later().size(); later > 0) {
      const int choice = boxes.AskChoice(
          question + FormatMsg(" %s %s installed after it.",
                                         {Counted(static_cast<std::int64_t>(later), "mod"), later == 1 ? "was" : "were"}),
          {"Uninstall, then reinstall " + LaterMods(later), "Uninstall only"});
      if (choice < 0) return;
      if (choice == 0) {
        if (!ConfirmRecordedSettings(replay, run->id, refusals, boxes)) {
          boxes.ShowInfo("Nothing was changed.");
          return;
        }
        if (TakeOut(replay, refusals, mod, game, boxes)) ReadyToInstallAgain();
        return;
      }
    } else if (!boxes.AskYesNo(question)) {
      return;
    }
    const TUndoCheck check = history.Check(*run);
    if (!check.Clear()) {
      std::string text = FormatMsg("The installation of \"%s\" cannot simply be undone:", {mod});
      if (!check.changedFiles.empty()) text += "\nThese files changed after it:" + Listed(check.changedFiles);
      if (!check.laterRuns.empty())
        text += "\nThese later runs changed its files and should be undone first:" + Listed(check.laterRuns);
      text += "\n\nPut the old files back anyway? The later changes to these files are lost.";
      if (!boxes.AskYesNo(text)) return;
    }
    const platform::RollbackResult result = history.Undo(*run);
    if (!result.problems.empty()) {
      boxes.ShowWarning("These files could not be put back:" + Listed(result.problems) +
                        "\nNothing was undone; the installation stays recorded. Try again.");
      return;
    }
    boxes.ShowInfo(FormatMsg("The mod \"%s\" was uninstalled: %s put back, %s removed.",
                             {mod, Counted(result.restored, "file"),
                              Counted(result.removed, "new file or folder", "new files and folders")}));
    ReadyToInstallAgain();
  } catch (const Exception& e) {
    boxes.ShowWarning(e.what());
  }
}

}  // namespace vey::app
