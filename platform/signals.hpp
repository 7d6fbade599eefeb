// Process signals of the server program: SIGPIPE never ends it, and SIGINT
// or SIGTERM ask for the ordinary shut down. No handler runs: the two are
// blocked in every thread and read from a descriptor by the console's wait,
// so nothing in the program is changed behind its back.
#pragma once

#include "platform/descriptor.hpp"

namespace fwk {

// Readable once SIGINT or SIGTERM has arrived (it stays readable).
struct ShutdownSignals {
  Descriptor arrived;
};

// Ignores SIGPIPE, blocks SIGINT and SIGTERM (threads started afterwards
// inherit that; programs started by spawn.hpp do not) and opens the
// descriptor they arrive at. Call once, before any thread is started. When
// the system gives no such descriptor, the two signals are left to end the
// program at once, as they do by default.
ShutdownSignals signals_install();

// True once SIGINT or SIGTERM has arrived.
bool signals_shutdown_requested(const ShutdownSignals& signals);

// Waits up to `timeout_ms` for a shut-down signal; true once one arrived.
bool signals_wait_shutdown(const ShutdownSignals& signals, int timeout_ms);

}  // namespace fwk
