// Starting the user's web browser on a URL.
#pragma once

#include <string>

namespace fwk {

// Opens `url` with the command in $BROWSER, else with xdg-open where a display
// is available ($DISPLAY or $WAYLAND_DISPLAY). Returns false when no browser
// could be started; the caller then tells the user the URL. Never waits for
// the browser.
bool browser_open(const std::string& url);

}  // namespace fwk
