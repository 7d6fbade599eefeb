#include "platform/thread.hpp"

#include <system_error>

namespace fwk {

std::unique_ptr<Thread> thread_start(std::function<int()> procedure) {
  auto thread = std::make_unique<Thread>();
  Thread* record = thread.get();
  record->running = true;
  try {
    record->handle = std::thread([record, procedure = std::move(procedure)] {
      record->exit_code = procedure();
      record->running = false;
    });
  } catch (const std::system_error&) {
    return nullptr;
  }
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
