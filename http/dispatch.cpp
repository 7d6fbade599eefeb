#include "http/dispatch.hpp"

#include <cstring>
#include <string>

#include "core/limits.hpp"
#include "core/stamp.hpp"
#include "core/status_log.hpp"
#include "forms/form_request.hpp"
#include "http/file_server.hpp"
#include "http/request.hpp"
#include "records/list.hpp"

namespace fwk {

namespace {

// The longest a request waits for its peer's host name; without an answer by
// then the name is "" (a late answer serves the next request).
constexpr int kPeerHostDeadlineMs = 250;

bool path_is(const std::string& path, const char* a, const char* b, const char* c) {
  return path == a || path == b || path == c;
}

bool names_form_engine(const std::string& path) {
  return path_is(path, "fwk", "fwk.exe", "fwk.cgi");
}
bool names_record_browser(const std::string& path) {
  return path_is(path, "list", "list.exe", "list.cgi");
}

HandlerResult call_handler(const SiteContext& site, const Request& request, OutputSink* sink) {
  if (names_form_engine(request.path)) return form_handle_request(site, request, sink);
  if (names_record_browser(request.path)) return list_handle_request(site, request, sink);
  return file_serve(site, request, sink);
}

// The peer's host name from a reverse lookup (at most kPeerHostLimit
// characters; "" when the lookup finds nothing or takes too long).
std::string peer_host(PeerNames& names, uint32_t peer_address) {
  std::string host;
  if (!peer_name_lookup(names, peer_address, kPeerHostDeadlineMs, &host)) host.clear();
  if (host.size() > kPeerHostLimit) host.resize(kPeerHostLimit);
  return host;
}

// Fills entries 0 to 2 of a request list: HOST (DEVICEID of the site's
// settings, else the peer's host name), DATE and TIME.
void fill_request_header(const SiteContext& site, PeerNames& names, uint32_t peer_address,
                         ParamList& params) {
  const char* device_id = plist_get(site.settings.get(), "DEVICEID", nullptr);
  const std::string host = device_id != nullptr ? device_id : peer_host(names, peer_address);
  std::string date, time;
  time_stamp(&date, &time);
  const char* values[kRequestReserved] = {host.c_str(), date.c_str(), time.c_str()};
  const char* names_of_entries[kRequestReserved] = {"HOST", "DATE", "TIME"};
  for (size_t i = 0; i < kRequestReserved; ++i) {
    Pair* entry = plist_at(&params, i);
    if (!entry) return;
    pair_set_name(*entry, names_of_entries[i]);
    pair_set_value(*entry, values[i]);
  }
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
bool path_is_plain_file(const std::string& path) {
  return !names_form_engine(path) && !names_record_browser(path) &&
         !file_is_template(path.c_str());
}

}  // namespace

bool request_wants_plain_file(const SiteContext& site, std::string_view text) {
  std::string first_line(text.substr(0, text.find_first_of("\r\n")));
  RequestLine line = split_request_line(first_line.data());
  std::string home;
  return path_is_plain_file(requested_path(site, line, home));
}

HandlerResult dispatch(const SiteContext& site, const Request& request, OutputSink* sink) {
  // Every request gets its own page budget, carried by its response sink
  // into templates, scripts and reports; it also ends when the server stops.
  PageBudget budget = page_budget_start(sink, site.stop);
  PageBudget* outer = sink->budget;
  sink->budget = &budget;
  HandlerResult result = call_handler(site, request, sink);
  sink->budget = outer;
  if (budget_spent(&budget)) {
    std::string message =
        "\nThe page " + request.path + " was cut short: " + budget_reason(budget.end);
    status_log(site.log, message.c_str());
  }
  return result;
}

HandlerResult dispatch_request(const SiteContext& site, PeerNames& names, std::string& text,
                               uint32_t peer_address, Connection& connection) {
  status_log_clear_next(site.log);
  Request request;
  request.host = request_header_value(text, "Host");
  request.peer_address = peer_address;
  request.client_address =
      forwarded_client(peer_address, request_header_value(text, "X-Forwarded-For"));
  const char* text_end = text.data() + text.size();
  RequestLine line = split_request_line(text.data());
  std::string home;
  char* path = requested_path(site, line, home);
  request.method = line.method;
  request.path = path;
  if (line.query != nullptr) request.query = line.query;
  const size_t body = request_body_start(line.rest, 0);
  if (body != std::string_view::npos) request.body = std::string_view(line.rest + body, text_end);

  // The parameters are decoded from a copy: the request keeps its texts. A
  // plain file reads none.
  ParamListPtr params;
  const char* parameters = path_is_plain_file(request.path) ? nullptr : find_parameter_text(line);
  if (parameters != nullptr) {
    std::string encoded = parameters;
    params = parse_form_data(kRequestReserved, encoded.data(), encoded.size(), kRequestFreeSlots);
  }
  if (params != nullptr) fill_request_header(site, names, peer_address, *params);
  request.params = params.get();

  OutputSink sink;
  sink.connection = &connection;
  return dispatch(site, request, &sink);
}

}  // namespace fwk
