// The server thread: reads requests and sends responses for many connections
// at once without waiting on any one of them, serves plain files itself,
// hands every other whole request to the handler thread (which runs them in
// turn), reports a failed request, and asks the courier for work between
// turns.
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

// Open connections at most: as many as the file limit allows (raised as
// far as it goes at start, up to kDescriptorCeiling) less kSpareDescriptors
// for the files, pipes and relay connections of the server's own work.
// When they are all open, a new connection takes the place of the one that
// has made least progress: the oldest still reading its request. A client
// whose request is whole is never closed for another.
constexpr size_t kDescriptorCeiling = 65536;
constexpr size_t kSpareDescriptors = 64;
// At least this many connections, whatever the file limit says.
constexpr size_t kFewestConnections = 16;
// Open connections of one client address at most (but for 127.0.0.1, where
// a reverse proxy brings everyone's); a new one beyond it takes the place
// of that address's oldest connection still reading, or is closed at once
// when it has none.
constexpr size_t kConnectionsPerAddress = 32;

// The connections allowed with `file_limit` open files.
size_t connection_cap(size_t file_limit);

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
// accepts no more connections, gives those still reading, handled or sending
// up to a second to finish, abandons the rest and returns 18. A handler that
// runs is always finished (handlers not yet begun are dropped), and so is a
// transmission of the courier's.
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
