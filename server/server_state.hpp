// Process-wide state of the device server. Everything here except
// `stop_flag` and `outbox_pending` is written during start-up, before the
// server thread starts, and only read afterwards.
#pragma once

#include <array>
#include <atomic>
#include <string>

#include "core/plist.hpp"

namespace fwk {

// Section "server" of "cgi.ini" (HOME, ERROR, DEVICEID, HELPURL ...).
extern ParamListPtr server_settings;

// "127.0.0.1:" and the port the listener is bound to; redirects use it.
extern std::string server_address;

// The server root as UTF-16, always ending in "/" (the UTF-8 form is
// `server_root`, next to `path_join`).
extern std::u16string server_root_wide;

// Set by the UI thread to ask the server thread to end after its turn.
extern std::atomic<int> stop_flag;

// Mail waiting in the outbox: set at start-up, raised per queued message,
// cleared by the loop after a successful transmission (server thread only
// once it runs).
extern int outbox_pending;

// One installed survey as the window and the index listing show it.
struct SurveyEntry {
  bool in_use = false;
  int rect_left = 0, rect_top = 0, rect_right = 0, rect_bottom = 0;
  std::u16string title;        // at most 1023 units
  std::u16string description;  // at most 1023 units
  std::u16string link;         // at most 259 units, relative to the URL root
};

constexpr int kSurveyTableSize = 16;
extern std::array<SurveyEntry, kSurveyTableSize> survey_table;

}  // namespace fwk
