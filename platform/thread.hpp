// Threads of the server (the server thread, a mail transmission), waited for
// with their exit code. They inherit the blocked shut-down signals
// (signals.hpp), which only the console's wait reads.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace fwk {

struct Thread {
  std::thread handle;
  std::atomic<bool> running{false};
  int exit_code = 0;
};

// Starts `procedure` on a new thread. Returns none when the thread could not
// be created.
std::unique_ptr<Thread> thread_start(std::function<int()> procedure);

// True while the procedure has not returned.
bool thread_running(const Thread& thread);

// Waits without limit for the thread to end and returns its exit code.
int thread_wait(Thread& thread);

}  // namespace fwk
