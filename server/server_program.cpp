#include "server/server_program.hpp"

#include <memory>

#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "core/text_convert.hpp"
#include "platform/browser.hpp"
#include "platform/console.hpp"
#include "platform/dirsearch.hpp"
#include "platform/instance.hpp"
#include "platform/signals.hpp"
#include "platform/socket.hpp"
#include "platform/thread.hpp"
#include "server/listener.hpp"
#include "server/server_loop.hpp"
#include "server/server_state.hpp"
#include "server/startup.hpp"
#include "server/survey_table.hpp"
#include "server/window_text.hpp"

namespace fwk {

namespace {

// How long a second start waits for the running one to publish its URL.
constexpr int kInstanceUrlWaitMs = 2000;
constexpr size_t kHostNameLimit = 79;

// The port the server listens on; the first port tried until it listens.
int server_port = 81;

void print_logged_message(const char* message) {
  std::string text = status_message_for_console(message);
  if (!text.empty()) console_write(text);
}

void open_url(const std::string& url) {
  if (!browser_open(url)) console_write("Open " + url + " in a browser\n");
}

// A second start: say where the running server is, and open it.
int report_other_instance(const CommandLine& options, const std::string& url) {
  if (url.empty()) {
    console_write("Formwick is already running.\n");
    return 0;
  }
  console_write("Formwick is already running at " + url + "\n");
  if (!options.headless && !options.no_browser) open_url(url);
  return 0;
}

void show_about(const std::string& title, int port) {
  std::string text = "About this program\n";
  text += title + " web server, version " + kProgramVersion + "\n";
  text += "Server root: " + server_root + "\n";
  if (port != 0) text += "Address: " + local_url(port, "") + "\n";
  console_write(text);
}

// The console stands in for the window's message loop: it ends on "q" or a
// shut-down signal.
void run_console(const CommandLine& options, const std::string& title, int shown_port) {
  bool read_input = !options.headless && console_input_is_terminal();
  if (read_input) console_write(kConsoleHint);
  std::string line;
  for (;;) {
    ConsoleEvent event = console_wait(read_input, line);
    if (event == ConsoleEvent::shutdown) return;
    if (event == ConsoleEvent::input_closed) {
      read_input = false;
      console_write("Console input has ended; stop the server with Ctrl-C or SIGTERM.\n");
      continue;
    }
    ConsoleCommand command = console_command_parse(line);
    switch (command.kind) {
      case ConsoleCommandKind::none:
        break;
      case ConsoleCommandKind::shut_down:
        return;
      case ConsoleCommandKind::about:
        show_about(title, shown_port);
        break;
      case ConsoleCommandKind::open_entry:
        if (command.entry < survey_table_count()) {
          open_browser(survey_table[command.entry].link);
        } else {
          console_write("There is no entry " + std::to_string(command.entry) + ".\n");
        }
        break;
      case ConsoleCommandKind::unknown:
        console_write(kConsoleHint);
        break;
    }
  }
}

// Opens the listener (with the unprivileged fallback) and sets the status
// text. False when no port could be opened.
bool start_listening(Listener& listener, int first_port) {
  bool fell_back = listener_open_with_fallback(listener, first_port);
  server_port = listener.port;
  server_address = "127.0.0.1:" + std::to_string(server_port);
  if (listener.socket < 0) return false;
  std::string host;
  if (!host_name(&host)) host.clear();
  if (host.size() > kHostNameLimit) host.resize(kHostNameLimit);
  std::string status =
      fell_back ? privileged_fallback_message(first_port, kUnprivilegedFirstPort) : std::string();
  status += running_message(host, server_port);
  status_text_set(status.c_str());
  return true;
}

}  // namespace

void open_browser(const std::u16string& path) {
  open_url(local_url(server_port, wide_to_ansi(path, 4 * path.size())));
}

int server_main(const CommandLine& options) {
  stop_flag = 0;
  status_log_clear_next();
  status_text_clear();
  signals_install();

  InstanceLock instance;
  std::string running_url;
  switch (instance_acquire(instance, running_url, kInstanceUrlWaitMs)) {
    case InstanceState::other_running:
      return report_other_instance(options, running_url);
    case InstanceState::unavailable:
      console_write_error(
          "fwkhttpd: no lock file in the runtime directory; not checking for another running "
          "server\n");
      break;
    case InstanceState::acquired:
      break;
  }

  std::string root = find_server_root(options.root);
  if (root.size() > kServerRootLimit) {
    console_write_error("fwkhttpd: the server root path is longer than " +
                        std::to_string(kServerRootLimit) + " bytes: " + root + "\n");
    instance_release(instance);
    return 1;
  }
  if (!directory_exists(root)) {
    console_write_error("fwkhttpd: warning: the server root " + root + " is not a directory\n");
  }
  server_root = root;
  server_root_wide = utf8_to_wide(root, kServerRootLimit);
  if (!server_settings) server_settings = load_server_settings(server_root);

  outbox_pending = 1;
  server_port = options.first_port;
  survey_table[0].in_use = false;
  std::string title = window_title(server_settings.get());
  build_survey_table();

  Listener listener;
  bool listening = start_listening(listener, options.first_port);
  int shown_port = listening ? server_port : 0;
  console_write(window_text(title, shown_port, status_text_utf8()));
  if (listening) {
    instance_publish_url(instance, local_url(server_port, ""));
    if (!options.headless && !options.no_browser) open_browser(u"");
  } else {
    console_write_error("fwkhttpd: could not listen on any port from " +
                        std::to_string(options.first_port) + " to " +
                        std::to_string(options.first_port + kListenAttempts - 1) + "\n");
  }

  status_log_set_observer(print_logged_message);
  std::unique_ptr<Thread> server_thread;
  if (listening) server_thread = thread_start([&listener] { return server_loop(listener); });
  if (listening && !server_thread) {
    console_write_error("fwkhttpd: the server thread could not be started\n");
  }

  // A headless server that cannot serve has nothing to wait for.
  bool serving = server_thread != nullptr;
  if (serving || !options.headless) run_console(options, title, shown_port);
  int exit_code = serving || !options.headless ? 0 : 1;

  // Stop order: the thread first (a request in progress is finished), then
  // the network, the settings and the program's registry value.
  if (server_thread) {
    if (thread_running(*server_thread)) stop_flag = 1;
    thread_wait(*server_thread);
  }
  listener_close(listener);
  status_log_set_observer(nullptr);
  server_settings.reset();
  tidy_user_registry();
  instance_release(instance);
  return exit_code;
}

}  // namespace fwk
