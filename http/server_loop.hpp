// The server thread: reads requests and sends responses for many connections
// at once without waiting on any one of them, runs the handler of each whole
// request in turn, reports a failed request, and asks the courier for work
// between turns.
#pragma once

#include <string>

#include "core/plist.hpp"
#include "core/site.hpp"
#include "http/listener.hpp"
#include "mail/courier.hpp"

namespace fwk {

// Exit code of the server thread.
constexpr int kServerLoopExitCode = 18;

// Open connections at most; more wait in the listen backlog.
constexpr size_t kConnectionLimit = 256;

// The thread procedure, serving the site. Once `stop_flag` is seen it accepts no more
// connections, gives those still reading or sending up to a second to finish,
// abandons the rest and returns 18. A handler that runs is always finished,
// and so is a transmission of the courier's.
int server_loop(const SiteContext& site, Listener& listener, Courier& courier);

// Makes the running loop look at `stop_flag` at once. Safe from any thread.
void server_loop_wake();

// Help page of the error note when section "server" has no HELPURL.
constexpr const char* kDefaultHelpUrl = "/help.html";

// The note appended to a response whose handler returned `status`
// ("" for 0): a 404 line for -1, the access-denied line for 101, else a
// paragraph linking to the help page at "#s<status>". At most 1023 bytes.
std::string error_note(int status, const ParamList* settings);

}  // namespace fwk
