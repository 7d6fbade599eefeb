// Serving one request: read it, split it, decode its parameters, and hand it
// to the forms engine, the record browser or the file server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/connection.hpp"
#include "core/request.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/handler_result.hpp"
#include "platform/peer_name.hpp"

namespace fwk {

// Serves one whole request (its text, which is cut in place) from the
// client at `peer_address`: the response is written to `connection`. The
// client's host name is looked up in `names` only when the request has
// parameters and the site's settings name no DEVICEID. Returns the
// handler's result.
HandlerResult dispatch_request(const SiteContext& site, PeerNames& names, std::string& text,
                               uint32_t peer_address, Connection& connection);

// The handler part: runs the handler chosen by the request's path, within
// a fresh page budget, and returns its result.
HandlerResult dispatch(const SiteContext& site, const Request& request, OutputSink* sink);

// True when the request asks for nothing but a file of the root sent as it
// is (or the answer for a missing one): no handler and no template runs for
// it, so the server loop serves it at once, whatever a handler is doing.
bool request_wants_plain_file(const SiteContext& site, std::string_view text);

}  // namespace fwk
