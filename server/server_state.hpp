// What the UI thread and the server thread signal to each other while the
// server runs. Everything else the server knows lives in its SiteContext.
#pragma once

#include <atomic>

namespace fwk {

// Set by the UI thread to ask the server thread to end after its turn.
extern std::atomic<int> stop_flag;

// Mail waiting in the outbox: set at start-up, raised per queued message,
// cleared by the loop after a successful transmission (server thread only
// once it runs).
extern int outbox_pending;

}  // namespace fwk
