// Process signals of the server program: SIGPIPE never ends it, and SIGINT or
// SIGTERM ask for the ordinary shut down.
#pragma once

namespace fwk {

// Ignores SIGPIPE and routes SIGINT and SIGTERM to a shut-down request that
// `console_wait` sees. Call once, before any thread is started.
void signals_install();

// True once SIGINT or SIGTERM has arrived.
bool signals_shutdown_requested();

// Waits up to `timeout_ms` for a shut-down signal; true once one arrived.
bool signals_wait_shutdown(int timeout_ms);

// Descriptor that becomes readable when a shut-down signal arrives (-1 before
// `signals_install`). Used by the console's wait.
int signals_wake_descriptor();

}  // namespace fwk
