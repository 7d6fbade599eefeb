// The server thread: accepts one connection at a time, serves it, reports a
// failed request, and checks the outbox between requests.
#pragma once

#include <string>

#include "core/plist.hpp"
#include "core/site.hpp"
#include "server/listener.hpp"

namespace fwk {

// Exit code of the server thread.
constexpr int kServerLoopExitCode = 18;

// The thread procedure: serves the site until `stop_flag` is seen at the
// start of a turn (a request in progress is finished first), then returns 18.
int server_loop(const SiteContext& site, Listener& listener);

// Help page of the error note when section "server" has no HELPURL.
constexpr const char* kDefaultHelpUrl = "/help.html";

// The note appended to a response whose handler returned `status`
// ("" for 0): a 404 line for -1, the access-denied line for 101, else a
// paragraph linking to the help page at "#s<status>". At most 1023 bytes.
std::string error_note(int status, const ParamList* settings);

}  // namespace fwk
