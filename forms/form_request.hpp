// The forms engine's entry point: one "/fwk" request served completely.
#pragma once

#include "core/plist.hpp"
#include "core/request.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_state.hpp"
#include "forms/handler_result.hpp"

namespace fwk {

// Serves one request to the forms engine: checks the request, loads the
// form's configuration, works out the rights, enforces the response limit
// and the password file, runs the action (REPORT, START or empty, NEXT,
// BACK, SAVE, SUBMIT) and writes the whole response. Reads the request's
// parameters (which may be absent), its Host header (redirects to a path of
// this server use it) and its client address, against which failed password
// and login checks count; a client whose checks are throttled gets the 429
// page instead of a check. Returns ok, or a result the server loop reports.
HandlerResult form_handle_request(const SiteContext& site, const Request& http, OutputSink* sink);

// The final save (SAVE, SUBMIT, and NEXT with _PAGESKIP "(save)"): checks
// the append or update right, runs the page scripts, saves the response and
// writes the result page. Writes the header unless one has been written.
// Returns the save's result, the page display's result when SUBMIT is
// refused by a page script, or access_denied.
HandlerResult form_final_save(FormState& state);

}  // namespace fwk
