// Threads of the server: started with the shut-down signals blocked, so they
// reach the thread that runs the console. The server thread is waited for
// with its exit code; a worker thread runs on its own until it is done.
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

// Starts `procedure` on a new thread that nobody waits for; SIGPIPE is
// blocked there too, so a write to a closed pipe fails instead. False when
// the thread could not be created.
bool thread_start_detached(std::function<void()> procedure);

}  // namespace fwk
