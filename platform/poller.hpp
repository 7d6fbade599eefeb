// Readiness of many sockets at once: the server loop's wait. Sockets are
// watched for reading, writing or both; a wait reports the ones that are
// ready. Another thread can end a wait early (poller_wake).
#pragma once

#include <vector>

#include "platform/descriptor.hpp"

namespace fwk {

// Closed with its owner (the sockets it watches stay open).
struct Poller {
  Descriptor handle;  // none: not open
  Descriptor wake;    // readable once poller_wake has been called
};

struct PollEvent {
  int socket = -1;
  bool readable = false;  // also set on hang-up and errors: the next read tells
  bool writable = false;
};

// Opens the poller; false when the system refuses.
bool poller_open(Poller& poller);

// Watches `socket` for the given readiness, replacing what was watched
// before. A socket watched for nothing stays known but reports nothing.
bool poller_watch(Poller& poller, int socket, bool read, bool write);

// Stops watching `socket`. Closing a socket also ends its watch.
void poller_forget(Poller& poller, int socket);

// Waits up to timeout_ms (-1: without limit) and fills `events` with the
// sockets that are ready. A wake ends the wait with no event for it.
void poller_wait(Poller& poller, int timeout_ms, std::vector<PollEvent>* events);

// Ends the current or next poller_wait early. Safe from any thread.
void poller_wake(const Poller& poller);

}  // namespace fwk
