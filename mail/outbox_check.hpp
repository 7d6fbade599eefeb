// The server loop's outbox check: when mail waits and the device is on a
// network, the outbox is sent on a thread of its own, so that requests keep
// being served while a slow relay is talked to. One transmission runs at a
// time, and after a failed one the next waits for the retry pause.
#pragma once

#include <cstdint>

#include "core/site.hpp"

namespace fwk {

// Pause after a failed transmission; FORMWICK_RELAY_RETRY_MS (milliseconds)
// overrides it.
constexpr uint32_t kRelayRetryMs = 60000;

// One turn of the check (server thread only): counts newly queued mail,
// collects a finished transmission (a result of 0 clears
// the mail it was started for), and starts a transmission when one is due.
void outbox_check(const SiteContext& site);

// Waits for a transmission in progress to end (when the server stops).
void outbox_check_finish();

}  // namespace fwk
