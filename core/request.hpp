// One request as the dispatcher hands it to a handler (the forms engine,
// the record browser, the file server): what the client asked for and who
// asked. The dispatcher owns the request text and the parameter list; a
// handler may change the list (fill free slots, rename or delete entries)
// but never frees it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/plist.hpp"

namespace fwk {

struct Request {
  std::string_view method;  // "GET", "POST", ...
  // The path below the server root, without its leading "/" and its query
  // (the HOME document for "/").
  std::string path;
  std::string_view query;     // after the path's "?" ("" when it has none)
  std::string_view body;      // after the header block ("" when there is none)
  std::string host;           // the Host header ("" when it had none)
  uint32_t peer_address = 0;  // the client's IPv4 address, network byte order
  // Who the request counts against when it fails a password or login check:
  // the peer, or the client a reverse proxy on this machine names
  // (forwarded_client in http/request.hpp).
  uint32_t client_address = 0;
  // The decoded parameters (the query of a GET, the body of a POST) after
  // the entries HOST, DATE and TIME; absent for a request without any.
  ParamList* params = nullptr;
};

}  // namespace fwk
