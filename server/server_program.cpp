#include "server/server_program.hpp"

#include <memory>

#include "core/limits.hpp"
#include "core/paths.hpp"
#include "core/site.hpp"
#include "core/status_log.hpp"
#include "core/text_convert.hpp"
#include "forms/data_repair.hpp"
#include "forms/form_log.hpp"
#include "forms/refusal_alerts.hpp"
#include "forms/session_index.hpp"
#include "http/listener.hpp"
#include "http/private_files.hpp"
#include "http/server_loop.hpp"
#include "http/survey_table.hpp"
#include "platform/browser.hpp"
#include "platform/console.hpp"
#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"
#include "platform/file_limit.hpp"
#include "platform/instance.hpp"
#include "platform/signals.hpp"
#include "platform/socket.hpp"
#include "platform/thread.hpp"
#include "mail/outbox_admin.hpp"
#include "server/mail_setup.hpp"
#include "server/server.hpp"
#include "server/startup.hpp"
#include "server/window_text.hpp"

namespace fwk {

namespace {

// How long a second start waits for the running one to publish its URL.
constexpr int kInstanceUrlWaitMs = 2000;

// The host of the server's own URLs: the --listen address, or the loopback
// address when the server listens on every interface.
std::string url_host(const CommandLine& options) {
  return options.listen_address != 0 ? ipv4_text(options.listen_address) : "127.0.0.1";
}

// A URL of the running server (its address is set once it listens).
std::string own_url(const SiteContext& site, const std::string& path) {
  return local_url(site.address, path);
}

void print_logged_message(const char* message) {
  std::string text = status_message_for_console(message);
  if (!text.empty()) console_write(text);
}

std::string port_range_text(int first_port) {
  return "from " + std::to_string(first_port) + " to " +
         std::to_string(first_port + kListenAttempts - 1);
}

void open_url(const std::string& url, bool browser_allowed) {
  if (!browser_allowed || !browser_open(url)) console_write("Open " + url + " in a browser\n");
}

// Opens the site's URL of `path` (UTF-16, may be "": the home document) in
// the browser, or prints it when no browser can be started or browsers are
// turned off.
void open_browser(const Server& server, const std::u16string& path) {
  open_url(own_url(server.site, wide_to_ansi(path, 4 * path.size())), server.browser_allowed);
}

// A second start: say where the running server is, and open it.
void report_other_instance(const std::string& url, bool browser_allowed) {
  if (url.empty()) {
    console_write("Formwick is already running.\n");
    return;
  }
  console_write("Formwick is already running at " + url + "\n");
  if (browser_allowed) open_url(url, browser_allowed);
}

// The window's line about mail: what waits and the last delivery error.
std::string mail_status_text(const Courier& courier) {
  CourierStatus status = courier_status(courier);
  size_t waiting = outbox_list(courier.root).waiting.size();
  std::string text = "Mail: " + std::to_string(waiting) +
                     (waiting == 1 ? " message waits" : " messages wait") + " in the outbox\n";
  if (!status.last_error.empty()) text += "Last delivery error: " + status.last_error + "\n";
  return text;
}

// Where the tablets reach the server: every network address of the machine
// (or the one listened on) with the port.
std::string reach_text(const CommandLine& options, int port) {
  return network_reach_text(options.listen_address, port, ipv4_interface_addresses());
}

void show_about(const SiteContext& site, const Courier& courier, const CommandLine& options,
                bool listening) {
  std::string text = "About this program\n";
  text += std::string("Formwick web server, version ") + kProgramVersion + "\n";
  const char* device_id = plist_get(site.settings.get(), "DEVICEID", "");
  if (device_id[0] != '\0') text += std::string("Device: ") + device_id + "\n";
  text += "Server root: " + site.root + "\n";
  if (listening) text += "Address: " + own_url(site, "") + "\n" + reach_text(options, site.port);
  text += mail_status_text(courier);
  console_write(text);
}

// The console stands in for the window's message loop: it ends on "q" or a
// shut-down signal. Its survey list follows the server root: a survey
// added, changed or removed is listed again within a second.
void run_console(const Server& server, int shown_port) {
  const SiteContext& site = server.site;
  bool read_input = !server.options.headless && console_input_is_terminal();
  if (read_input) console_write(kConsoleHint);
  SurveyList surveys;
  surveys.root = site.root;
  survey_list_refresh(surveys);
  const std::string address = shown_port != 0 ? site.address : std::string();
  ConsoleInput input;
  std::string line;
  for (;;) {
    ConsoleEvent event = console_wait(server.signals, read_input, input, line,
                                      static_cast<int>(kSurveyRecheckMs));
    if (event == ConsoleEvent::shutdown) return;
    if (event == ConsoleEvent::tick) {
      if (survey_list_refresh(surveys))
        console_write("The surveys are now:\n" + survey_list_text(surveys.table, address));
      continue;
    }
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
        show_about(site, server.loop.courier, server.options, shown_port != 0);
        break;
      case ConsoleCommandKind::open_entry:
        survey_list_refresh(surveys);
        if (command.entry < survey_table_count(surveys.table)) {
          open_browser(server, surveys.table[command.entry].link);
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

// Why no port could be opened, and what to do.
std::string listen_failure_text(const Listener& listener, const CommandLine& options) {
  switch (listener.failure) {
    case ListenFailure::in_use:
      return "each is in use (by another program, or another server); choose others with --port";
    case ListenFailure::permission:
      return "this user may not open them; choose ports from 1024 with --port";
    case ListenFailure::not_local: {
      std::string text = ipv4_text(options.listen_address) +
                         " (--listen) is not an address of this machine; its addresses are";
      for (uint32_t address : ipv4_interface_addresses()) text += " " + ipv4_text(address);
      return text + " and 127.0.0.1";
    }
    case ListenFailure::none:
    case ListenFailure::other:
      break;
  }
  return "the system refused them";
}

// Opens the listener (with the unprivileged fallback), records its port and
// address in the site and sets the status text. False, with a message on
// standard error, when no port could be opened.
bool start_listening(Server& server) {
  SiteContext& site = server.site;
  const CommandLine& options = server.options;
  const int first_port = options.first_port;
  server.listener.bound_address = options.listen_address;
  bool fell_back = listener_open_with_fallback(server.listener, first_port);
  site.port = server.listener.port;
  site.address = url_host(options) + ":" + std::to_string(site.port);
  if (!server.listener.socket) {
    std::string ports = port_range_text(first_port);
    if (fell_back) ports += " nor " + port_range_text(kUnprivilegedFirstPort);
    console_write_error("fwkhttpd: could not listen on any port " + ports + ": " +
                        listen_failure_text(server.listener, options) + "\n");
    return false;
  }
  std::string host;
  if (!host_name(&host)) host.clear();
  if (host.size() > kHostNameLimit) host.resize(kHostNameLimit);
  std::string status =
      fell_back ? privileged_fallback_message(first_port, kUnprivilegedFirstPort) : std::string();
  status += running_message(host, site.port);
  status_text_set(site.log, status.c_str());
  return true;
}

// A second start cannot change the running server: says which of the
// options given on this command line it does not use.
void report_options_not_applied(const CommandLine& options, const InstanceInfo& running) {
  if (!options.root.empty() && !running.root.empty()) {
    std::string root = find_server_root(options.root);
    if (root != running.root) {
      console_write("--root " + options.root + " was not applied: the running server serves " +
                    running.root + "\n");
    }
  }
  if (options.port_given && running.first_port != 0 && options.first_port != running.first_port) {
    console_write("--port " + std::to_string(options.first_port) +
                  " was not applied: the running server was started with --port " +
                  std::to_string(running.first_port) + "\n");
  }
}

// Takes the single-instance lock. False when another instance runs (it has
// been reported then).
bool become_single_instance(Server& server) {
  InstanceInfo running;
  switch (instance_acquire(server.instance, running, kInstanceUrlWaitMs)) {
    case InstanceState::other_running:
      report_other_instance(running.url, server.browser_allowed);
      report_options_not_applied(server.options, running);
      return false;
    case InstanceState::unavailable:
      console_write_error(
          "fwkhttpd: warning: the single-instance lock file cannot be made; a second server "
          "will not be detected\n");
      return true;
    case InstanceState::acquired:
      return true;
  }
  return true;
}

// Sets the site's root and settings. False, with a message, when the root
// cannot be used.
bool set_up_server_root(Server& server) {
  SiteContext& site = server.site;
  std::string root = find_server_root(server.options.root);
  if (root.size() > kServerRootLimit) {
    console_write_error("fwkhttpd: the server root path is longer than " +
                        std::to_string(kServerRootLimit) + " bytes: " + root + "\n");
    return false;
  }
  if (!directory_readable(root)) {
    console_write_error("fwkhttpd: warning: the server root " + root +
                        " is not a readable directory\n");
  }
  site.root = root;
  server.surveys.root = root;
  // Temporary files left by a writer that was stopped before renaming them
  // (the single-instance lock says no other server of ours writes here).
  remove_abandoned_temporaries(site.root);
  site.settings = load_server_settings(site.root);
  server.private_files.root = root;
  return true;
}

// The stop order: the server thread first (a request or transmission in
// progress is finished), then the network, the settings and the program's
// registry value.
void stop_server(Server& server) {
  if (server.thread != nullptr) {
    if (thread_running(*server.thread)) server_loop_stop(server.loop);
    thread_wait(*server.thread);
  }
  listener_close(server.listener);
  status_log_set_observer(server.site.log, nullptr);
  server.site.settings.reset();
  tidy_user_registry();
}

// The site as the server serves it: its log, its record of private files,
// the server thread's view of the surveys, the loop's stop request, and
// what the forms engine learns of its data files, of dropped answers and of
// refused requests, which lasts as long as the server.
void wire_site(Server& server) {
  server.site.log = &server.log;
  server.site.private_files = &server.private_files;
  server.site.guesses = &server.guesses;
  server.site.verified_passwords = &server.verified_passwords;
  server.site.survey_list = &server.surveys;
  server.site.stop = &server.loop.stop;
  server.site.random_counter = &server.random_counter;
  server.site.session_index = std::make_shared<SessionIndex>();
  server.site.answer_drops = std::make_shared<AnswerDrops>();
  server.site.refusal_alerts = std::make_shared<RefusalAlerts>();
  server.site.refusal_alerts->interval_ms = refusal_alert_interval_ms();
}

// Starts the server thread on the loop. False, with a message, when the
// loop or the thread cannot be had.
bool start_serving(Server& server) {
  if (server_loop_open(server.loop)) {
    server.thread = thread_start(
        [&server] { return server_loop_run(server.loop, server.site, server.listener); });
  }
  if (!server.thread) console_write_error("fwkhttpd: the server thread could not be started\n");
  return server.thread != nullptr;
}

}  // namespace

bool root_option_usable(const CommandLine& options) {
  if (options.root.empty()) return true;
  std::string root = find_server_root(options.root);
  if (directory_readable(root)) return true;
  console_write_error("fwkhttpd: the server root given with --root, " + options.root +
                      ", is not a readable directory\n");
  return false;
}

int server_main(const CommandLine& options) {
  Server server;
  server.options = options;
  server.browser_allowed = !options.headless && !options.no_browser;
  wire_site(server);
  SiteContext& site = server.site;
  status_log_clear_next(site.log);
  server.signals = signals_install();
  // Before anything listens: the loop sizes its connection cap from it.
  file_limit_raise(kDescriptorCeiling);

  if (!become_single_instance(server)) return 0;
  if (!set_up_server_root(server)) {
    instance_release(server.instance);
    return 1;
  }
  std::string title = window_title(site.settings.get());
  site.surveys = build_survey_table(site.root);
  // What a crash in the middle of a save left: sessions with two live
  // records, counters below the responses stored.
  repair_data_files(site);

  bool listening = start_listening(server);
  int shown_port = listening ? site.port : 0;
  console_write(window_text(site.surveys, title, listening ? site.address : std::string(),
                            status_text_utf8(site.log),
                            listening ? reach_text(options, site.port) : std::string()));
  if (listening) {
    instance_publish(server.instance, {own_url(site, ""), site.root, options.first_port});
    if (server.browser_allowed) open_browser(server, u"");
  }

  status_log_set_observer(site.log, print_logged_message);
  courier_prepare(server.loop.courier, site, server.loop.stop);
  // A server that cannot serve has nothing to wait for: it stops at once
  // and says so in its exit code (the reason is on standard error).
  bool serving = listening && start_serving(server);
  int exit_code = 0;
  if (serving) {
    run_console(server, shown_port);
  } else {
    exit_code = 1;
  }
  stop_server(server);
  instance_release(server.instance);
  return exit_code;
}

}  // namespace fwk
