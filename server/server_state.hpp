// What the UI thread and the server thread signal to each other while the
// server runs. Everything else the server knows lives in its SiteContext.
#pragma once

#include <atomic>

namespace fwk {

// Set by the UI thread to ask the server thread to end after its turn.
extern std::atomic<int> stop_flag;

}  // namespace fwk
