#include "http/server_loop.hpp"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/connection.hpp"
#include "core/limits.hpp"
#include "core/results.hpp"
#include "core/status_log.hpp"
#include "platform/clock.hpp"
#include "platform/poller.hpp"
#include "platform/socket.hpp"
#include "http/dispatch.hpp"
#include "http/loop_client.hpp"
#include "forms/refusal_alerts.hpp"
#include "mail/courier.hpp"
#include "server/server_state.hpp"

namespace fwk {

namespace {

constexpr const char* kNotFoundNote = "HTTP/1.1 404 NOT FOUND\r\n";
constexpr const char* kAccessDeniedNote = "<P>Error: Access denied.\n";
constexpr const char* kClosingComment = "<!-- Veltrix CGI 5.03 -->";

constexpr const char* kTooLargeResponse =
    "HTTP/1.1 413 Payload Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
constexpr const char* kCutShortResponse =
    "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
constexpr const char* kLengthRequiredResponse =
    "HTTP/1.1 411 Length Required\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
constexpr const char* kTimeoutResponse =
    "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

// The longest wait of one turn: the courier is asked for work at least this often.
constexpr int kLongestWaitMs = 1000;
// After a stop request, connections still reading or sending get this long
// to finish before they are abandoned.
constexpr uint32_t kStopGraceMs = 1000;
constexpr size_t kReadArea = 16384;
// When accepting fails for want of descriptors or memory, the listener is
// left alone this long: the pending connection would fail again at once,
// and the open ones keep being served (their closing frees descriptors).
constexpr uint32_t kAcceptPauseMs = 100;
constexpr const char* kAcceptPausedNote =
    "\nfwkhttpd: cannot accept connections, out of file handles or memory ";

// The loop being run, for server_loop_wake from the UI thread.
std::mutex wake_lock;
Poller* wake_target = nullptr;

struct Loop {
  const SiteContext* site = nullptr;
  Courier* courier = nullptr;
  Listener* listener = nullptr;
  Poller poller;
  // Clients by socket handle (handles are small numbers).
  std::vector<std::unique_ptr<LoopClient>> clients;
  // The socket of the client whose body a producer's descriptor carries, by
  // that descriptor (an entry may outlive its producer: it is checked).
  std::vector<int> producer_owner;
  size_t open_count = 0;
  bool accepting = true;        // the listener is watched
  bool accept_paused = false;   // waiting until accept_resume_at
  bool accept_starved = false;  // accepting failed since the last success
  uint32_t accept_resume_at = 0;
  bool stopping = false;
  uint32_t stop_deadline = 0;
  std::string scratch = std::string(kReadArea, '\0');
};

LoopClient* client_of(Loop& loop, int socket) {
  if (socket < 0 || static_cast<size_t>(socket) >= loop.clients.size()) return nullptr;
  return loop.clients[static_cast<size_t>(socket)].get();
}

// The client whose producer reads from `descriptor`, or none.
LoopClient* producer_client(Loop& loop, int descriptor) {
  if (descriptor < 0 || static_cast<size_t>(descriptor) >= loop.producer_owner.size()) {
    return nullptr;
  }
  LoopClient* client = client_of(loop, loop.producer_owner[static_cast<size_t>(descriptor)]);
  if (client == nullptr) return nullptr;
  const ProducerPtr& producer = client->connection.stream_producer;
  return producer && producer->descriptor == descriptor ? client : nullptr;
}

// Watches (or stops watching) the client's producer for bytes it has made.
void watch_producer(Loop& loop, LoopClient& client, bool on) {
  const ProducerPtr& producer = client.connection.stream_producer;
  if (!producer) return;
  size_t at = static_cast<size_t>(producer->descriptor);
  if (at >= loop.producer_owner.size()) loop.producer_owner.resize(at + 1, -1);
  loop.producer_owner[at] = client.connection.socket;
  poller_watch(loop.poller, producer->descriptor, on, false);
}

void watch_listener(Loop& loop, bool on) {
  if (loop.accepting == on) return;
  poller_watch(loop.poller, loop.listener->socket, on, false);
  loop.accepting = on;
}

void close_client(Loop& loop, LoopClient& client) {
  int socket = client.connection.socket;
  conn_close(client.connection);  // closing also ends the socket's watch
  loop.clients[static_cast<size_t>(socket)].reset();
  --loop.open_count;
  if (!loop.stopping && !loop.accept_paused) watch_listener(loop, true);
}

// Sends what the socket takes; closes the client when it is done or gone.
void continue_sending(Loop& loop, LoopClient& client, uint32_t now) {
  SendOutcome outcome = client_send(client, now);
  if (outcome == SendOutcome::blocked) {
    poller_watch(loop.poller, client.connection.socket, false, true);
    watch_producer(loop, client, false);
    return;
  }
  if (outcome == SendOutcome::awaiting) {
    // Until the producer has more, the socket is watched only for the
    // client going away.
    poller_watch(loop.poller, client.connection.socket, !client.peer_done_sending, false);
    watch_producer(loop, client, true);
    return;
  }
  if (outcome == SendOutcome::done && client.linger_after_send) {
    socket_shutdown_send(client.connection.socket);
    client.phase = ClientPhase::lingering;
    client.deadline = now + kLingerMs;
    poller_watch(loop.poller, client.connection.socket, true, false);
    return;
  }
  close_client(loop, client);
}

// Runs the handler for a whole request (on this thread, one at a time, in
// the order the requests became whole) and starts sending its response.
void serve(Loop& loop, LoopClient& client) {
  Connection& connection = client.connection;
  std::string request = std::move(client.reader.text);
  const SiteContext& site = *loop.site;
  int status = dispatch_request(site, connection, request);
  std::string().swap(request);
  std::string note = error_note(status, site.settings.get());
  if (!note.empty()) {
    conn_send(connection, note.data(), note.size());
    conn_send(connection, kClosingComment, std::char_traits<char>::length(kClosingComment));
    status_log(site.log, note.c_str());
  }
  uint32_t now = clock_tick_ms();
  client.phase = ClientPhase::sending;
  client.deadline = now + kResponseDeadlineMs;
  continue_sending(loop, client, now);
}

void refuse(Loop& loop, LoopClient& client, const char* response, uint32_t now) {
  client_queue_refusal(client, response, now);
  continue_sending(loop, client, now);
}

// Reads what a reading client has sent and acts on the outcome.
void on_readable(Loop& loop, LoopClient& client, uint32_t now) {
  switch (client_read(client, loop.scratch, now)) {
    case ReadOutcome::more:
      return;
    case ReadOutcome::complete:
      serve(loop, client);
      return;
    case ReadOutcome::too_large:
      refuse(loop, client, kTooLargeResponse, now);
      return;
    case ReadOutcome::cut_short:
    case ReadOutcome::bad_length:
      refuse(loop, client, kCutShortResponse, now);
      return;
    case ReadOutcome::length_required:
      refuse(loop, client, kLengthRequiredResponse, now);
      return;
    case ReadOutcome::gone:
      close_client(loop, client);
      return;
  }
}

// Stops watching the listener for kAcceptPauseMs; the first failure of an
// episode (until a connection is accepted again) is logged.
void pause_accepting(Loop& loop) {
  if (!loop.accept_starved) status_log(loop.site->log, kAcceptPausedNote);
  loop.accept_starved = true;
  loop.accept_paused = true;
  loop.accept_resume_at = clock_tick_ms() + kAcceptPauseMs;
  watch_listener(loop, false);
}

// Watches the listener again once the pause is over; returns the wait until
// then (at most `wait`).
int resume_accepting(Loop& loop, int wait) {
  if (!loop.accept_paused) return wait;
  uint32_t now = clock_tick_ms();
  if (!tick_reached(now, loop.accept_resume_at)) {
    return std::min(wait, static_cast<int>(loop.accept_resume_at - now));
  }
  loop.accept_paused = false;
  if (!loop.stopping && loop.open_count < kConnectionLimit) watch_listener(loop, true);
  return wait;
}

// Accepts pending connections up to the limit; beyond it they wait in the
// listen backlog.
void accept_pending(Loop& loop) {
  while (loop.open_count < kConnectionLimit) {
    uint32_t peer = 0;
    AcceptFailure failure = AcceptFailure::none;
    int socket = socket_accept_nonblocking(loop.listener->socket, &peer, &failure);
    if (socket < 0) {
      if (failure == AcceptFailure::retry) continue;
      if (failure == AcceptFailure::no_resources) pause_accepting(loop);
      return;
    }
    loop.accept_starved = false;
    uint32_t now = clock_tick_ms();
    if (static_cast<size_t>(socket) >= loop.clients.size()) {
      loop.clients.resize(static_cast<size_t>(socket) + 1);
    }
    loop.clients[static_cast<size_t>(socket)] = client_accepted(socket, peer, now);
    ++loop.open_count;
    LoopClient& client = *loop.clients[static_cast<size_t>(socket)];
    // The request often has arrived with the connection: read it at once.
    on_readable(loop, client, now);
    if (client_of(loop, socket) != nullptr && client.phase == ClientPhase::reading) {
      poller_watch(loop.poller, socket, true, false);
    }
  }
  watch_listener(loop, false);
}

// When the client's current phase calls for action without an event.
uint32_t next_timer(const LoopClient& client) {
  if (client.phase == ClientPhase::reading && reader_ends_by_silence(client.reader)) {
    uint32_t silence = client.last_byte_at + kSilenceWindowMs;
    return tick_reached(silence, client.deadline) ? client.deadline : silence;
  }
  return client.deadline;
}

void on_timer(Loop& loop, LoopClient& client, uint32_t now) {
  if (client.phase != ClientPhase::reading) {
    close_client(loop, client);  // the response took too long, or lingering ended
    return;
  }
  if (!tick_reached(now, client.deadline)) {
    serve(loop, client);  // the silence window has passed
  } else if (reader_header_ended(client.reader)) {
    refuse(loop, client, kCutShortResponse, now);
  } else {
    refuse(loop, client, kTimeoutResponse, now);
  }
}

// Handles every client whose timer has run out; returns the wait until the
// next one (at most kLongestWaitMs).
int run_timers(Loop& loop) {
  uint32_t now = clock_tick_ms();
  int wait = kLongestWaitMs;
  for (size_t i = 0; i < loop.clients.size(); ++i) {
    LoopClient* client = loop.clients[i].get();
    if (client == nullptr || client->awaiting_producer) continue;
    uint32_t at = next_timer(*client);
    if (tick_reached(now, at)) {
      on_timer(loop, *client, now);
      now = clock_tick_ms();
      continue;
    }
    wait = std::min(wait, static_cast<int>(at - now));
  }
  return wait;
}

void on_event(Loop& loop, const PollEvent& event) {
  if (event.socket == loop.listener->socket) {
    if (!loop.stopping) accept_pending(loop);
    return;
  }
  uint32_t now = clock_tick_ms();
  LoopClient* client = client_of(loop, event.socket);
  if (client == nullptr) {
    client = producer_client(loop, event.socket);
    if (client != nullptr && event.readable) continue_sending(loop, *client, now);
    return;
  }
  switch (client->phase) {
    case ClientPhase::reading:
      if (event.readable) on_readable(loop, *client, now);
      return;
    case ClientPhase::sending:
      if (event.readable && client->awaiting_producer) {
        if (!client_drain_while_waiting(*client, loop.scratch)) {
          close_client(loop, *client);
        } else if (client->peer_done_sending) {
          poller_watch(loop.poller, client->connection.socket, false, false);
        }
        return;
      }
      if (event.writable) continue_sending(loop, *client, now);
      return;
    case ClientPhase::lingering:
      if (event.readable && !client_drain(*client, loop.scratch)) close_client(loop, *client);
      return;
  }
}

void begin_stopping(Loop& loop) {
  loop.stopping = true;
  loop.stop_deadline = clock_tick_ms() + kStopGraceMs;
  watch_listener(loop, false);
}

void abandon_all(Loop& loop) {
  for (auto& client : loop.clients) {
    if (client != nullptr) conn_close(client->connection);
    client.reset();
  }
  loop.open_count = 0;
}

void set_wake_target(Poller* poller) {
  std::lock_guard<std::mutex> hold(wake_lock);
  wake_target = poller;
}

}  // namespace

std::string error_note(int status, const ParamList* settings) {
  if (status == kHandlerOk) return "";
  if (status == kHandlerNotFound) return kNotFoundNote;
  if (status == kHandlerAccessDenied) return kAccessDeniedNote;
  std::string number = std::to_string(status);
  std::string note = "<P><A href=";
  note += plist_get(settings, "HELPURL", kDefaultHelpUrl);
  note += "#s" + number + ">Error " + number + "</a>\n";
  if (note.size() >= kErrorNoteArea) note.resize(kErrorNoteArea - 1);
  return note;
}

void server_loop_wake() {
  std::lock_guard<std::mutex> hold(wake_lock);
  if (wake_target != nullptr) poller_wake(*wake_target);
}

int server_loop(const SiteContext& site, Listener& listener, Courier& courier) {
  Loop loop;
  loop.site = &site;
  loop.courier = &courier;
  loop.listener = &listener;
  if (!poller_open(loop.poller)) return kServerLoopExitCode;
  socket_set_nonblocking(listener.socket);
  poller_watch(loop.poller, listener.socket, true, false);
  set_wake_target(&loop.poller);
  std::vector<PollEvent> events;
  for (;;) {
    if (stop_flag.load() != 0 && !loop.stopping) begin_stopping(loop);
    if (loop.stopping &&
        (loop.open_count == 0 || tick_reached(clock_tick_ms(), loop.stop_deadline))) {
      break;
    }
    if (!loop.stopping) courier_turn(courier);
    if (site.refusal_alerts) refusal_alerts_send_due(*site.refusal_alerts, site, false);
    int wait = resume_accepting(loop, run_timers(loop));
    if (loop.stopping) {
      wait = std::min(wait, static_cast<int>(loop.stop_deadline - clock_tick_ms()) + 1);
    }
    poller_wait(loop.poller, std::max(wait, 0), &events);
    for (const PollEvent& event : events) on_event(loop, event);
  }
  set_wake_target(nullptr);
  abandon_all(loop);
  // The refusals not yet told wait in the outbox for the next start.
  if (site.refusal_alerts) refusal_alerts_send_due(*site.refusal_alerts, site, true);
  poller_close(loop.poller);
  courier_finish(courier);
  return kServerLoopExitCode;
}

}  // namespace fwk
