// Serving a record browser request: the parameters, the access check, the
// form's configuration, the command and the data file.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>

#include "forms/access.hpp"
#include "records/list.hpp"
#include "records/list_errors.hpp"
#include "core/headers.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/results.hpp"
#include "core/status_log.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

// Where the error lines say they come from.
constexpr const char* kErrorPlace = "Z:\\cgi\\list";

// Numbers beyond this are read as this: row and line arithmetic on them
// cannot overflow.
constexpr int64_t kNumberLimit = INT64_C(1) << 60;

// The standard decimal reading of a text's leading digits (after blanks and
// an optional sign); text without digits reads as 0. Saturates at the limit.
int64_t read_decimal(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t n = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (n >= kNumberLimit / 10) return negative ? -kNumberLimit : kNumberLimit;
    n = n * 10 + (*text - '0');
  }
  return negative ? -n : n;
}

// A positive number, or `fallback` for an absent, non-numeric, zero or
// negative text.
int64_t read_positive(const char* text, int64_t fallback) {
  int64_t n = read_decimal(text);
  return n > 0 ? n : fallback;
}

struct ListRequest {
  const char* form;
  const char* password;
  const char* action;
  const char* query;
  int64_t count;
  int64_t start;
  int64_t row;
};

ListRequest read_list_request(const ParamList* request) {
  ListRequest r;
  r.form = plist_get(request, "DATABASE", "");
  r.password = plist_get(request, "_PASSWORD", "");
  r.action = plist_get(request, "_ACTION", "");
  r.query = plist_get(request, "_QUERY", "");
  r.count =
      std::min(read_positive(plist_get(request, "_COUNT", ""), kListDefaultCount), kListMaxCount);
  r.start = read_positive(plist_get(request, "_START", ""), 0);
  r.row = read_decimal(plist_get(request, "_ROWID", ""));
  return r;
}

enum class Command { view, list, exporting, unknown };

Command read_command(const char* action) {
  if (text_compare_nocase_n(action, "VIEW", 4) == 0) return Command::view;
  if (text_compare_nocase_n(action, "LIST", 4) == 0) return Command::list;
  if (text_compare_nocase_n(action, "EXPO", 4) == 0) return Command::exporting;
  return Command::unknown;
}

int show_record(OutputSink* sink, std::FILE* file, ParamList* header, const ListRequest& r) {
  if (r.row < 1) return kHandlerOk;
  datafile_seek_row(file, static_cast<long>(r.row - 1));
  int kind = kRecordEmpty;
  if (!datafile_read_record(file, header, &kind)) {
    out_printf(sink, "Row (%" PRId64 ") does not exist in the database.", r.row);
    return kHandlerRowMissing;
  }
  view_page(sink, header, r.form, r.row, r.password, kind == kRecordMarked);
  return kHandlerOk;
}

}  // namespace

void list_report_error(const SiteContext& site, OutputSink* sink, int code, int line,
                       const char* what, const char* subject, const char* suffix) {
  std::string log =
      std::string("\n") + kErrorPlace + ": " + what + " (%s" + suffix + ")\t" + subject;
  status_log(site.log, log.c_str());
  out_printf(sink, "Error %i in %s@%d: %s (", code, kErrorPlace, line, what);
  out_html(sink, subject);
  out_text(sink, suffix);
  out_text(sink, ")");
}

// Every page starts with the default headers; an export writes its own
// once it knows that it can be made.
int list_handle_request(const SiteContext& site, ParamList* request, OutputSink* sink) {
  ListRequest r = read_list_request(request);
  const FormConfig form = form_config_read(site.root, r.form);
  int rights = access_rights(site, "", form, r.password);
  if (!*r.action || !*r.form || !(rights & 1)) {
    write_headers(sink, nullptr);
    list_start_page(sink, r.form, r.password);
    return kHandlerOk;
  }

  if (!form.database) {
    write_headers(sink, nullptr);
    out_html(sink, site.root.c_str());
    out_text(sink,
             ": A configuration file was not found. Please check your server setup and try "
             "again.<P>\n");
    list_start_page(sink, r.form, r.password);
    list_report_error(site, sink, kHandlerNoConfig, 90, "Cannot access file", r.form, ".ini");
    return kHandlerNoConfig;
  }

  const std::string& data_path = form.data_path;
  Command command = read_command(r.action);
  if (command == Command::exporting) {
    return list_export(site, sink, r.form, data_path.c_str(), plist_get(request, "_FORMAT", ""),
                       r.query, read_decimal(plist_get(request, "_ALL", "")) == 1);
  }
  write_headers(sink, nullptr);
  if (command == Command::unknown) {
    list_report_error(site, sink, kHandlerUnknownCommand, 110, "Invalid command", r.action);
    return kHandlerUnknownCommand;
  }

  std::FILE* file = nullptr;
  ParamListPtr header;
  if (!datafile_open(data_path.c_str(), &file, &header, 0)) {
    list_report_error(site, sink, kHandlerNoDataFile, 114, "Unable to open the table",
                      data_path.c_str());
    return kHandlerNoDataFile;
  }

  int result = kHandlerOk;
  if (command == Command::list) {
    list_page(sink, file, header.get(), r.form, r.query, r.password, r.count, r.start);
  } else {
    result = show_record(sink, file, header.get(), r);
  }
  datafile_close(file, std::move(header));
  return result;
}

}  // namespace fwk
