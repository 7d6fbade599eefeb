// The site context: what the server knows of its site, built once at
// start-up and passed down to every handler (dispatch, file server, forms
// engine, record browser, template processor, scripts). Read-only while
// requests are served.
#pragma once

#include <memory>
#include <string>

#include "core/plist.hpp"

namespace fwk {

// What the forms engine learned of its data files between saves
// (cgi/fwk/session_index.hpp).
struct SessionIndex;

struct SiteContext {
  // The server root, always ending in "/".
  std::string root;
  // Section "server" of "cgi.ini" (HOME, ERROR, DEVICEID, HELPURL ...);
  // may be absent.
  ParamListPtr settings;
  // The port the listener is bound to (0 before it is bound).
  int port = 0;
  // Kept by the forms engine across requests (the server is the only
  // writer of its data files); absent: every save reads its data file anew.
  std::shared_ptr<SessionIndex> session_index;
};

}  // namespace fwk
