#include "forms/login.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/ini.hpp"
#include "core/list_text.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "core/text_util.hpp"
#include "store/datafile.hpp"
#include "store/record_query.hpp"

namespace fwk {
namespace {

// Free slots after the columns of a resumed record, so that it can stand in
// for the request list (which the engine and page scripts add to).
constexpr std::size_t kResumeSpare = 64;
constexpr const char* kSequenceSeparators = " ;,";

// The ID field names of the form, login first.
ParamListPtr id_field_names(const FormConfig& form) {
  return kv_parse_text(form.id_fields.c_str(), ',', 0);
}

// The request's value for every ID field; none when all of them are empty
// (such a respondent never matches a record).
ParamListPtr id_criteria(const FormConfig& form, const ParamList* request) {
  ParamListPtr names = id_field_names(form);
  ParamListPtr criteria = plist_copy(nullptr, plist_used_count(names.get()));
  bool any = false;
  plist_each_in_first_block(names.get(), [&](const Pair& entry) {
    const char* value = plist_get(request, entry.name->c_str(), "");
    any = any || *value;
    plist_set(criteria.get(), entry.name->c_str(), value);
  });
  return any ? std::move(criteria) : nullptr;
}

// True when every criterion that names a column of the record holds the
// record's value (letter case counting; a missing value counts as "").
bool ids_match(const ParamList* record, const ParamList* criteria) {
  return plist_each(criteria, [record](const Pair& criterion) {
    if (criterion.name->empty()) return true;
    const Pair* field = plist_find(record, criterion.name->c_str());
    if (!field) return true;
    return field->value.value_or("") == criterion.value.value_or("");
  });
}

using RecordValues = std::vector<std::optional<std::string>>;

RecordValues values_of(const ParamList* record) {
  RecordValues values;
  plist_each_in_first_block(record,
                            [&values](const Pair& entry) { values.push_back(entry.value); });
  return values;
}

void restore_values(ParamList* record, const RecordValues& values) {
  std::size_t i = 0;
  plist_each_in_first_block(record, [&](Pair& entry) {
    if (i < values.size()) entry.value = values[i++];
  });
}

// The criterion of the login alone (the first ID field).
ParamListPtr login_criterion(const ParamList* criteria) {
  ParamListPtr login = plist_copy(nullptr, 1);
  bool taken = false;
  plist_each_in_first_block(criteria, [&](const Pair& entry) {
    if (taken || entry.name->empty()) return;
    plist_set(login.get(), entry.name->c_str(), entry.value.value_or("").c_str());
    taken = true;
  });
  return login;
}

// Reads the rest of the file and leaves the latest record matching the
// criteria in `record`. False when none matches; then *login_seen tells
// whether a record matched the login alone.
bool scan_for_latest(std::FILE* file, ParamList* record, const ParamList* criteria,
                     bool* login_seen) {
  RecordValues latest;
  bool found = false;
  ParamListPtr login = login_criterion(criteria);
  while (record_next_equal(file, record, login.get(), nullptr)) {
    if (!ids_match(record, criteria)) {
      *login_seen = true;
      continue;
    }
    latest = values_of(record);
    found = true;
  }
  if (found) restore_values(record, latest);
  return found;
}

// True when `pos` is the start of a line of the file.
bool at_line_start(std::FILE* file, int64_t pos) {
  if (pos < 1 || std::fseek(file, static_cast<long>(pos - 1), SEEK_SET) != 0) return false;
  return std::fgetc(file) == '\n';
}

// The record the index file names for the respondent, read into `record`.
// The index's latest matching line counts; its _POS must be the start of a
// live record of the data file with the same ID values, else (a stale or
// hand-edited index) the caller scans the data file instead.
bool read_through_index(const std::string& index_path, std::FILE* data, ParamList* record,
                        const ParamList* criteria) {
  FilePtr index;
  ParamListPtr columns;
  if (index_path.empty() || !datafile_open(index_path.c_str(), &index, &columns, 0)) return false;
  int64_t pos = 0;
  while (record_next_equal(index.get(), columns.get(), criteria, nullptr)) {
    pos = std::strtoll(plist_get(columns.get(), "_POS", "0"), nullptr, 10);
  }
  if (!at_line_start(data, pos)) return false;
  int kind = kRecordPlain;
  return datafile_read_record(data, record, &kind) && kind == kRecordPlain &&
         ids_match(record, criteria);
}

// The lookup method "ASC": the form's data file, through its index when
// one is configured.
ParamListPtr data_file_lookup(const FormConfig& form, const ParamList* criteria,
                              bool* login_seen) {
  const std::string& path = form.data_path;
  FilePtr file;
  ParamListPtr record;
  if (path.empty() || !datafile_open(path.c_str(), &file, &record, kResumeSpare)) return nullptr;
  bool found = read_through_index(form.index_path, file.get(), record.get(), criteria);
  if (!found) {
    datafile_seek_row(file.get(), -1);
    found = scan_for_latest(file.get(), record.get(), criteria, login_seen);
  }
  return found ? std::move(record) : nullptr;
}

void log_unknown_methods(const SiteContext& site, const char* form_name, const std::string& words) {
  std::string message = std::string("\nfwk: ") + form_name +
                        ": LOGINSEQUENCE names no lookup method called " + words +
                        " (only ASC is known); passed over";
  status_log(site.log, message.c_str());
}

void write_id_input(OutputSink* sink, const char* name, const ParamList* request) {
  out_html(sink, name);
  out_text(sink, "\" VALUE=\"");
  out_html(sink, plist_get(request, name, ""));
  out_text(sink, "\" />\n<br>");
}

void write_start_form(OutputSink* sink, const char* form_name) {
  out_text(sink, "<H3>Start</H3>");
  out_text(sink, "<FORM ACTION=\"/fwk\" METHOD=\"POST\" ACCEPT-CHARSET=\"UTF-8\">\n");
  out_text(sink, "<INPUT TYPE=\"HIDDEN\" NAME=\"_ACTION\" VALUE=\"START\" />\n");
  out_text(sink, "<INPUT TYPE=\"HIDDEN\" NAME=\"DATABASE\" VALUE=\"");
  out_html(sink, form_name);
  out_text(sink, "\" />\n");
  out_text(sink, "<INPUT TYPE=\"SUBMIT\" VALUE=\"  Start Survey  \" /></FORM>");
}

// The login form: the first ID field as the login, the others as password
// fields, leaving out those the data file (when its header was read) has
// no column for.
void write_login_form(OutputSink* sink, const FormConfig& form, const ParamList* request,
                      const ParamList* columns) {
  const char* form_name = form.name.c_str();
  out_text(sink, "<H3>Please enter your login and password</H3>");
  out_text(sink, "<FORM ACTION=\"/fwk\" METHOD=\"POST\" ACCEPT-CHARSET=\"UTF-8\">\n");
  out_text(sink, "<INPUT TYPE=\"HIDDEN\" NAME=\"_ACTION\" VALUE=\"START\" />\n");
  out_text(sink, "<INPUT TYPE=\"HIDDEN\" NAME=\"DATABASE\" VALUE=\"");
  out_html(sink, form_name);
  out_text(sink, "\" />\n<tt>");
  ParamListPtr names = id_field_names(form);
  int position = 0;
  plist_each_in_first_block(names.get(), [&](const Pair& entry) {
    const char* name = entry.name->c_str();
    int i = position++;
    if (i == 0) {
      out_text(sink, "<label for=\"N\">Login:</label>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</tt>");
      out_text(sink, "<INPUT ID=\"N\" NAME=\"");
    } else if (columns && !plist_find(columns, name)) {
      return;
    } else if (i == 1) {
      out_text(sink, "<tt><label for=\"P\">Password:</label>&nbsp;");
      out_text(sink, "</tt><INPUT ID=\"P\" TYPE=\"PASSWORD\" NAME=\"");
    } else {
      out_printf(sink, "<tt><label for=\"P%d\">Password%d:</label>&nbsp;", i, i);
      out_printf(sink, "</tt><INPUT ID=\"P%d\" TYPE=\"PASSWORD\" NAME=\"", i);
    }
    write_id_input(sink, name, request);
  });
  out_text(sink, "<INPUT TYPE=\"SUBMIT\" VALUE=\"  Login to the survey  \" /></FORM></BODY>");
}

}  // namespace

ParamListPtr earlier_record_find(const SiteContext& site, const FormConfig& form,
                                 const ParamList* request, bool* login_refused) {
  ParamListPtr criteria = id_criteria(form, request);
  bool login_seen = false;
  const std::string& sequence = form.login_sequence;
  std::string unknown;
  ParamListPtr found;
  std::size_t at = 0;
  while (!found) {
    at = sequence.find_first_not_of(kSequenceSeparators, at);
    if (at == std::string::npos) break;
    std::size_t end = sequence.find_first_of(kSequenceSeparators, at);
    if (end == std::string::npos) end = sequence.size();
    std::string word = sequence.substr(at, end - at);
    at = end;
    if (text_compare_nocase(word.c_str(), "ASC") != 0) {
      unknown += unknown.empty() ? word : " " + word;
    } else if (criteria) {
      found = data_file_lookup(form, criteria.get(), &login_seen);
    }
  }
  if (!unknown.empty()) log_unknown_methods(site, form.name.c_str(), unknown);
  if (login_refused != nullptr) *login_refused = !found && login_seen;
  return found;
}

void login_page(OutputSink* sink, int rights, const FormConfig& form, const ParamList* request) {
  const std::string& path = form.data_path;
  ParamListPtr columns;
  bool readable = !path.empty() && datafile_open(path.c_str(), nullptr, &columns, 0);
  if (!readable && list_contains_nocase(form.login_sequence.c_str(), "ASC")) {
    out_text(sink, "<head><title>Setup error</title></head>\n\n<BODY>\n");
    out_text(sink, "Sorry, I can't access the data file. Check the read/write permissions.");
    return;
  }
  out_text(sink, "<head><title>Login</title></head>\n\n<BODY>\n");
  if (rights & 4) write_start_form(sink, form.name.c_str());
  write_login_form(sink, form, request, columns.get());
}

}  // namespace fwk
