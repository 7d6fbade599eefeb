// Saving a response: the response counter, the submission mail, the data
// file with its index line and the retirement of the session's earlier
// records, the XML transaction file; and the page that answers the save.
#pragma once

#include <cstdio>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// The number of responses counted for the form (its ".respcount" file: a
// 32-bit little-endian count); 0 when the file is missing or short.
int response_count_read(const SiteContext& site, const char* form_name);

// Saves the request as one response of `form` as its configuration says. With LOGDATETIME 0 the request's HOST, DATE
// and TIME are renamed _HOST, _DATE and _TIME first. Returns 0, or the code
// of the first step that failed (1 or 67 from the mail queue, 2 or 6 from
// the data file, 6 from the XML file).
int response_save(const SiteContext& site, const FormConfig& form, ParamList* request);

// Marks deleted every record of the data file (open for reading and
// writing, positioned after its header) whose _SESSION equals the
// request's, except the last one. A file without a _SESSION column, or a
// request without a session, retires nothing. 1 when the file could not be
// repositioned after a mark, else 0.
int session_retire_earlier(std::FILE* file, ParamList* header, const ParamList* request);

// Writes the header and the answer to a save with result `result`: the
// error text, or the redirect (REDIRECT beginning with "/" goes to
// `http_host` when given, else to this server's loopback address), or the
// thank-you page. `http_host` is the request's Host header ("" or absent
// when it had none). With `header_written` no header is written, and a
// redirect becomes a page that sends the browser on.
void save_result_page(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                      ParamList* request, int result, const char* http_host,
                      bool header_written = false);

}  // namespace fwk
