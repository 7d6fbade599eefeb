// The handler thread: runs the handlers of whole requests (forms engine,
// record browser, pages) one at a time, in the order they were handed over,
// beside the server loop, so that a slow page never holds up the loop's own
// work (reading requests, sending responses, serving plain files).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "http/loop_client.hpp"
#include "platform/thread.hpp"

namespace fwk {

struct HandlerThread {
  // Makes the client's response; runs on the handler thread.
  std::function<void(LoopClient&)> handle;
  // Tells the loop that a response is ready; called from the handler thread.
  std::function<void()> notify;
  std::mutex mutex;
  std::condition_variable work_waiting;
  std::deque<LoopClient*> waiting;  // handed over, not yet begun
  std::vector<LoopClient*> done;    // handled, for the loop to send
  bool stopping = false;
  std::unique_ptr<Thread> thread;
};

// Starts the thread; false when it could not be created.
bool handlers_start(HandlerThread& handlers);

// Hands a client with a whole request over. The loop leaves the client alone
// until handlers_take_done returns it.
void handlers_submit(HandlerThread& handlers, LoopClient* client);

// The clients whose responses have been made since the last call.
std::vector<LoopClient*> handlers_take_done(HandlerThread& handlers);

// Lets the handler that runs finish, drops those not yet begun and waits
// for the thread to end. Afterwards no client is in the thread's hands.
void handlers_stop(HandlerThread& handlers);

}  // namespace fwk
