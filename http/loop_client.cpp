#include "http/loop_client.hpp"

#include <cstring>

#include "platform/socket.hpp"

namespace fwk {

namespace {

// The most one sendfile call is asked for: keeps one client from holding
// the loop while the system copies a large file.
constexpr size_t kFileSendStep = 1024 * 1024;
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

SendOutcome client_send(LoopClient& client) {
  Connection& c = client.connection;
  SendOutcome outcome = SendOutcome::done;
  if (!send_text(c.socket, c.response, &client.response_sent, &outcome)) return outcome;
  if (!c.response.empty()) std::string().swap(c.response);  // sent: give the memory back
  client.response_sent = 0;
  while (c.stream_file) {
    long put = socket_send_file(c.socket, c.stream_file.get(), &c.stream_offset, kFileSendStep);
    if (put == kNothingWaiting) return SendOutcome::blocked;
    if (put < 0) return SendOutcome::failed;
    if (put == 0) c.stream_file.reset();  // the end of the file
  }
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

void client_queue_refusal(LoopClient& client, const char* response, uint32_t now) {
  std::string().swap(client.reader.text);
  client.connection.response = response;
  client.response_sent = 0;
  client.linger_after_send = true;
  client.phase = ClientPhase::sending;
  client.deadline = now + kResponseDeadlineMs;
}

}  // namespace fwk
