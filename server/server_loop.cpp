#include "server/server_loop.hpp"

#include <chrono>
#include <thread>

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "core/site.hpp"
#include "core/status_log.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "server/dispatch.hpp"
#include "server/outbox_check.hpp"
#include "server/server_state.hpp"

namespace fwk {

namespace {

constexpr size_t kErrorNoteArea = 1024;
constexpr const char* kNotFoundNote = "HTTP/1.1 404 NOT FOUND\r\n";
constexpr const char* kAccessDeniedNote = "<P>Error: Access denied.\n";
constexpr const char* kClosingComment = "<!-- Veltrix CGI 5.03 -->";
constexpr int kAccessDenied = 101;

// Idle back-off: short naps for the first idle turns, long ones after.
constexpr int kShortNapTurns = 1919;
constexpr int kShortNapMs = 128;
constexpr int kLongNapMs = 1024;

void send_text(Connection& connection, const std::string& text) {
  conn_send(connection, text.data(), text.size());
}

void serve_connection(Connection& connection) {
  int status = dispatch_request(connection);
  std::string note = error_note(status, server_settings.get());
  if (!note.empty()) {
    send_text(connection, note);
    send_text(connection, kClosingComment);
    status_log(note.c_str());
  }
  conn_close(connection);
}

void nap(int idle_turns) {
  int ms = idle_turns <= kShortNapTurns ? kShortNapMs : kLongNapMs;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

std::string error_note(int status, const ParamList* settings) {
  if (status == 0) return "";
  if (status == -1) return kNotFoundNote;
  if (status == kAccessDenied) return kAccessDeniedNote;
  std::string number = std::to_string(status);
  std::string note = "<P><A href=";
  note += plist_get(settings, "HELPURL", kDefaultHelpUrl);
  note += "#s" + number + ">Error " + number + "</a>\n";
  if (note.size() >= kErrorNoteArea) note.resize(kErrorNoteArea - 1);
  return note;
}

int server_loop(Listener& listener) {
  SiteContext site;
  site.root = server_root;
  int idle = 0;
  for (;;) {
    if (stop_flag.load() != 0) {
      outbox_check_finish();
      return kServerLoopExitCode;
    }
    outbox_check(site);
    if (listener_wait(listener)) {
      std::unique_ptr<Connection> connection = conn_accept(listener);
      if (connection == nullptr) continue;
      idle = 0;
      serve_connection(*connection);
    } else {
      if (idle <= kShortNapTurns) ++idle;
      nap(idle);
    }
  }
}

}  // namespace fwk
