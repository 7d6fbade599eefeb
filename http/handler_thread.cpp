#include "http/handler_thread.hpp"

#include <utility>

namespace fwk {

namespace {

// The next client to handle; none once the thread is to stop.
LoopClient* next_client(HandlerThread& handlers) {
  std::unique_lock<std::mutex> hold(handlers.mutex);
  handlers.work_waiting.wait(hold, [&] { return handlers.stopping || !handlers.waiting.empty(); });
  if (handlers.stopping) return nullptr;
  LoopClient* client = handlers.waiting.front();
  handlers.waiting.pop_front();
  return client;
}

int run_handlers(HandlerThread& handlers) {
  while (LoopClient* client = next_client(handlers)) {
    handlers.handle(*client);
    {
      std::lock_guard<std::mutex> hold(handlers.mutex);
      handlers.done.push_back(client);
    }
    handlers.notify();
  }
  return 0;
}

}  // namespace

bool handlers_start(HandlerThread& handlers) {
  handlers.thread = thread_start([&handlers] { return run_handlers(handlers); });
  return handlers.thread != nullptr;
}

void handlers_submit(HandlerThread& handlers, LoopClient* client) {
  {
    std::lock_guard<std::mutex> hold(handlers.mutex);
    handlers.waiting.push_back(client);
  }
  handlers.work_waiting.notify_one();
}

std::vector<LoopClient*> handlers_take_done(HandlerThread& handlers) {
  std::vector<LoopClient*> done;
  std::lock_guard<std::mutex> hold(handlers.mutex);
  done.swap(handlers.done);
  return done;
}

void handlers_stop(HandlerThread& handlers) {
  if (!handlers.thread) return;
  {
    std::lock_guard<std::mutex> hold(handlers.mutex);
    handlers.stopping = true;
    handlers.waiting.clear();
  }
  handlers.work_waiting.notify_one();
  thread_wait(*handlers.thread);
  handlers.thread.reset();
  std::lock_guard<std::mutex> hold(handlers.mutex);
  handlers.done.clear();
}

}  // namespace fwk
