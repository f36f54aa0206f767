// Automation: the window driven without a person, switched on by environment
// variables for the screenshot script and the benchmark (never by users):
//   VEY_SCREENSHOT_DIR=DIR  [VEY_SCREENSHOT_PREFIX=P] [VEY_SCREENSHOT_SUFFIX=S]
//       shows the window on the mod, grabs it at its moments (start, summary,
//       installation types, log mid-run, outcome box) into DIR/P<name>S.png,
//       answers every question Yes and quits after the run.
//   VEY_APP_BENCH=1
//       answers every question Yes, starts the run at once, and prints the
//       run's time and the longest stall of the window's event loop.
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "app/QtDialogs.h"

namespace vey::app {

class MainWindow;
class NamespaceDialog;

class Automation {
 public:
  virtual ~Automation() = default;
  // From the environment; null when the window is for a person.
  static std::unique_ptr<Automation> FromEnvironment();

  virtual DialogLayer Dialogs() = 0;
  virtual int ExecNamespaceDialog(NamespaceDialog& dialog) = 0;
  // Called once the window is shown; drives it to the end of the run.
  virtual void Drive(MainWindow& window) = 0;
  // The program's exit status once the event loop has ended.
  virtual int ExitStatus() const { return 0; }
};

}  // namespace vey::app
