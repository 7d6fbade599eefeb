#include "forms/response_save.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "forms/session_index.hpp"
#include "core/headers.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "core/text_util.hpp"
#include "core/text_buffer.hpp"
#include "platform/file_info.hpp"
#include "platform/file_replace.hpp"
#include "store/record_query.hpp"
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

void count_response(const SiteContext& site, const char* form_name) {
  uint32_t count = static_cast<uint32_t>(response_count_read(site, form_name)) + 1;
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
      static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
  std::string path;
  path_join(site.root.c_str(), path, form_name, ".respcount");
  if (!file_replace_durably(path.c_str(), reinterpret_cast<const char*>(bytes), sizeof bytes)) {
    status_log(site_log(&site), "\nfwk: cannot write the response counter ");
    status_log(site_log(&site), path.c_str());
  }
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
    record.entries.emplace_back(*entry.name, entry.value ? *entry.value : std::string());
  });
  return record;
}

int mail_response(const SiteContext& site, const FormConfig& form, ParamList* request) {
  TextBuffer body = tbuf_new(1024);
  OutputSink sink;
  sink.text = &body;
  // The report template has a page's budget; a runaway one ends the mail
  // with the note instead of holding the server.
  PageBudget budget = page_budget_start(&sink, nullptr);
  sink.budget = &budget;
  FilePtr report(path_open_binary(site.root.c_str(), form.email_report.c_str()));
  if (report) {
    template_process_file(site, site.root.c_str(), &sink, report.get(), request, nullptr, nullptr,
                          0, nullptr);
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
  return mail_result_number(queue_mail(site, mail));
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
bool already_saved(const SiteContext& site, const FormConfig& form, const ParamList* request) {
  const char* session = plist_get(request, kSessionField, "");
  if (*session == '\0' || site.session_index == nullptr || form.data_path.empty()) return false;
  const std::string& path = form.data_path;
  int64_t position = session_index_live_record(*site.session_index, path.c_str(), session);
  if (position < 0) return false;
  ParamListPtr header;
  if (!datafile_open(path.c_str(), nullptr, &header, 0)) return false;
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
  return !stored.empty() && datafile_record_line(*header, fresh.get()) == stored;
}

void retire_session(const SiteContext& site, const std::string& path, const FileInfo& before,
                    const ParamList* request) {
  if (site.session_index != nullptr) {
    session_index_retire(*site.session_index, path.c_str(), before, request);
    return;
  }
  FilePtr file(file_open(path.c_str(), "r+b"));
  if (!file) return;
  ParamListPtr header = datafile_read_header(file.get(), 0);
  if (header != nullptr) session_retire_earlier(file.get(), header.get(), request);
}

// One index field, quoted as data-file fields are, so that no answer can
// end the line or shift the columns.
void append_index_field(std::string& line, const char* value) {
  line.push_back('"');
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c == '\r' || *c == '\n') continue;
    if (*c == '"') line.push_back('"');
    line.push_back(*c == '\t' ? ' ' : *c);
  }
  line.append("\"\t");
}

void write_index_line(const std::string& path, const ParamList* request, int64_t position) {
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
  datafile_append_line(path.c_str(), line);
}

int save_to_data_file(const SiteContext& site, const FormConfig& form, const ParamList* request) {
  const std::string& path = form.data_path;
  const FileInfo before = file_info(path.c_str());
  int64_t position = 0;
  int result = datafile_append_record(path.c_str(), request, &position);
  if (result != kStoreOk) {
    status_log(site_log(&site), "\nfwk: cannot write to ascii file ");
    status_log(site_log(&site), path.c_str());
    return result;
  }
  retire_session(site, path, before, request);
  if (position != 0 && !form.index_name.empty()) write_index_line(form.index_path, request, position);
  return kStoreOk;
}

int save_to_xml_file(const SiteContext& site, const FormConfig& form, const ParamList* request) {
  const std::string& path = form.xml_path;
  int result = path.empty() ? kStoreNotWritable : xml_append_transaction(request, path.c_str());
  if (result != 0) {
    status_log(site_log(&site), "\nfwk: cannot write to xml file ");
    status_log(site_log(&site), path.c_str());
  }
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

void write_error_text(OutputSink* sink, const FormConfig& form, int result) {
  if (result == kStoreHeaderUnreadable) {
    out_text(sink, "<P>Unable to open the data file for writing. ");
    out_text(sink, "You probably need to configure your server to allow writing to ");
    out_html(sink, form.data_name.empty() ? form.name.c_str() : form.data_name.c_str());
    out_text(sink, "</tt>");
  } else if (result == kStoreNotWritable) {
    out_text(sink, "<P>Unable to write to the database: ");
    out_html(sink, form.name.c_str());
  } else {
    out_printf(sink, "<P>Error %d occurred. Data were not saved.", result);
  }
}

void show_template(const SiteContext& site, OutputSink* sink, const std::string& name,
                   ParamList* request, int fill_fields) {
  FilePtr file(path_open_binary(site.root.c_str(), name.c_str()));
  if (file)
    template_process_file(site, site.root.c_str(), sink, file.get(), request, nullptr, nullptr,
                          fill_fields, nullptr);
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

int response_count_read(const SiteContext& site, const char* form_name) {
  FilePtr file(path_open_binary(site.root.c_str(), form_name, ".respcount"));
  unsigned char bytes[4] = {0, 0, 0, 0};
  if (!file || std::fread(bytes, 1, sizeof bytes, file.get()) != sizeof bytes) return 0;
  const uint32_t count = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(count);
}

int response_save(const SiteContext& site, const FormConfig& form, ParamList* request) {
  // The same submission again is answered as the first was: nothing more
  // is counted, mailed or stored.
  if (form.save_data && already_saved(site, form, request)) return 0;
  if (form.max_responses != 0) count_response(site, form.name.c_str());
  if (!form.log_date_time) {
    plist_rename(request, "HOST", "_HOST");
    plist_rename(request, "DATE", "_DATE");
    plist_rename(request, "TIME", "_TIME");
  }
  int result = 0;
  if (form.save_email) {
    result = mail_response(site, form, request);
    if (result != 0) return result;
  }
  if (form.save_data) {
    result = save_to_data_file(site, form, request);
    if (result != 0) return result;
  }
  if (form.save_xml) {
    result = save_to_xml_file(site, form, request);
    if (result != 0) return result;
  }
  return 0;
}

int session_retire_earlier(std::FILE* file, ParamList* header, const ParamList* request) {
  const char* session = plist_get(request, kSessionField, "");
  // Without a _SESSION column the criterion would match every record.
  if (*session == '\0' || plist_find(header, kSessionField) == nullptr) return 0;
  ParamListPtr criteria = plist_copy(nullptr, 1);
  plist_set(criteria.get(), kSessionField, session);
  int64_t start = 0;
  int64_t previous = -1;
  while (record_next_equal(file, header, criteria.get(), &start)) {
    if (previous >= 0) {
      const long here = std::ftell(file);
      if (std::fseek(file, static_cast<long>(previous), SEEK_SET) == 0) std::fputc('#', file);
      if (std::fseek(file, here, SEEK_SET) != 0) return 1;
    }
    previous = start;
  }
  return 0;
}

void save_result_page(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                      ParamList* request, int result, const char* http_host,
                      bool header_written) {
  if (result == 0 && form.show_redirect && !form.redirect.empty()) {
    const std::string target = redirect_target(site, form.redirect.c_str(), http_host);
    if (header_written) {
      write_redirect_page(sink, target);
    } else {
      write_headers(sink, ("Location: " + target + "\r\n\r\n").c_str());
    }
    return;
  }
  if (!header_written) write_headers(sink, nullptr);
  if (result != 0) {
    write_error_text(sink, form, result);
    return;
  }
  write_thank_you_page(site, sink, form, request);
}

}  // namespace fwk
