// The forms engine's entry point: one "/fwk" request served completely.
#pragma once

#include <cstdint>

#include "forms/form_state.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"

namespace fwk {

// Results of a forms-engine request besides the page display's and the
// save's codes.
constexpr int kFormBadPassword = 11;
constexpr int kFormLimitReached = 12;
constexpr int kFormConfigMissing = 21;
constexpr int kFormParamTooLong = 102;
constexpr int kFormBadPageName = 103;
constexpr int kFormBadDatabaseName = 104;

// Serves one request to the forms engine: checks the request, loads the
// form's configuration, works out the rights, enforces the response limit
// and the password file, runs the action (REPORT, START or empty, NEXT,
// BACK, SAVE, SUBMIT) and writes the whole response. `request` may be
// absent (a request without parameters); `http_host` is the request's Host
// header (absent or "" when it had none); `client` the client's address,
// against which failed password and login checks count. A client whose
// checks are throttled gets the 429 page instead of a check. Returns 0, or
// a result code the server loop reports.
int form_handle_request(const SiteContext& site, ParamList* request, OutputSink* sink,
                        const char* http_host = nullptr, uint32_t client = 0);

// The final save (SAVE, SUBMIT, and NEXT with _PAGESKIP "(save)"): checks
// the append or update right, runs the page scripts, saves the response and
// writes the result page. Writes the header unless one has been written.
// Returns the save's result, the page display's result when SUBMIT is
// refused by a page script, or kAccessDenied.
int form_final_save(FormState& state);

}  // namespace fwk
