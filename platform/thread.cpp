#include "platform/thread.hpp"

#include <signal.h>

#include <system_error>

namespace fwk {

namespace {

// Creates a std::thread running `body` with the given signals blocked (a new
// thread inherits the creator's mask: it is set for the creation only, then
// the creator's is restored). False when the thread could not be created.
template <class Body>
bool start_masked(std::thread& handle, Body&& body, bool block_pipe) {
  sigset_t block, previous;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  if (block_pipe) sigaddset(&block, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  bool started = false;
  try {
    handle = std::thread(std::forward<Body>(body));
    started = true;
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

}  // namespace

std::unique_ptr<Thread> thread_start(std::function<int()> procedure) {
  auto thread = std::make_unique<Thread>();
  Thread* record = thread.get();
  record->running = true;
  bool started = start_masked(
      record->handle,
      [record, procedure = std::move(procedure)] {
        record->exit_code = procedure();
        record->running = false;
      },
      false);
  if (!started) return nullptr;
  return thread;
}

bool thread_start_detached(std::function<void()> procedure) {
  std::thread handle;
  if (!start_masked(handle, std::move(procedure), true)) return false;
  handle.detach();
  return true;
}

bool thread_running(const Thread& thread) {
  return thread.running;
}

int thread_wait(Thread& thread) {
  if (thread.handle.joinable()) thread.handle.join();
  return thread.exit_code;
}

}  // namespace fwk
