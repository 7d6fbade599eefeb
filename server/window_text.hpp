// What the main window shows, as terminal text: the title line, the survey
// list with each entry's full URL, a separator and the status text; and how
// a logged status message is printed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/site.hpp"

namespace fwk {

// "Formwick", or "Formwick/" and the DEVICEID of the settings, cut to 63
// units (never inside a character). UTF-8.
std::string window_title(const ParamList* settings);

// The full URL of a path on the server at `address` ("127.0.0.1:81"):
// "http://", the address, "/" and the path.
std::string local_url(const std::string& address, const std::string& path);

// The survey list: every entry of `surveys` in use with its number, title,
// description (when not empty) and URL (only when `address` is not empty,
// that is, a listener runs).
std::string survey_list_text(const SurveyTable& surveys, const std::string& address);

// The window text: title line, the survey list, the line saying where the
// tablets reach the server (`reach`, when not empty), a separator line, and
// the status text (when not empty). Ends with a line break.
std::string window_text(const SurveyTable& surveys, const std::string& title,
                        const std::string& address, const std::string& status,
                        const std::string& reach = "");

// Where the tablets of the network reach a server listening on `listen`
// (network byte order; 0 is every interface) and `port`, given this
// machine's non-loopback addresses: "Tablets on the network open
// http://A:P/ ..." (one URL per address), or what to do when none can.
std::string network_reach_text(uint32_t listen, int port, const std::vector<uint32_t>& machine);

// A logged message as printed on the terminal: carriage returns dropped,
// leading and trailing line breaks trimmed, one line break added. "" when
// nothing is left to show.
std::string status_message_for_console(const char* message);

// The console commands: a survey's number opens it, "a" shows About, "q"
// shuts the server down (letters in any case, spaces around ignored).
enum class ConsoleCommandKind { none, open_entry, about, shut_down, unknown };
struct ConsoleCommand {
  ConsoleCommandKind kind = ConsoleCommandKind::none;
  int entry = -1;  // for open_entry
};
ConsoleCommand console_command_parse(const std::string& line);

// The line printed for input that is no command.
constexpr const char* kConsoleHint =
    "Type a survey's number and Enter to open it in the browser, a for About, q to shut down.\n";

}  // namespace fwk
