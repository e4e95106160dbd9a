#include "cli/cli_signals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace setwright::cli {

namespace {

std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void OnStopSignal(int signal) {
  int expected = 0;
  if (!stopSignal.compare_exchange_strong(expected, signal)) {
    // The second one: the user does not want to wait for the orderly end.
    std::_Exit(128 + signal);
  }
}

}  // namespace

void InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, OnStopSignal);
#endif
}

int StopSignal() {
  return stopSignal.load();
}

void RequestStop(int signal) {
  stopSignal.store(signal);
}

}  // namespace setwright::cli
