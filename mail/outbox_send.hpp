// Sending the outbox to the mail relays it names, one message per
// connection, in file order.
//
// Each message is retired as soon as its relay has accepted it: it is
// added to "outbox.bak" (which a transmission starts afresh) and the outbox
// is rewritten without it (temporary file, then rename). A crash at any
// moment can therefore send one message twice, but never lose one. A
// message the relay refuses stays queued and the next one is tried; a relay
// that cannot be reached, closes early or falls silent ends the run with
// the rest queued, and so does a server that is stopping. A record that
// cannot be read is moved to "outbox.bad".
#pragma once

#include "core/site.hpp"
#include "platform/descriptor.hpp"

namespace fwk {

// Results of outbox_send and relay_connect besides 0 (everything sent, or
// no outbox; connected).
constexpr int kOutboxNoOpen = 1;         // an unreadable record could not be set apart
constexpr int kOutboxTorn = 2;           // (the record was cut short)
constexpr int kOutboxSendFailed = 3;     // the relay closed, fell silent or a send failed
constexpr int kRelayUnresolved = 62;     // the relay's name could not be resolved
constexpr int kRelayNoSocket = 63;       // no socket could be created
constexpr int kRelayConnectFailed = 64;  // the connection failed or timed out
constexpr int kOutboxRelayRefused = 65;  // a relay refused a message (4xx/5xx); it stays queued

// Default wait for a connection and for each reply of the relay; the
// environment variable FORMWICK_RELAY_TIMEOUT_MS (milliseconds) overrides it.
constexpr int kRelayTimeoutMs = 10000;
int relay_timeout_ms();

// Connects to host:port (a host beginning with a digit is a dotted IPv4
// address, anything else is resolved). The socket (or none) goes to
// *socket_out.
int relay_connect(const char* host, int port, Descriptor* socket_out);

// Sends every record of the outbox. Called on a thread of its own; the
// outbox files are touched only under outbox_guard().
int outbox_send(const SiteContext& site);

}  // namespace fwk
