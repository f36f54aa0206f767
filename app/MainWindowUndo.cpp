// MainWindowUndo: undoing the latest installation of the open mod from the
// window, with the same checks and refusals as the command line's uninstall.
// It is quick, so it happens on the window's thread while the game folder is
// locked; only message boxes report it, the engine log is left alone.
#include <QDir>

#include <optional>
#include <system_error>

#include "app/MainWindow.h"
#include "app/QtText.h"
#include "common/PathText.h"
#include "common/StrFormat.h"
#include "engine/run/URunHistory.h"
#include "engine/run/UTransaction.h"

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

}  // namespace

void MainWindow::UpdateUninstallButton() {
  btnUninstall->setEnabled(!undoGame_.isEmpty() && !Running());
  btnCopyReport->setEnabled(!undoGame_.isEmpty() && !Running());
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
    const std::string mod = PathText(ModName(run->modFolder));
    if (!boxes.AskYesNo(FormatMsg("Uninstall the mod \"%s\", installed into this game on %s UTC (run %s)? Every "
                                  "file it changed is put back as it was before.",
                                  {mod, run->started, PathText(run->id)})))
      return;
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
    boxes.ShowInfo(FormatMsg("The mod \"%s\" was uninstalled: %s files put back, %s new files and folders removed.",
                             {mod, IntToStr(result.restored), IntToStr(result.removed)}));
  } catch (const Exception& e) {
    boxes.ShowWarning(e.what());
  }
}

}  // namespace vey::app
