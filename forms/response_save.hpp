// Saving a response: the data file with the retirement of the session's
// earlier records and its index line, the response counter, the submission
// mail, the XML transaction file; and the page that answers the save.
#pragma once

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// Saves the request as one response of `form` as its configuration says.
// With LOGDATETIME 0 the request's HOST, DATE and TIME are renamed _HOST,
// _DATE and _TIME first.
//
// The response is stored first, durably: as a record of the data file
// (SAVEDATA), else as a mail in the outbox (SAVEEMAIL), else as an XML
// transaction (SAVEXML). Only then are the session's earlier records
// retired, the response counted (MAXRESPONSES; a save that replaced an
// earlier record of its session is the same response and is not counted
// again), mailed, indexed and written to the XML file. Returns 0 once the
// response is stored (a later step that fails is logged), else the code of
// what kept it from being stored, with nothing else written: 1 (mail
// without a relay) or 6 (XML without a file name) for a configuration that
// cannot work, 67 from the outbox, 2 or 6 from the data file, 6 from the
// XML file.
int response_save(const SiteContext& site, const FormConfig& form, ParamList* request);

// The text that tells the respondent why a save with result `result`
// stored nothing.
void save_error_text(OutputSink* sink, const FormConfig& form, int result);

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
