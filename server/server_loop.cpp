#include "server/server_loop.hpp"

#include <chrono>
#include <thread>

#include "core/connection.hpp"
#include "core/results.hpp"
#include "core/status_log.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "server/dispatch.hpp"
#include "server/server_state.hpp"

namespace fwk {

namespace {

constexpr size_t kErrorNoteArea = 1024;
constexpr const char* kNotFoundNote = "HTTP/1.1 404 NOT FOUND\r\n";
constexpr const char* kAccessDeniedNote = "<P>Error: Access denied.\n";
constexpr const char* kClosingComment = "<!-- Veltrix CGI 5.03 -->";

// Idle back-off: short naps for the first idle turns, long ones after.
constexpr int kShortNapTurns = 1919;
constexpr int kShortNapMs = 128;
constexpr int kLongNapMs = 1024;

// The network test reads every interface; its answer is kept this long so
// that a busy server does not repeat it for every request.
constexpr uint32_t kNetworkCheckMs = 1000;

void send_text(Connection& connection, const std::string& text) {
  conn_send(connection, text.data(), text.size());
}

bool network_present_recently() {
  static uint32_t checked_at = 0;
  static bool checked = false;
  static bool present = false;
  uint32_t now = clock_tick_ms();
  if (!checked || now - checked_at >= kNetworkCheckMs) {
    present = network_present();
    checked_at = now;
    checked = true;
  }
  return present;
}

// Mail waits and the device is on a network: the outbox is due.
bool outbox_due() {
  return outbox_pending != 0 && network_present_recently();
}

void serve_connection(const SiteContext& site, Connection& connection) {
  int status = dispatch_request(site, connection);
  std::string note = error_note(status, site.settings.get());
  if (!note.empty()) {
    send_text(connection, note);
    send_text(connection, kClosingComment);
    status_log(site.log, note.c_str());
  }
  conn_close(connection);
}

void nap(int idle_turns) {
  int ms = idle_turns <= kShortNapTurns ? kShortNapMs : kLongNapMs;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

std::string error_note(int status, const ParamList* settings) {
  if (status == kHandlerOk) return "";
  if (status == kHandlerNotFound) return kNotFoundNote;
  if (status == kHandlerAccessDenied) return kAccessDeniedNote;
  std::string number = std::to_string(status);
  std::string note = "<P><A href=";
  note += plist_get(settings, "HELPURL", kDefaultHelpUrl);
  note += "#s" + number + ">Error " + number + "</a>\n";
  if (note.size() >= kErrorNoteArea) note.resize(kErrorNoteArea - 1);
  return note;
}

int server_loop(const SiteContext& site, Listener& listener) {
  int idle = 0;
  for (;;) {
    if (stop_flag.load() != 0) return kServerLoopExitCode;
    // Sending a due outbox (and clearing outbox_pending once it went out)
    // joins here together with the mail outbox itself.
    outbox_due();
    if (listener_wait(listener)) {
      std::unique_ptr<Connection> connection = conn_accept(listener);
      if (connection == nullptr) continue;
      idle = 0;
      serve_connection(site, *connection);
    } else {
      if (idle <= kShortNapTurns) ++idle;
      nap(idle);
    }
  }
}

}  // namespace fwk
