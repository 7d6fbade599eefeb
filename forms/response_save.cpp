#include "forms/response_save.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "forms/form_log.hpp"
#include "forms/response_counter.hpp"
#include "forms/session_index.hpp"
#include "core/headers.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "core/text_util.hpp"
#include "core/text_buffer.hpp"
#include "platform/file_info.hpp"
#include "template/template.hpp"
#include "store/datafile.hpp"
#include "store/datafile_append.hpp"
#include "mail/mail_message.hpp"
#include "mail/outbox.hpp"
#include "mail/response_record.hpp"
#include "core/stamp.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "store/xml_transaction.hpp"

namespace fwk {

namespace {

constexpr const char* kSessionField = "_SESSION";
constexpr const char* kIndexPositionColumn = "_POS";
constexpr const char* kSubmissionSubject = "Formwick form submission report";

// "\nfwk: " and what failed, then the file, in the status log.
void log_failure(const SiteContext& site, const char* what, const std::string& file) {
  status_log(site_log(&site), ("\nfwk: " + std::string(what) + " " + file).c_str());
}

// Where a save keeps the response, and what else it writes once the
// response is stored there.
enum class PrimaryStore { none, data_file, outbox, xml_file };

struct SavePlan {
  bool data = false;
  bool mail = false;
  bool xml = false;
  bool count = false;
  PrimaryStore primary = PrimaryStore::none;
};

SavePlan save_plan(const FormConfig& form) {
  SavePlan plan;
  plan.data = form.save_data;
  plan.mail = form.save_email;
  plan.xml = form.save_xml;
  plan.count = form.max_responses != 0;
  plan.primary = plan.data   ? PrimaryStore::data_file
                 : plan.mail ? PrimaryStore::outbox
                 : plan.xml  ? PrimaryStore::xml_file
                             : PrimaryStore::none;
  return plan;
}

// A configuration that cannot work is refused before anything is stored:
// a mail without a relay, an XML file without a name.
HandlerResult configuration_fault(const SavePlan& plan, const FormConfig& form) {
  if (plan.mail && form.email_server.empty()) return save_failure(MailResult::no_relay);
  if (plan.xml && form.xml_name.empty()) return save_failure(StoreResult::not_writable);
  return HandlerResult::ok;
}

void write_default_mail_body(OutputSink* sink, const char* form_name, const ParamList* request) {
  out_text(sink, "Formwick web data from: ");
  out_text(sink, plist_get(request, "HOST", ""));
  out_text(sink, "\r\nX-DATABASE: ");
  out_text(sink, form_name);
  out_text(sink, "\r\n");
  // The whole list: every answer goes into the mail.
  plist_each(request, [&](const Pair& entry) {
    if (entry.name->empty() || (*entry.name)[0] == '_') return;
    out_text(sink, entry.name->c_str());
    out_text(sink, ": ");
    out_text(sink, entry.value ? entry.value->c_str() : "");
    out_text(sink, "\r\n");
  });
}

// The name the site's mail gives its device: DEVICEID of cgi.ini, else
// the machine's host name.
std::string device_name(const SiteContext& site) {
  const char* device_id = plist_get(site.settings.get(), "DEVICEID", "");
  if (*device_id != '\0') return device_id;
  std::string host;
  return host_name(&host) ? host : "";
}

// The response as the receiving side reads it: every answer in order,
// as the default mail body lists them, and when it was saved.
ResponseRecord response_record_of(const SiteContext& site, const FormConfig& form,
                                  const ParamList* request) {
  ResponseRecord record;
  record.form = form.name;
  record.session = plist_get(request, kSessionField, "");
  record.device = device_name(site);
  record.saved = utc_stamp_text(clock_unix_microseconds(), true);
  plist_each(request, [&](const Pair& entry) {
    if (entry.name->empty() || (*entry.name)[0] == '_') return;
    record.answers.emplace_back(*entry.name, entry.value ? *entry.value : std::string());
  });
  return record;
}

HandlerResult mail_response(const SiteContext& site, const FormConfig& form, ParamList* request) {
  TextBuffer body = tbuf_new(1024);
  OutputSink sink;
  sink.text = &body;
  // The report template has a page's budget; a runaway one ends the mail
  // with the note instead of holding the server.
  PageBudget budget = page_budget_start(&sink, nullptr);
  sink.budget = &budget;
  FilePtr report(path_open_binary(site.root.c_str(), form.email_report.c_str()));
  if (report) {
    TextInput input = input_from_file(report.get());
    template_process({.site = &site,
                      .base_path = site.root.c_str(),
                      .sink = &sink,
                      .input = &input,
                      .variables = request},
                     nullptr);
  } else {
    write_default_mail_body(&sink, form.name.c_str(), request);
  }
  std::string text = tbuf_to_text(body);
  const ResponseRecord record = response_record_of(site, form, request);
  MailRequest mail;
  mail.address = form.save_email_name;
  mail.subject = kSubmissionSubject;
  mail.body = text;
  mail.relay = form.email_server;
  mail.user = form.email_name;
  mail.form = form.name;
  mail.message_id = mail_derived_id(form.name, record.session, mail.address, kSubmissionSubject,
                                    text);
  mail.extra_headers = {{kResponseFormHeader, record.form, true},
                        {kResponseSessionHeader, record.session, true},
                        {kResponseDeviceHeader, record.device, true}};
  mail.attachment = {kResponseContentType, kResponseFileName, response_record_json(record)};
  return save_failure(queue_mail(site, mail));
}

// The line of a data file that starts at `position` (its line ending
// included); "" when it cannot be read.
std::string line_at(const std::string& path, int64_t position) {
  FilePtr file(file_open(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), static_cast<long>(position), SEEK_SET) != 0) return "";
  std::string line;
  int c;
  while ((c = std::fgetc(file.get())) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return line;
}

// True when the session's live record in the data file holds exactly the
// answers of this request: the same submission again (a double tap, or a
// browser retrying after a lost answer). The requester's host, date and
// time are no answers and are not compared.
// Where that record starts, or -1.
int64_t already_saved(const SiteContext& site, const FormConfig& form, const ParamList* request) {
  const char* session = plist_get(request, kSessionField, "");
  if (*session == '\0' || site.session_index == nullptr || form.data_path.empty()) return -1;
  const std::string& path = form.data_path;
  int64_t position = session_index_live_record(*site.session_index, path.c_str(), session);
  if (position < 0) return -1;
  ParamListPtr header;
  if (!datafile_open(path.c_str(), nullptr, &header, 0)) return -1;
  std::string stored = line_at(path, position);
  // The stored record's own host, date and time stand in for this request's.
  ParamListPtr fresh = plist_copy(request, 3);
  size_t at = 0;
  plist_each(header.get(), [&](const Pair& field) {
    size_t tab = stored.find('\t', at);
    std::string value = datafile_unquote(stored.substr(at, tab == std::string::npos ? 0 : tab - at));
    at = tab == std::string::npos ? stored.size() : tab + 1;
    for (const char* name : {"HOST", "DATE", "TIME"}) {
      if (text_compare_nocase_n(field.name->c_str(), name, 5) == 0) {
        plist_set(fresh.get(), name, value.c_str());
      }
    }
  });
  return !stored.empty() && datafile_record_line(*header, fresh.get()) == stored ? position : -1;
}

bool save_finished(const SiteContext& site, const FormConfig& form, const ParamList* request,
                 int64_t position) {
  return site.session_index != nullptr &&
         session_index_mailed(*site.session_index, form.data_path.c_str(),
                              plist_get(request, kSessionField, ""), position);
}

void note_finished(const SiteContext& site, const FormConfig& form, const ParamList* request,
                 int64_t position) {
  if (site.session_index != nullptr)
    session_index_note_mailed(*site.session_index, form.data_path.c_str(),
                              plist_get(request, kSessionField, ""), position);
}

// Retires the session's earlier records through the site's index (or, in
// a site without one, by reading the file once). A mark that could not be
// written leaves two live records, which the next save of the session or
// the repair at start-up retires; it is logged here.
Retirement retire_session(const SiteContext& site, const std::string& path, const FileInfo& before,
                          const ParamList* request) {
  SessionIndex once;
  SessionIndex& index = site.session_index != nullptr ? *site.session_index : once;
  Retirement retirement = session_index_retire(index, path.c_str(), before, request);
  if (!retirement.marked) log_failure(site, "cannot retire earlier records in", path);
  return retirement;
}

// One index field, quoted as data-file fields are, so that no answer can
// end the line or shift the columns: a line break (CR LF, LF or CR) or a
// TAB is one space.
void append_index_field(std::string& line, const char* value) {
  line.push_back('"');
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c == '\r' && c[1] == '\n') continue;
    if (*c == '"') line.push_back('"');
    line.push_back(*c == '\t' || *c == '\r' || *c == '\n' ? ' ' : *c);
  }
  line.append("\"\t");
}

void write_index_line(const SiteContext& site, const std::string& path, const ParamList* request,
                      int64_t position) {
  ParamListPtr header;
  if (!datafile_open(path.c_str(), nullptr, &header, 0)) return;
  std::string line;
  // The whole header: one field per column.
  plist_each(header.get(), [&](const Pair& column) {
    if (*column.name == kIndexPositionColumn) {
      line.append(std::to_string(position));
    } else {
      append_index_field(line, plist_get(request, column.name->c_str(), ""));
    }
  });
  line.push_back('\n');
  if (datafile_append_line(path.c_str(), line) != StoreResult::ok)
    log_failure(site, "cannot write to index file", path);
}

// Appends the record: the response is stored once this returns ok.
StoreResult store_record(const SiteContext& site, const FormConfig& form,
                         const ParamList* request, int64_t* position) {
  StoreResult result = datafile_append_record(form.data_path.c_str(), request, position);
  if (result != StoreResult::ok) log_data_file_failure(site, form, result);
  return result;
}

StoreResult save_to_xml_file(const SiteContext& site, const FormConfig& form,
                             const ParamList* request) {
  const std::string& path = form.xml_path;
  StoreResult result =
      path.empty() ? StoreResult::not_writable : xml_append_transaction(request, path.c_str());
  if (result != StoreResult::ok) log_xml_file_failure(site, form);
  return result;
}

// The request's Host header when it can stand in a Location header as it
// is: a host name or address and an optional port, nothing else.
bool host_header_usable(const char* host) {
  if (host == nullptr || *host == '\0' || std::strlen(host) > 255) return false;
  for (const char* c = host; *c != '\0'; ++c) {
    const bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                    (*c >= '0' && *c <= '9') || std::strchr(".-:[]", *c) != nullptr;
    if (!ok) return false;
  }
  return true;
}

std::string redirect_target(const SiteContext& site, const char* redirect, const char* http_host) {
  if (*redirect != '/') return redirect;
  std::string host;
  if (host_header_usable(http_host)) {
    host = http_host;
  } else if (!site.address.empty()) {
    host = site.address;
  } else {
    host = "127.0.0.1:" + std::to_string(site.port);
  }
  return "http://" + host + redirect;
}

// A redirect after the response header has gone out (the final save reached
// from NEXT): the browser is sent on from the page instead.
void write_redirect_page(OutputSink* sink, const std::string& target) {
  out_text(sink, "<html><head><meta http-equiv=\"refresh\" content=\"0; url=");
  out_html(sink, target.c_str());
  out_text(sink, "\"></head><body><A HREF=\"");
  out_html(sink, target.c_str());
  out_text(sink, "\">Click here to continue</A></body></html>\n");
}

void show_template(const SiteContext& site, OutputSink* sink, const std::string& name,
                   ParamList* request, int fill_fields) {
  FilePtr file(path_open_binary(site.root.c_str(), name.c_str()));
  if (!file) return;
  TextInput input = input_from_file(file.get());
  template_process({.site = &site,
                    .base_path = site.root.c_str(),
                    .sink = sink,
                    .input = &input,
                    .variables = request,
                    .fill_fields = fill_fields},
                   nullptr);
}

void write_thank_you_page(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                          ParamList* request) {
  out_text(sink, "<html>");
  out_text(sink, "<head><title>");
  out_text(sink, form.message.c_str());
  out_text(sink, "</title></head><body>");
  if (form.display_message)
    out_text(sink, form.message.empty() ? "<P>Thank you!" : form.message.c_str());
  if (form.display_form) {
    show_template(site, sink, form.form_template, request, 1);
  } else if (form.display_report) {
    show_template(site, sink, form.report, request, 0);
  }
  if (form.display_hotlink) {
    out_text(sink, "<HR><A HREF=\"");
    out_text(sink, form.hotlink.c_str());
    out_text(sink, "\">Click here to continue</A>\n");
  }
  out_text(sink, "</body></html>\n");
}

}  // namespace

void save_error_text(OutputSink* sink, const FormConfig& form, HandlerResult result) {
  if (result == save_failure(StoreResult::header_unreadable)) {
    out_text(sink, "<P>Unable to open the data file for writing. ");
    out_text(sink, "You probably need to configure your server to allow writing to ");
    out_html(sink, form.data_name.empty() ? form.name.c_str() : form.data_name.c_str());
    out_text(sink, "</tt>");
  } else if (result == save_failure(StoreResult::not_writable)) {
    out_text(sink, "<P>Unable to write to the database: ");
    out_html(sink, form.name.c_str());
  } else {
    out_printf(sink, "<P>Error %d occurred. Data were not saved.", result_number(result));
  }
}

// What follows the stored record: its mail, its index line, its XML
// transaction. A save repeated after a crash (its record stored, the rest
// perhaps not) runs this again; a finished one is noted, so that a double
// tap in the same run writes nothing more.
void finish_save(const SiteContext& site, const FormConfig& form, ParamList* request,
                 const SavePlan& plan, int64_t position) {
  if (plan.mail && plan.primary != PrimaryStore::outbox &&
      mail_response(site, form, request) != HandlerResult::ok)
    log_failure(site, "cannot queue the response mail of", form.name);
  if (plan.data && position != 0 && !form.index_name.empty())
    write_index_line(site, form.index_path, request, position);
  if (plan.xml && plan.primary != PrimaryStore::xml_file) save_to_xml_file(site, form, request);
  if (plan.data) note_finished(site, form, request, position);
}

// The order: the response is stored first (its record in the data file, or
// its mail for a form that only mails, or its XML transaction for a form
// that only writes XML), durably; a failure there stores nothing else.
// Only then are earlier records of the session retired, the response
// counted (once per response: a save that replaces the session's earlier
// record is the same response), mailed, indexed and written to the XML
// file; a failure of one of those is logged and the save still succeeds.
HandlerResult response_save(const SiteContext& site, const FormConfig& form, ParamList* request) {
  const SavePlan plan = save_plan(form);
  const HandlerResult fault = configuration_fault(plan, form);
  if (fault != HandlerResult::ok) return fault;
  // The same submission again (a double tap, or a browser retrying after a
  // lost answer) is answered as the first was: nothing more is stored or
  // counted. Its mail is queued only when this run of the server has not
  // queued it: a save cut off by a crash between its record and its mail
  // is mailed when the respondent saves again.
  const int64_t saved_at = plan.data ? already_saved(site, form, request) : -1;
  if (saved_at >= 0) {
    if (!save_finished(site, form, request, saved_at))
      finish_save(site, form, request, plan, saved_at);
    return HandlerResult::ok;
  }
  if (!form.log_date_time) {
    plist_rename(request, "HOST", "_HOST");
    plist_rename(request, "DATE", "_DATE");
    plist_rename(request, "TIME", "_TIME");
  }
  int64_t position = 0;
  bool replaced_earlier = false;
  if (plan.primary == PrimaryStore::data_file) {
    const std::string& path = form.data_path;
    const FileInfo before = file_info(path.c_str());
    const StoreResult result = store_record(site, form, request, &position);
    if (result != StoreResult::ok) return save_failure(result);
    replaced_earlier = retire_session(site, path, before, request).earlier > 0;
    note_dropped_answers(site, form, request);
  } else if (plan.primary == PrimaryStore::outbox) {
    const HandlerResult result = mail_response(site, form, request);
    if (result != HandlerResult::ok) return result;
  } else if (plan.primary == PrimaryStore::xml_file) {
    const StoreResult result = save_to_xml_file(site, form, request);
    if (result != StoreResult::ok) return save_failure(result);
  }

  const char* form_name = form.name.c_str();
  if (plan.count && !replaced_earlier)
    response_count_write(site, form_name, response_count_read(site, form_name) + 1);
  finish_save(site, form, request, plan, position);
  return HandlerResult::ok;
}

void save_result_page(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                      ParamList* request, HandlerResult result, const char* http_host,
                      bool header_written) {
  if (result == HandlerResult::ok && form.show_redirect && !form.redirect.empty()) {
    const std::string target = redirect_target(site, form.redirect.c_str(), http_host);
    if (header_written) {
      write_redirect_page(sink, target);
    } else {
      write_headers(sink, ("Location: " + target + "\r\n\r\n").c_str());
    }
    return;
  }
  if (!header_written) write_headers(sink, nullptr);
  if (result != HandlerResult::ok) {
    save_error_text(sink, form, result);
    return;
  }
  write_thank_you_page(site, sink, form, request);
}

}  // namespace fwk
