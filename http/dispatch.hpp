// Serving one request: read it, split it, decode its parameters, and hand it
// to the forms engine, the record browser or the file server.
#pragma once

#include <string>
#include <string_view>

#include "core/connection.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"

namespace fwk {

// Serves one whole request (its text, which is cut in place) on the
// connection: the response is written to it. Returns 0 when the response is
// complete, -1 when the handler found nothing to serve, 101 for access
// denied, or another handler error number.
int dispatch_request(const SiteContext& site, Connection& connection, std::string& text);

// True when the request asks for nothing but a file of the root sent as it
// is (or the answer for a missing one): no handler and no template runs for
// it, so the server loop serves it at once, whatever a handler is doing.
bool request_wants_plain_file(const SiteContext& site, std::string_view text);

// The handler part: runs the handler chosen by `path` (already cut at "?")
// with the request list (may be absent) and returns its status.
int dispatch_path(const SiteContext& site, const char* path, ParamList* request, OutputSink* sink);

// Fills entries 0 to 2 of a request list: HOST (DEVICEID of the site's
// settings, else the given peer host name), DATE and TIME.
void fill_request_header(const SiteContext& site, ParamList& request, const char* peer_host);

}  // namespace fwk
