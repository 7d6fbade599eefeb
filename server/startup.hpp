// The pieces of start-up and shut-down that do not involve the console: where
// the server root is, the server settings, the "running" message and the
// tidying of the program's registry key.
#pragma once

#include <string>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/program_key.hpp"

namespace fwk {

// The server root, absolute and ending in "/": `option_root` (from --root)
// when given, else the machine hive's ServerRoot, else the sample root that
// ships with the program: ../share/formwick/root next to an installed
// program, the source tree's demo/ when run from the build tree.
std::string find_server_root(const std::string& option_root);

// The sample server root (see find_server_root).
std::string sample_server_root();

// Section "server" of "cgi.ini" in the server root, or none.
ParamListPtr load_server_settings(const std::string& root);

// "The server is running on port " with the host name and ":" when there is
// a host name, then the port.
std::string running_message(const std::string& host_name, int port);

// The status line saying that the first ports needed privileges and the
// unprivileged ports were tried instead.
std::string privileged_fallback_message(int first_port, int fallback_port);

// Deletes the per-user value "RANDOM" of the program's key, and the key
// itself when no value is left in it.
void tidy_user_registry();

}  // namespace fwk
