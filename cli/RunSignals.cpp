// RunSignals: a flag set from the signal handler, polled by the engine.
#include "cli/RunSignals.h"

#include <csignal>

namespace vey::cli {
namespace {

std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kSignals)];

extern "C" void OnSignal(int signal) {
  if (g_cancel.exchange(true)) {
    // Asked twice: stop now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

}  // namespace

RunSignals::RunSignals() {
  g_cancel = false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

RunSignals::~RunSignals() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

const std::atomic<bool>& RunSignals::Flag() const { return g_cancel; }

}  // namespace vey::cli
