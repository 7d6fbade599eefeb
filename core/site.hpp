// The site context: what the server knows of its site, built once at
// start-up and passed down to every handler (dispatch, file server, forms
// engine, record browser, template processor, scripts). Read-only while
// requests are served.
#pragma once

#include <string>

#include "core/plist.hpp"

namespace fwk {

struct SiteContext {
  // The server root, always ending in "/".
  std::string root;
  // Section "server" of "cgi.ini" (HOME, ERROR, DEVICEID, HELPURL ...);
  // may be absent.
  ParamListPtr settings;
  // The port the listener is bound to (0 before it is bound).
  int port = 0;
};

}  // namespace fwk
