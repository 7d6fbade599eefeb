// The server program: start-up, the console window, shut down.
#pragma once

#include <string>

#include "core/site.hpp"
#include "platform/cmdline.hpp"

namespace fwk {

constexpr const char* kProgramVersion = "0.1.0";

// Runs the program: single-instance check, server root, settings, survey
// table, listener, the "running" message, the browser, the server thread and
// the console loop; then the stop order. Returns the exit code: 0 after an
// ordinary shut down and when another instance runs; 1 when the server
// could not listen on any port (the reason is on standard error) or the
// server root cannot be used.
int server_main(const CommandLine& options);

// False, with a message on standard error, when the command line names a
// server root (--root) that is not a readable directory.
bool root_option_usable(const CommandLine& options);

// Opens the site's URL of `path` (UTF-16, may be "": the home document) in
// the browser, or prints it when no browser can be started or browsers are
// turned off (--no-browser, --headless).
void open_browser(const SiteContext& site, const std::u16string& path);

}  // namespace fwk
