#include "platform/signals.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

namespace fwk {

namespace {

sigset_t shutdown_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

ShutdownSignals signals_install() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);

  // A signal that was ignored when the program started (a job started in
  // the background) still arrives once it is blocked.
  sigset_t set = shutdown_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  ShutdownSignals signals;
  signals.arrived.reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!signals.arrived) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  return signals;
}

bool signals_shutdown_requested(const ShutdownSignals& signals) {
  if (!signals.arrived) return false;
  pollfd ready{signals.arrived.get(), POLLIN, 0};
  return poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0;
}

bool signals_wait_shutdown(const ShutdownSignals& signals, int timeout_ms) {
  // Without the descriptor the signals end the program themselves.
  pollfd ready{signals.arrived ? signals.arrived.get() : -1, POLLIN, 0};
  return poll(&ready, 1, timeout_ms) > 0 && (ready.revents & POLLIN) != 0;
}

}  // namespace fwk
