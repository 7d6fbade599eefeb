// One connection as the server loop keeps it: the request being read, the
// response being sent, and the deadlines of both. The steps here read and
// send only what the socket takes without waiting.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/connection.hpp"
#include "http/request_reader.hpp"

namespace fwk {

// The whole request must have arrived this long after the accept.
constexpr uint32_t kRequestDeadlineMs = 10000;
// The whole response must have been sent this long after it was made.
constexpr uint32_t kResponseDeadlineMs = 30000;
// A pause this long ends a request that has no other end (see
// reader_ends_by_silence). Long enough that a busy client which connects
// and only then writes its request is not taken for a silent one.
constexpr uint32_t kSilenceWindowMs = 1000;
// After a refusal, what the client still sends is read and dropped this long.
constexpr uint32_t kLingerMs = 2000;
// One client is sent at most this much per turn of the loop, so that a fast
// client of a large body never holds up the others.
constexpr size_t kTurnBytes = 1024 * 1024;

enum class ClientPhase {
  reading,    // collecting the request
  sending,    // the response is queued on the connection
  lingering,  // a refusal has been sent; waiting for the client to close
};

struct LoopClient {
  Connection connection;  // queued: handlers write into it
  ClientPhase phase = ClientPhase::reading;
  RequestReader reader;
  uint32_t last_byte_at = 0;  // tick of the last bytes read (or the accept)
  uint32_t deadline = 0;      // tick by which the current phase must end
  bool linger_after_send = false;
  size_t response_sent = 0;    // of connection.response
  size_t after_file_sent = 0;  // of connection.after_file
  // A body from a producer: what was read from it and not yet sent. While
  // the producer has nothing ready no deadline runs (it is the server's own
  // work); every piece the client takes gives it kResponseDeadlineMs more.
  std::string relay;
  size_t relay_sent = 0;
  bool awaiting_producer = false;
  bool peer_done_sending = false;  // the client has shut down its sending side
};

// A new client on an accepted socket at tick `now`.
std::unique_ptr<LoopClient> client_accepted(int socket, uint32_t peer_address, uint32_t now);

enum class ReadOutcome {
  more,       // still reading; nothing more has arrived
  complete,   // the request is whole
  too_large,  // answer 413
  cut_short,  // the client closed before its body arrived: answer 400
  bad_length,       // a Content-Length that is not a number: answer 400
  length_required,  // a transfer-coded body: answer 411
  gone,       // the connection failed
};

// Reads what has arrived into the request; `scratch` is a reusable area.
ReadOutcome client_read(LoopClient& client, std::string& scratch, uint32_t now);

enum class SendOutcome {
  done,      // everything has been handed to the system
  blocked,   // the socket takes no more now (or this turn's share is sent)
  awaiting,  // the body's producer has nothing ready yet
  failed,    // the client has gone, or the body could not be made whole
};

// Sends as much of the queued response as the socket takes, at most
// kTurnBytes; `now` is the tick of this turn.
SendOutcome client_send(LoopClient& client, uint32_t now);

// Reads and drops what a lingering client still sends: false once it has
// closed (or failed).
bool client_drain(LoopClient& client, std::string& scratch);

// The same while a response waits for its producer: false when the
// connection failed. A client that only shut down its sending side may
// still read: peer_done_sending is set, and it is kept.
bool client_drain_while_waiting(LoopClient& client, std::string& scratch);

// Drops the request and queues a refusal (400, 408, 413) instead; once it
// has been sent the connection closes lingering.
void client_queue_refusal(LoopClient& client, const char* response, uint32_t now);

// True when tick `at` has been reached at tick `now` (ticks wrap).
inline bool tick_reached(uint32_t now, uint32_t at) {
  return static_cast<int32_t>(now - at) >= 0;
}

}  // namespace fwk
