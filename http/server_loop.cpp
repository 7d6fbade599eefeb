#include "http/server_loop.hpp"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/connection.hpp"
#include "core/limits.hpp"
#include "core/status_log.hpp"
#include "forms/handler_result.hpp"
#include "platform/file_limit.hpp"
#include "http/dispatch.hpp"
#include "http/handler_thread.hpp"
#include "http/loop_client.hpp"
#include "forms/refusal_alerts.hpp"
#include "mail/courier.hpp"
#include "platform/clock.hpp"
#include "platform/poller.hpp"
#include "platform/socket.hpp"

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
// Accepted in one go at most; the listener stays watched for the rest.
constexpr int kAcceptsPerTurn = 64;
// 127.0.0.1 in network byte order: this device's own browser, or a reverse
// proxy in front of the server, which brings every tablet's connections.
const uint32_t kThisDevice = ipv4_loopback();
constexpr const char* kAcceptPausedNote =
    "\nfwkhttpd: cannot accept connections, out of file handles or memory ";

// One run of the loop: the connections and the state of accepting and
// stopping.
struct Loop {
  explicit Loop(ServerLoop& owner) : server(owner), poller(owner.poller) {}
  ServerLoop& server;
  const SiteContext* site = nullptr;
  Listener* listener = nullptr;
  Poller& poller;
  HandlerThread handlers;
  // Clients by socket handle (handles are small numbers).
  std::vector<std::unique_ptr<LoopClient>> clients;
  // The socket of the client whose body a producer's descriptor carries, by
  // that descriptor (an entry may outlive its producer: it is checked).
  std::vector<int> producer_owner;
  size_t open_count = 0;
  size_t cap = kFewestConnections;  // connection_cap of the file limit
  std::unordered_map<uint32_t, size_t> per_address;  // open connections by peer
  uint64_t accepted = 0;                             // serial of the last accept
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
  return producer && producer->descriptor.get() == descriptor ? client : nullptr;
}

// Watches (or stops watching) the client's producer for bytes it has made.
void watch_producer(Loop& loop, LoopClient& client, bool on) {
  const ProducerPtr& producer = client.connection.stream_producer;
  if (!producer) return;
  size_t at = static_cast<size_t>(producer->descriptor.get());
  if (at >= loop.producer_owner.size()) loop.producer_owner.resize(at + 1, -1);
  loop.producer_owner[at] = client.socket.get();
  poller_watch(loop.poller, producer->descriptor.get(), on, false);
}

void watch_listener(Loop& loop, bool on) {
  if (loop.accepting == on) return;
  poller_watch(loop.poller, loop.listener->socket.get(), on, false);
  loop.accepting = on;
}

void close_client(Loop& loop, LoopClient& client) {
  int socket = client.socket.get();
  auto count = loop.per_address.find(client.peer_address);
  if (count != loop.per_address.end() && --count->second == 0) loop.per_address.erase(count);
  socket_shutdown(socket);
  loop.clients[static_cast<size_t>(socket)].reset();  // closing also ends the socket's watch
  --loop.open_count;
  if (!loop.stopping && !loop.accept_paused) watch_listener(loop, true);
}

// Sends what the socket takes; closes the client when it is done or gone.
void continue_sending(Loop& loop, LoopClient& client, uint32_t now) {
  SendOutcome outcome = client_send(client, now);
  if (outcome == SendOutcome::blocked) {
    poller_watch(loop.poller, client.socket.get(), false, true);
    watch_producer(loop, client, false);
    return;
  }
  if (outcome == SendOutcome::awaiting) {
    // Until the producer has more, the socket is watched only for the
    // client going away.
    poller_watch(loop.poller, client.socket.get(), !client.peer_done_sending, false);
    watch_producer(loop, client, true);
    return;
  }
  if (outcome == SendOutcome::done && client.linger_after_send) {
    socket_shutdown_send(client.socket.get());
    client.phase = ClientPhase::lingering;
    client.deadline = now + kLingerMs;
    poller_watch(loop.poller, client.socket.get(), true, false);
    return;
  }
  close_client(loop, client);
}

// Makes the response to a whole request on the client's connection, with
// the error note its handler's status calls for. Runs on the handler thread,
// or on the loop for a plain file.
void respond(const SiteContext& site, PeerNames& names, LoopClient& client) {
  Connection& connection = client.connection;
  std::string request = std::move(client.reader.text);
  HandlerResult status =
      dispatch_request(site, names, request, client.peer_address, connection);
  std::string().swap(request);
  std::string note = error_note(status, site.settings.get());
  if (!note.empty()) {
    conn_send(connection, note.data(), note.size());
    conn_send(connection, kClosingComment, std::char_traits<char>::length(kClosingComment));
    status_log(site.log, note.c_str());
  }
}

void start_sending(Loop& loop, LoopClient& client) {
  uint32_t now = clock_tick_ms();
  client.phase = ClientPhase::sending;
  client.deadline = now + kResponseDeadlineMs;
  continue_sending(loop, client, now);
}

// Answers a whole request: a plain file at once, anything else on the
// handler thread (one at a time, in the order the requests became whole),
// which hands the client back when its response is made.
void serve(Loop& loop, LoopClient& client) {
  if (!loop.handlers.thread || request_wants_plain_file(*loop.site, client.reader.text)) {
    respond(*loop.site, loop.server.peer_names, client);
    start_sending(loop, client);
    return;
  }
  client.phase = ClientPhase::handling;
  poller_forget(loop.poller, client.socket.get());
  handlers_submit(loop.handlers, &client);
}

// Starts sending the responses the handler thread has made.
void send_handled(Loop& loop) {
  for (LoopClient* client : handlers_take_done(loop.handlers)) start_sending(loop, *client);
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
  if (!loop.stopping) watch_listener(loop, true);
  return wait;
}

// The client that has made least progress, for a new connection to take
// its place: the oldest still reading its request, or done with a refusal
// (of `address` only, when given). None when every client is being sent
// its response.
LoopClient* least_progress(Loop& loop, const uint32_t* address) {
  LoopClient* found = nullptr;
  for (auto& client : loop.clients) {
    if (client == nullptr || client->phase == ClientPhase::sending ||
        client->phase == ClientPhase::handling) {
      continue;
    }
    if (address != nullptr && client->peer_address != *address) continue;
    if (found == nullptr || client->serial < found->serial) found = client.get();
  }
  return found;
}

// Makes room for a new connection from `peer`: closes that address's
// oldest reading connection when it has its share open, and the oldest
// reading one of all when every connection is taken. False when there is
// no room (the new connection is then not kept).
bool make_room(Loop& loop, uint32_t peer) {
  auto count = loop.per_address.find(peer);
  if (count != loop.per_address.end() && count->second >= kConnectionsPerAddress &&
      peer != kThisDevice) {
    LoopClient* oldest = least_progress(loop, &peer);
    if (oldest == nullptr) return false;
    close_client(loop, *oldest);
  }
  if (loop.open_count < loop.cap) return true;
  LoopClient* oldest = least_progress(loop, nullptr);
  if (oldest == nullptr) return false;
  close_client(loop, *oldest);
  return true;
}

// Accepts pending connections, at most kAcceptsPerTurn before the other
// clients get their turn; a connection that finds no room is closed at once.
void accept_pending(Loop& loop) {
  for (int taken = 0; taken < kAcceptsPerTurn; ++taken) {
    uint32_t peer = 0;
    AcceptFailure failure = AcceptFailure::none;
    Descriptor accepted = socket_accept_nonblocking(loop.listener->socket.get(), &peer, &failure);
    const int socket = accepted.get();
    if (!accepted) {
      if (failure == AcceptFailure::retry) continue;
      if (failure == AcceptFailure::no_resources) pause_accepting(loop);
      return;
    }
    loop.accept_starved = false;
    if (!make_room(loop, peer)) continue;  // closed with `accepted`
    uint32_t now = clock_tick_ms();
    if (static_cast<size_t>(socket) >= loop.clients.size()) {
      loop.clients.resize(static_cast<size_t>(socket) + 1);
    }
    loop.clients[static_cast<size_t>(socket)] = client_accepted(std::move(accepted), peer, now);
    loop.clients[static_cast<size_t>(socket)]->serial = ++loop.accepted;
    ++loop.open_count;
    ++loop.per_address[peer];
    LoopClient& client = *loop.clients[static_cast<size_t>(socket)];
    // The request often has arrived with the connection: read it at once.
    on_readable(loop, client, now);
    if (client_of(loop, socket) != nullptr && client.phase == ClientPhase::reading) {
      poller_watch(loop.poller, socket, true, false);
    }
  }
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
    if (client == nullptr || client->phase == ClientPhase::handling ||
        client->awaiting_producer) {
      continue;
    }
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
  if (event.socket == loop.listener->socket.get()) {
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
          poller_watch(loop.poller, client->socket.get(), false, false);
        }
        return;
      }
      if (event.writable) continue_sending(loop, *client, now);
      return;
    case ClientPhase::lingering:
      if (event.readable && !client_drain(*client, loop.scratch)) close_client(loop, *client);
      return;
    case ClientPhase::handling:
      return;  // not watched while the handler thread has it
  }
}

void begin_stopping(Loop& loop) {
  loop.stopping = true;
  loop.stop_deadline = clock_tick_ms() + kStopGraceMs;
  watch_listener(loop, false);
}

void abandon_all(Loop& loop) {
  for (auto& client : loop.clients) {
    if (client != nullptr) socket_shutdown(client->socket.get());
    client.reset();
  }
  loop.open_count = 0;
  loop.per_address.clear();
}

}  // namespace

size_t connection_cap(size_t file_limit) {
  if (file_limit <= kSpareDescriptors + kFewestConnections) return kFewestConnections;
  return std::min(file_limit, kDescriptorCeiling) - kSpareDescriptors;
}

std::string error_note(HandlerResult status, const ParamList* settings) {
  if (status == HandlerResult::ok) return "";
  if (status == HandlerResult::not_found) return kNotFoundNote;
  if (status == HandlerResult::access_denied) return kAccessDeniedNote;
  std::string number = std::to_string(result_number(status));
  std::string note = "<P><A href=";
  note += plist_get(settings, "HELPURL", kDefaultHelpUrl);
  note += "#s" + number + ">Error " + number + "</a>\n";
  if (note.size() >= kErrorNoteArea) note.resize(kErrorNoteArea - 1);
  return note;
}

bool server_loop_open(ServerLoop& loop) {
  return poller_open(loop.poller);
}

void server_loop_stop(ServerLoop& loop) {
  loop.stop = 1;
  poller_wake(loop.poller);
}

int server_loop_run(ServerLoop& server, const SiteContext& site, Listener& listener) {
  Loop loop(server);
  Courier& courier = server.courier;
  loop.site = &site;
  loop.listener = &listener;
  loop.cap = connection_cap(file_limit_raise(kDescriptorCeiling));
  if (!loop.poller.handle) return kServerLoopExitCode;
  socket_set_nonblocking(listener.socket.get());
  poller_watch(loop.poller, listener.socket.get(), true, false);
  PeerNames& names = server.peer_names;
  loop.handlers.handle = [&site, &names](LoopClient& client) { respond(site, names, client); };
  loop.handlers.notify = [&loop] { poller_wake(loop.poller); };
  // Without a thread of their own the handlers run on the loop.
  handlers_start(loop.handlers);
  std::vector<PollEvent> events;
  for (;;) {
    if (server.stop.load() != 0 && !loop.stopping) begin_stopping(loop);
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
    send_handled(loop);
  }
  handlers_stop(loop.handlers);
  abandon_all(loop);
  // The refusals not yet told wait in the outbox for the next start.
  if (site.refusal_alerts) refusal_alerts_send_due(*site.refusal_alerts, site, true);
  courier_finish(courier);
  return kServerLoopExitCode;
}

}  // namespace fwk
