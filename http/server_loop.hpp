// The server thread: reads requests and sends responses for many connections
// at once without waiting on any one of them, runs the handler of each whole
// request in turn, reports a failed request, and asks the courier for work
// between turns.
#pragma once

#include <atomic>
#include <string>

#include "core/plist.hpp"
#include "core/site.hpp"
#include "forms/handler_result.hpp"
#include "http/listener.hpp"
#include "mail/courier.hpp"
#include "platform/peer_name.hpp"
#include "platform/poller.hpp"

namespace fwk {

// Exit code of the server thread.
constexpr int kServerLoopExitCode = 18;

// Open connections at most; more wait in the listen backlog.
constexpr size_t kConnectionLimit = 256;

// What the server thread's loop keeps beyond one run of it, owned by the
// server: the poller (opened before the thread starts, so that another
// thread can wake it), the stop request, the clients' host names and the
// courier, which the loop asks for work at every turn.
struct ServerLoop {
  Poller poller;
  // Not 0 once server_loop_stop has been called; the site's stop request.
  std::atomic<int> stop{0};
  PeerNames peer_names;
  // Readied (courier_prepare) before the thread starts.
  Courier courier;
};

// Opens the loop's poller; false when the system refuses.
bool server_loop_open(ServerLoop& loop);

// The thread procedure, serving the site. Once the stop request is seen it
// accepts no more connections, gives those still reading or sending up to a
// second to finish, abandons the rest and returns 18. A handler that runs is
// always finished, and so is a transmission of the courier's.
int server_loop_run(ServerLoop& loop, const SiteContext& site, Listener& listener);

// Asks the loop to stop and makes it look at once. Safe from any thread.
void server_loop_stop(ServerLoop& loop);

// Help page of the error note when section "server" has no HELPURL.
constexpr const char* kDefaultHelpUrl = "/help.html";

// The note appended to a response whose handler returned `status`
// ("" for 0): a 404 line for -1, the access-denied line for 101, else a
// paragraph linking to the help page at "#s<status>". At most 1023 bytes.
std::string error_note(HandlerResult status, const ParamList* settings);

}  // namespace fwk
