#include "http/dispatch.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "forms/form_request.hpp"
#include "records/list.hpp"
#include "core/results.hpp"
#include "core/stamp.hpp"
#include "core/status_log.hpp"
#include "http/file_server.hpp"
#include "http/listener.hpp"
#include "http/request.hpp"
#include "server/server_state.hpp"

namespace fwk {

namespace {

bool path_is(const char* path, const char* a, const char* b, const char* c) {
  return std::strcmp(path, a) == 0 || std::strcmp(path, b) == 0 || std::strcmp(path, c) == 0;
}

// The client's address (forwarded_client), 0 when there is no connection.
uint32_t client_of(const OutputSink* sink) {
  if (sink == nullptr || sink->connection == nullptr) return 0;
  return sink->connection->client_address;
}

int call_form_engine(const SiteContext& site, ParamList* request, OutputSink* sink) {
  const char* host = sink != nullptr && sink->connection != nullptr
                         ? sink->connection->requested_host.c_str()
                         : "";
  return form_handle_request(site, request, sink, host, client_of(sink));
}

int call_record_browser(const SiteContext& site, ParamList* request, OutputSink* sink) {
  return list_handle_request(site, request, sink, client_of(sink));
}

}  // namespace

void fill_request_header(const SiteContext& site, ParamList& request, const char* peer_host) {
  const char* device_id = plist_get(site.settings.get(), "DEVICEID", nullptr);
  std::string date, time;
  time_stamp(&date, &time);
  const char* values[kRequestReserved] = {device_id != nullptr ? device_id : peer_host,
                                          date.c_str(), time.c_str()};
  const char* names[kRequestReserved] = {"HOST", "DATE", "TIME"};
  for (size_t i = 0; i < kRequestReserved; ++i) {
    Pair* entry = plist_at(&request, i);
    if (!entry) return;
    pair_set_name(*entry, names[i]);
    pair_set_value(*entry, values[i]);
  }
}

namespace {

bool names_form_engine(const char* path) { return path_is(path, "fwk", "fwk.exe", "fwk.cgi"); }
bool names_record_browser(const char* path) { return path_is(path, "list", "list.exe", "list.cgi"); }

int call_handler(const SiteContext& site, const char* path, ParamList* request, OutputSink* sink) {
  if (names_form_engine(path)) return call_form_engine(site, request, sink);
  if (names_record_browser(path)) return call_record_browser(site, request, sink);
  return file_serve(site, path, request, sink);
}

// The path a split request line asks for, relative to the root and cut at
// "?" (the query goes to line.query): for "/" the HOME document, copied to
// `home` so that the setting itself is never cut.
char* requested_path(const SiteContext& site, RequestLine& line, std::string& home) {
  char* path = line.path;
  if (*path == '\0' && site.settings != nullptr) {
    home = plist_get(site.settings.get(), "HOME", "index.html");
    path = home.data();
  }
  line.query = split_query(path);
  return path;
}

// A file sent as it is: neither handler nor template reads the request's
// parameters for it.
bool path_is_plain_file(const char* path) {
  return !names_form_engine(path) && !names_record_browser(path) && !file_is_template(path);
}

}  // namespace

bool request_wants_plain_file(const SiteContext& site, std::string_view text) {
  std::string first_line(text.substr(0, text.find_first_of("\r\n")));
  RequestLine line = split_request_line(first_line.data());
  std::string home;
  return path_is_plain_file(requested_path(site, line, home));
}

int dispatch_path(const SiteContext& site, const char* path, ParamList* request, OutputSink* sink) {
  // Every request gets its own page budget, carried by its response sink
  // into templates, scripts and reports; it also ends when the server stops.
  PageBudget budget = page_budget_start(sink, &stop_flag);
  PageBudget* outer = sink->budget;
  sink->budget = &budget;
  int status = call_handler(site, path, request, sink);
  sink->budget = outer;
  if (budget_spent(&budget)) {
    std::string message =
        "\nThe page " + std::string(path) + " was cut short: " + budget_reason(budget.end);
    status_log(site.log, message.c_str());
  }
  return status;
}

int dispatch_request(const SiteContext& site, Connection& connection, std::string& text) {
  status_log_clear_next(site.log);
  connection.requested_host = request_header_value(text, "Host");
  connection.client_address =
      forwarded_client(connection.peer_address, request_header_value(text, "X-Forwarded-For"));
  RequestLine line = split_request_line(text.data());
  std::string home;
  char* path = requested_path(site, line, home);

  ParamListPtr request;
  char* parameters = path_is_plain_file(path) ? nullptr : find_parameter_text(line);
  if (parameters != nullptr) {
    request =
        parse_form_data(kRequestReserved, parameters, std::strlen(parameters), kRequestFreeSlots);
  }
  if (request != nullptr) {
    bool named_by_setting = plist_get(site.settings.get(), "DEVICEID", nullptr) != nullptr;
    fill_request_header(site, *request, named_by_setting ? "" : conn_peer_host(connection).c_str());
  }

  OutputSink sink;
  sink.connection = &connection;
  return dispatch_path(site, path, request.get(), &sink);
}

}  // namespace fwk
