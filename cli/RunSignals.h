// RunSignals: Ctrl-C, a closed terminal and a polite kill ask the running
// installation to stop at its next safe point (and roll back) instead of
// ending the process between two half-made changes. A second signal ends the
// process at once; the next run then rolls back what is left.
#pragma once

#include <atomic>

namespace vey::cli {

class RunSignals {
 public:
  RunSignals();   // installs the handlers for SIGINT, SIGTERM and SIGHUP
  ~RunSignals();  // puts the earlier handlers back
  RunSignals(const RunSignals&) = delete;
  RunSignals& operator=(const RunSignals&) = delete;

  const std::atomic<bool>& Flag() const;
};

}  // namespace vey::cli
