#include "forms/form_request.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "forms/access.hpp"
#include "core/ascii.hpp"
#include "forms/login.hpp"
#include "forms/page_nav.hpp"
#include "forms/page_script.hpp"
#include "forms/page_show.hpp"
#include "forms/refusal_alerts.hpp"
#include "forms/response_counter.hpp"
#include "forms/response_save.hpp"
#include "forms/start_page.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/stamp.hpp"
#include "forms/form_log.hpp"
#include "core/text_buffer.hpp"
#include "template/template.hpp"

namespace fwk {

namespace {

// Longest DATABASE, _PASSWORD, _ACTION or _PAGE accepted.
constexpr size_t kParamLimit = 128;
// Shortest page name.
constexpr size_t kPageNameMin = 5;
// Password-file words keep at most this many characters.
constexpr size_t kPasswordWordArea = 128;

constexpr const char* kForbiddenNameChars = "/.\\*?$|'\"";

bool action_is(const FormState& state, const char* word) {
  return text_compare_nocase(state.action.c_str(), word) == 0;
}

void write_config_missing(const SiteContext& site, OutputSink* sink, const char* form_name) {
  write_headers(sink, nullptr);
  start_page(sink);
  out_html(sink, site.root.c_str());
  out_text(sink, ": A configuration file for the database \"<b>");
  out_html(sink, form_name);
  out_text(sink,
           "</b>\" was not found. Please check your spelling and server setup and try "
           "again.<P>\n");
  out_text(sink, "Cannot access file (");
  out_html(sink, form_name);
  out_text(sink, ".ini)");
  log_config_missing(site, form_name);
  out_printf(sink, "Error %i in %s@%d: ", kFormConfigMissing, "Z:\\cgi\\fwk", 1928);
  out_text(sink, "Cannot access file (");
  out_html(sink, form_name);
  out_text(sink, ".ini)");
}

// True when `id` is one of the words of the password file (any letter
// case). Words are separated by spaces, tabs and line ends; the last word
// counts whether or not a line end follows it.
bool password_file_admits(const std::string& path, const char* id) {
  FilePtr file(file_open(path.c_str(), "rb"));
  if (!file) return false;
  std::string word;
  for (;;) {
    int delimiter = file_read_token(file.get(), &word, kPasswordWordArea, " \t\r\n", 0);
    if (!word.empty() && text_compare_nocase(word.c_str(), id) == 0) return true;
    if (delimiter < 0) return false;
  }
}

// Shows the form's template filled from `values`; says in the status log
// when it cannot be opened (the page only gets the error note).
int show_form_template(FormState& state, const std::string& name, ParamList* values) {
  int result = form_template_show(*state.site, state.sink, name.c_str(), values);
  if (result == kPageMissing && name.empty()) {
    log_template_missing(*state.site, state.form->name, "FORM is not set", state.site->root);
  } else if (result == kPageMissing) {
    // form_template_show adds ".html" to a name without that extension.
    const bool html = text_ends_nocase(name, ".html") || text_ends_nocase(name, ".htm");
    std::string tried;
    path_join(state.site->root.c_str(), tried, name.c_str(), html ? nullptr : ".html");
    log_template_missing(*state.site, state.form->name,
                         name == state.form->form_template ? "FORM=" + name : "named like the form",
                         tried);
  }
  return result;
}

// Shows the first page of a new response (multi-page) or the form template.
int show_new_response(FormState& state) {
  const FormConfig& form = *state.form;
  if (form.multipage) {
    state.page = form.start_page;
    return page_show(*state.site, state.sink, form.name.c_str(), state.request, "", state.page);
  }
  return show_form_template(state, form.form_template, state.request);
}

// Resumes an earlier record: its fields take the place of the request.
int show_resumed_response(FormState& state, ParamList* record) {
  const FormConfig& form = *state.form;
  if (form.multipage) {
    state.page = plist_get(record, "_PAGE", form.start_page.c_str());
    const std::string back_list = plist_get(record, "_PAGEBACK", "");
    return page_show(*state.site, state.sink, form.name.c_str(), record, back_list.c_str(),
                     state.page);
  }
  return show_form_template(state, form.form_template, record);
}

int refuse_with_login(FormState& state, int kind) {
  permission_denied_page(state.sink, state.request, state.form->name.c_str(),
                         state.action.c_str(), kind);
  login_page(state.sink, state.rights, *state.form, state.request);
  return kAccessDenied;
}

int new_response(FormState& state) {
  if (state.rights & kRightAppend) return show_new_response(state);
  return refuse_with_login(state, kRightAppend);
}

int start_decision(FormState& state) {
  form_write_header(state);
  if (!state.form->has_uid) return show_new_response(state);
  if (!state.id_present) {
    if (action_is(state, "START") && (state.rights & kRightAppend)) return new_response(state);
    login_page(state.sink, state.rights, *state.form, state.request);
    return 0;
  }
  ParamListPtr record = earlier_record_find(*state.site, *state.form, state.request);
  if (record == nullptr) return new_response(state);
  if (state.rights & kRightUpdate) return show_resumed_response(state, record.get());
  return refuse_with_login(state, kRightUpdate);
}

int report_action(FormState& state) {
  if (!(state.rights & kRightReport)) {
    form_write_header(state);
    return permission_denied_page(state.sink, state.request, state.form->name.c_str(),
                                  state.action.c_str(), kRightReport);
  }
  const std::string& name = state.form->report_action;
  FilePtr file(path_open_binary(state.site->root.c_str(), name.c_str()));
  if (!file) {
    // The page stays empty, as it always has; the operator learns why.
    std::string tried;
    if (!name.empty() && path_join(state.site->root.c_str(), tried, name.c_str()))
      log_template_missing(*state.site, state.form->name, "REPORT2=" + name, tried);
    return 0;
  }
  form_write_header(state);
  template_process_file(*state.site, state.site->root.c_str(), state.sink, file.get(),
                        state.request, nullptr, nullptr, 0, nullptr);
  return 0;
}

int run_action(FormState& state) {
  if (action_is(state, "REPORT")) return report_action(state);
  if (state.action.empty() || action_is(state, "START")) return start_decision(state);
  if (action_is(state, "NEXT")) return state.form->multipage ? page_next(state) : 0;
  if (action_is(state, "BACK")) return state.form->multipage ? page_back(state) : 0;
  if (action_is(state, "SAVE") || action_is(state, "SUBMIT")) return form_final_save(state);
  return 0;
}

// A limit or password message: a redirect when it is an address, else the
// page's body.
void write_message(FormState& state, const char* message) {
  if (text_compare_nocase_n(message, "http://", 7) == 0 ||
      text_compare_nocase_n(message, "https://", 8) == 0) {
    form_write_header(state, ("Location: " + std::string(message) + "\n\n").c_str());
    return;
  }
  form_write_header(state);
  out_text(state.sink, message);
}

// A refused request, for the form's ADMINEMAIL: summed up with the other
// refusals of the form, so that a flood of them sends one alert per interval.
void note_refusal(const FormState& state, int result) {
  const FormConfig& form = *state.form;
  if (form.admin_email.empty()) return;
  Refusal refusal;
  refusal.form = form.name.c_str();
  refusal.address = form.admin_email.c_str();
  refusal.route = form_mail_route(form);
  refusal.host = plist_get(state.request, "HOST", "");
  refusal.action = state.action.c_str();
  refusal.code = result;
  RefusalAlerts unowned;
  RefusalAlerts& alerts =
      state.site->refusal_alerts != nullptr ? *state.site->refusal_alerts : unowned;
  refusal_note(alerts, *state.site, refusal);
}

// Step 2: the checks that need the configuration. 0 when the request may
// go on, else the result, with the message to show.
int check_limits(FormState& state, const char** message) {
  const FormConfig& form = *state.form;
  if (form.max_responses != 0 &&
      response_count_read(*state.site, form.name.c_str()) >= form.max_responses) {
    *message = form.max_message.c_str();
    return kFormLimitReached;
  }
  if (!form.password_path.empty()) {
    const char* id = plist_get(state.request, form.id_field.c_str(), "");
    if (*id == '\0' || !password_file_admits(form.password_path, id)) {
      *message = form.password_message.c_str();
      return kFormBadPassword;
    }
  }
  return 0;
}

// Step 1 checks after the rights: 0 to go on, else the result (with what
// it writes already written). `done` is set when the request is answered.
int check_request(const ParamList* request, OutputSink* sink, bool* done) {
  *done = true;
  const char* form_name = plist_get(request, "DATABASE", "");
  const char* page = plist_get(request, "_PAGE", "");
  if (request == nullptr || *form_name == '\0') {
    write_headers(sink, nullptr);
    return start_page(sink);
  }
  if (*page != '\0' && std::strlen(page) < kPageNameMin) {
    write_headers(sink, nullptr);
    out_text(sink, "Bad page name: ");
    out_html(sink, page);
    return kFormBadPageName;
  }
  for (const char* name : {"DATABASE", "_PASSWORD", "_ACTION", "_PAGE"})
    if (std::strlen(plist_get(request, name, "")) > kParamLimit) return kFormParamTooLong;
  if (std::strpbrk(form_name, kForbiddenNameChars) != nullptr) {
    write_headers(sink, nullptr);
    out_text(sink, "Bad database name: ");
    out_html(sink, form_name);
    return kFormBadDatabaseName;
  }
  *done = false;
  return 0;
}

}  // namespace

int form_handle_request(const SiteContext& site, ParamList* request, OutputSink* sink,
                        const char* http_host) {
  const FormConfig form = form_config_read(site.root, plist_get(request, "DATABASE", ""));
  const int rights =
      access_rights(site, plist_get(request, "HOST", ""), form, plist_get(request, "_PASSWORD", ""));
  bool done = false;
  int result = check_request(request, sink, &done);
  if (done) return result;

  if (form.database == nullptr) {
    write_config_missing(site, sink, form.name.c_str());
    return kFormConfigMissing;
  }
  FormState state;
  state.site = &site;
  state.sink = sink;
  state.request = request;
  state.rights = rights;
  state.http_host = http_host != nullptr ? http_host : "";
  state.form = &form;
  state.action = plist_get(request, "_ACTION", "");
  state.password = plist_get(request, "_PASSWORD", "");
  state.page = plist_get(request, "_PAGE", "");
  plist_rename(request, "DATABASE", nullptr);
  plist_rename(request, "_ACTION", nullptr);

  if (!form.active) {
    form_write_header(state);
    return start_page(sink);
  }
  state.id_present = *plist_get(request, form.id_field.c_str(), "") != '\0';
  if (*plist_get(request, "_SESSION", "") == '\0')
    plist_set(request, "_SESSION", unique_id().c_str());

  const char* message = nullptr;
  result = check_limits(state, &message);
  if (result == 0) result = run_action(state);

  if (result != 0 && message != nullptr) write_message(state, message);
  if (result > 100) {
    note_refusal(state, result);
    rights_summary(sink, state.rights);
  }
  return result;
}

int form_final_save(FormState& state) {
  const FormConfig& form = *state.form;
  const bool may_save =
      (state.rights & kRightAppend) ||
      ((state.rights & kRightUpdate) &&
       earlier_record_find(*state.site, form, state.request) != nullptr);
  if (!may_save) {
    form_write_header(state);
    return permission_denied_page(state.sink, state.request, form.name.c_str(),
                                  state.action.c_str(), kRightAppend);
  }
  // A slot the page scripts can set. Claimed with an empty value: a freed
  // slot still holds the value of the entry it held.
  if (plist_find(state.request, "_PAGEWARN") == nullptr) plist_set(state.request, "_PAGEWARN", "");

  // Until the header is out, what the scripts write waits in a buffer, so
  // that it follows the header instead of going before it.
  TextBuffer script_text = tbuf_new(256);
  OutputSink capture;
  capture.text = &script_text;
  OutputSink* script_sink = state.header_written ? state.sink : &capture;
  const SiteContext& site = *state.site;
  const char* form_name = form.name.c_str();
  page_script_forward(site, script_sink, form, state.request, "SUBMIT");

  if (action_is(state, "SUBMIT")) {
    page_script_forward(site, script_sink, form, state.request, state.page.c_str());
    if (*plist_get(state.request, "_PAGEWARN", "") != '\0') {
      form_write_header(state);
      tbuf_send(state.sink, script_text);
      if (!form.multipage) return show_form_template(state, form.name, state.request);
      const std::string back_list = plist_get(state.request, "_PAGEBACK", "");
      return page_show(site, state.sink, form_name, state.request, back_list.c_str(), state.page);
    }
  }
  plist_set(state.request, "_FORMDONE", "1");
  const int result = response_save(site, form, state.request);
  const bool redirects = result == 0 && form.show_redirect && !form.redirect.empty();
  if (!redirects && tbuf_length(script_text) > 0) {
    form_write_header(state);
    tbuf_send(state.sink, script_text);
  }
  save_result_page(site, state.sink, form, state.request, result, state.http_host.c_str(),
                   state.header_written);
  state.header_written = true;
  return result;
}

}  // namespace fwk
