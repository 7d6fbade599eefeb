#include "platform/thread.hpp"

#include <signal.h>

#include <system_error>

namespace fwk {

std::unique_ptr<Thread> thread_start(std::function<int()> procedure) {
  auto thread = std::make_unique<Thread>();
  Thread* record = thread.get();
  record->running = true;

  // A new thread inherits the creator's mask: block the shut-down signals for
  // the new thread only, then restore the creator's mask.
  sigset_t block, previous;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  bool started = false;
  try {
    record->handle = std::thread([record, procedure = std::move(procedure)] {
      record->exit_code = procedure();
      record->running = false;
    });
    started = true;
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!started) return nullptr;
  return thread;
}

bool thread_running(const Thread& thread) {
  return thread.running;
}

int thread_wait(Thread& thread) {
  if (thread.handle.joinable()) thread.handle.join();
  return thread.exit_code;
}

}  // namespace fwk
