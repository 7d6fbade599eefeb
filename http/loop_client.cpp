#include "http/loop_client.hpp"

#include <cstring>

#include "platform/producer.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

// The most one sendfile call is asked for: keeps one client from holding
// the loop while the system copies a large file.
constexpr size_t kFileSendStep = 1024 * 1024;
// What is read from a producer at once.
constexpr size_t kRelayArea = 64 * 1024;
constexpr const char* kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

// Sends text[*sent..]: true when all of it has gone.
bool send_text(int socket, const std::string& text, size_t* sent, SendOutcome* outcome) {
  while (*sent < text.size()) {
    long put = socket_send_some(socket, text.data() + *sent, text.size() - *sent);
    if (put == kNothingWaiting) {
      *outcome = SendOutcome::blocked;
      return false;
    }
    if (put < 0) {
      *outcome = SendOutcome::failed;
      return false;
    }
    *sent += static_cast<size_t>(put);
  }
  return true;
}

// An interim answer the client waits for before it sends its body. It is
// tiny, and a socket that cannot take it has a client that does not read.
void send_continue(LoopClient& client) {
  client.reader.wants_continue = false;
  socket_send_some(client.connection.socket, kContinue, std::strlen(kContinue));
  socket_push(client.connection.socket);
}

// Takes `n` from this turn's share; false once it is used up.
bool take_share(size_t* share, size_t n) {
  *share -= n < *share ? n : *share;
  return *share > 0;
}

SendOutcome send_file(Connection& c, size_t* share) {
  while (c.stream_file) {
    long put = socket_send_file(c.socket, c.stream_file.get(), &c.stream_offset, kFileSendStep);
    if (put == kNothingWaiting) return SendOutcome::blocked;
    if (put < 0) return SendOutcome::failed;
    if (put == 0) {
      c.stream_file.reset();  // the end of the file
    } else if (!take_share(share, static_cast<size_t>(put))) {
      return SendOutcome::blocked;
    }
  }
  return SendOutcome::done;
}

// Sends what the producer has made as the socket takes it, reading more
// when that is sent, until the producer's end. A producer that did not make
// its body whole fails the response, so that it ends short.
SendOutcome relay_produced(LoopClient& client, uint32_t now, size_t* share) {
  Connection& c = client.connection;
  while (c.stream_producer) {
    if (client.relay_sent < client.relay.size()) {
      size_t before = client.relay_sent;
      SendOutcome outcome = SendOutcome::done;
      bool all = send_text(c.socket, client.relay, &client.relay_sent, &outcome);
      if (client.relay_sent > before) client.deadline = now + kResponseDeadlineMs;
      if (!all) return outcome;
      if (!take_share(share, client.relay_sent - before)) return SendOutcome::blocked;
    }
    client.relay.resize(kRelayArea);
    long got = producer_read(*c.stream_producer, client.relay.data(), client.relay.size());
    client.relay.resize(got > 0 ? static_cast<size_t>(got) : 0);
    client.relay_sent = 0;
    if (got == kNothingWaiting) {
      client.awaiting_producer = true;
      return SendOutcome::awaiting;
    }
    if (got <= 0) {
      bool whole = got == 0 && producer_succeeded(*c.stream_producer);
      c.stream_producer.reset();
      std::string().swap(client.relay);
      if (!whole) return SendOutcome::failed;
    }
  }
  return SendOutcome::done;
}

}  // namespace

std::unique_ptr<LoopClient> client_accepted(int socket, uint32_t peer_address, uint32_t now) {
  auto client = std::make_unique<LoopClient>();
  client->connection.socket = socket;
  client->connection.peer_address = peer_address;
  client->connection.queued = true;
  client->last_byte_at = now;
  client->deadline = now + kRequestDeadlineMs;
  return client;
}

ReadOutcome client_read(LoopClient& client, std::string& scratch, uint32_t now) {
  for (;;) {
    long got = socket_receive_waiting(client.connection.socket, scratch.data(), scratch.size());
    if (got == kNothingWaiting) return ReadOutcome::more;
    if (got < 0) return ReadOutcome::gone;
    if (got == 0) {
      return reader_at_close(client.reader) == ClosedRequest::complete ? ReadOutcome::complete
                                                                       : ReadOutcome::cut_short;
    }
    client.last_byte_at = now;
    ReadProgress progress = reader_take(client.reader, scratch.data(), static_cast<size_t>(got));
    if (progress == ReadProgress::complete) return ReadOutcome::complete;
    if (progress == ReadProgress::too_large) return ReadOutcome::too_large;
    if (progress == ReadProgress::bad_length) return ReadOutcome::bad_length;
    if (progress == ReadProgress::length_required) return ReadOutcome::length_required;
    if (client.reader.wants_continue) send_continue(client);
  }
}

SendOutcome client_send(LoopClient& client, uint32_t now) {
  Connection& c = client.connection;
  client.awaiting_producer = false;
  SendOutcome outcome = SendOutcome::done;
  if (!send_text(c.socket, c.response, &client.response_sent, &outcome)) return outcome;
  if (!c.response.empty()) std::string().swap(c.response);  // sent: give the memory back
  client.response_sent = 0;
  size_t share = kTurnBytes;
  outcome = send_file(c, &share);
  if (outcome != SendOutcome::done) return outcome;
  outcome = relay_produced(client, now, &share);
  if (outcome != SendOutcome::done) return outcome;
  if (!send_text(c.socket, c.after_file, &client.after_file_sent, &outcome)) return outcome;
  return SendOutcome::done;
}

bool client_drain(LoopClient& client, std::string& scratch) {
  for (;;) {
    long got = socket_receive_waiting(client.connection.socket, scratch.data(), scratch.size());
    if (got == kNothingWaiting) return true;
    if (got <= 0) return false;
  }
}

bool client_drain_while_waiting(LoopClient& client, std::string& scratch) {
  for (;;) {
    long got = socket_receive_waiting(client.connection.socket, scratch.data(), scratch.size());
    if (got == kNothingWaiting) return true;
    if (got < 0) return false;
    if (got == 0) {
      client.peer_done_sending = true;
      return true;
    }
  }
}

void client_queue_refusal(LoopClient& client, const char* response, uint32_t now) {
  std::string().swap(client.reader.text);
  client.connection.response = response;
  client.response_sent = 0;
  client.linger_after_send = true;
  client.phase = ClientPhase::sending;
  client.deadline = now + kResponseDeadlineMs;
}

}  // namespace fwk
