#include "server/dispatch.hpp"

#include <cstring>
#include <string>

#include "core/stamp.hpp"
#include "core/status_log.hpp"
#include "server/file_server.hpp"
#include "server/listener.hpp"
#include "server/request.hpp"
#include "server/server_state.hpp"

namespace fwk {

namespace {

bool path_is(const char* path, const char* a, const char* b, const char* c) {
  return std::strcmp(path, a) == 0 || std::strcmp(path, b) == 0 || std::strcmp(path, c) == 0;
}

// The forms engine and the record browser are not part of this program yet:
// their paths answer "not found" until they are linked in here.
int engine_not_available(ParamList*, OutputSink*) {
  return -1;
}

int call_form_engine(ParamList* request, OutputSink* sink) {
  return engine_not_available(request, sink);
}

int call_record_browser(ParamList* request, OutputSink* sink) {
  return engine_not_available(request, sink);
}

}  // namespace

void fill_request_header(ParamList& request, const char* peer_host) {
  const char* device_id = plist_get(server_settings.get(), "DEVICEID", nullptr);
  std::string date, time;
  time_stamp(&date, &time);
  request.entries[0].name = text_dup("HOST");
  request.entries[0].value = text_dup(device_id != nullptr ? device_id : peer_host);
  request.entries[1].name = text_dup("DATE");
  request.entries[1].value = std::move(date);
  request.entries[2].name = text_dup("TIME");
  request.entries[2].value = std::move(time);
}

namespace {

int call_handler(const char* path, ParamList* request, OutputSink* sink) {
  if (path_is(path, "fwk", "fwk.exe", "fwk.cgi")) return call_form_engine(request, sink);
  if (path_is(path, "list", "list.exe", "list.cgi")) return call_record_browser(request, sink);
  return file_serve(path, request, sink);
}

}  // namespace

int dispatch_path(const char* path, ParamList* request, OutputSink* sink) {
  // Every request gets its own page budget, carried by its response sink
  // into templates, scripts and reports; it also ends when the server stops.
  PageBudget budget = page_budget_start(sink, &stop_flag);
  PageBudget* outer = sink->budget;
  sink->budget = &budget;
  int status = call_handler(path, request, sink);
  sink->budget = outer;
  if (budget_spent(&budget)) {
    std::string message =
        "\nThe page " + std::string(path) + " was cut short: " + budget_reason(budget.end);
    status_log(message.c_str());
  }
  return status;
}

int dispatch_request(Connection& connection, std::string& text) {
  status_log_clear_next();
  RequestLine line = split_request_line(text.data());
  // The HOME document for "/": a copy, so the setting itself is never cut.
  std::string home;
  char* path = line.path;
  if (*path == '\0' && server_settings != nullptr) {
    home = plist_get(server_settings.get(), "HOME", "index.html");
    path = home.data();
  }
  line.query = split_query(path);

  ParamListPtr request;
  if (char* parameters = find_parameter_text(line)) {
    request =
        parse_form_data(kRequestReserved, parameters, std::strlen(parameters), kRequestFreeSlots);
  }
  if (request != nullptr) {
    bool named_by_setting = plist_get(server_settings.get(), "DEVICEID", nullptr) != nullptr;
    fill_request_header(*request, named_by_setting ? "" : conn_peer_host(connection).c_str());
  }

  OutputSink sink;
  sink.connection = &connection;
  return dispatch_path(path, request.get(), &sink);
}

}  // namespace fwk
