#include "platform/signals.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace fwk {

namespace {

volatile sig_atomic_t shutdown_requested = 0;
int wake_pipe[2] = {-1, -1};

// Only async-signal-safe calls: set the flag and poke the pipe.
extern "C" void on_shutdown_signal(int) {
  int saved_errno = errno;
  shutdown_requested = 1;
  if (wake_pipe[1] >= 0) {
    char byte = 1;
    ssize_t ignored = write(wake_pipe[1], &byte, 1);
    (void)ignored;
  }
  errno = saved_errno;
}

}  // namespace

void signals_install() {
  if (wake_pipe[0] < 0) {
    if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      wake_pipe[0] = wake_pipe[1] = -1;
    }
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);

  struct sigaction request {};
  request.sa_handler = on_shutdown_signal;
  sigemptyset(&request.sa_mask);
  request.sa_flags = SA_RESTART;
  sigaction(SIGINT, &request, nullptr);
  sigaction(SIGTERM, &request, nullptr);
}

bool signals_shutdown_requested() {
  return shutdown_requested != 0;
}

bool signals_wait_shutdown(int timeout_ms) {
  if (shutdown_requested != 0) return true;
  struct pollfd wake {};
  wake.fd = wake_pipe[0];
  wake.events = POLLIN;
  if (wake.fd >= 0) {
    poll(&wake, 1, timeout_ms);
  } else {
    usleep(static_cast<useconds_t>(timeout_ms) * 1000);
  }
  return shutdown_requested != 0;
}

int signals_wake_descriptor() {
  return wake_pipe[0];
}

}  // namespace fwk
