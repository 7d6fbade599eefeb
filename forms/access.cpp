#include "forms/access.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/headers.hpp"
#include "core/limits.hpp"
#include "core/list_text.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "forms/guess_throttle.hpp"
#include "forms/password_hash.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

// A key's value that is a password: anything but "", "(allow)" and "(deny)".
bool is_password(const char* value) {
  return *value != '\0' && text_compare_nocase(value, "(allow)") != 0 &&
         text_compare_nocase(value, "(deny)") != 0;
}

// What the section grants to everybody: the keys set to "(allow)".
int open_rights(const ParamList* section) {
  int rights = 0;
  for (const AccessKey& key : kAccessKeys) {
    if (text_compare_nocase(plist_get(section, key.name, ""), "(allow)") == 0) rights |= key.bit;
  }
  return rights;
}

bool has_password_keys(const ParamList* section) {
  for (const AccessKey& key : kAccessKeys) {
    if (is_password(plist_get(section, key.name, ""))) return true;
  }
  return false;
}

// The rights one offered word grants: every password key it matches.
int word_rights(const SiteContext& site, const ParamList* section, std::string_view word) {
  int rights = 0;
  for (const AccessKey& key : kAccessKeys) {
    const char* value = plist_get(section, key.name, "");
    if ((rights & key.bit) == key.bit || !is_password(value)) continue;
    if (password_matches(value, word, site.verified_passwords)) rights |= key.bit;
  }
  return rights;
}

// False (after logging the attempt) when the form name or the password
// could not be checked safely.
bool access_request_safe(const SiteContext& site, const char* host, const FormConfig& form,
                         const char* password) {
  if (form_name_safe(form.name) && std::strlen(password) <= kAccessValueLimit) return true;
  status_log(site.log, "\nBuffer overrun attempt\tHOST=");
  status_log(site.log, host != nullptr ? host : "");
  return false;
}

const char* access_kind_text(int kind) {
  switch (kind) {
    case kRightUpdate:
      return "update data in";
    case kRightAppend:
      return "append data to";
    case kRightReport:
      return "view reports of";
    default:
      return "use";
  }
}

}  // namespace

int access_rights(const SiteContext& site, const char* host, const FormConfig& form,
                  const char* password) {
  if (password == nullptr) password = "";
  if (!access_request_safe(site, host, form, password) || form.access == nullptr) return 0;
  const ParamList* section = form.access.get();
  int rights = open_rights(section);
  for (std::string_view word : list_items(password)) rights |= word_rights(site, section, word);
  return rights;
}

AccessCheck access_check(const SiteContext& site, const char* host, uint32_t client,
                         const FormConfig& form, const char* password) {
  AccessCheck check;
  if (password == nullptr) password = "";
  if (!access_request_safe(site, host, form, password) || form.access == nullptr) return check;
  const ParamList* section = form.access.get();
  check.rights = open_rights(section);
  std::vector<std::string_view> words = list_items(password);
  if (words.empty() || !has_password_keys(section)) return check;
  check.wait_ms = guess_wait(site, client);
  if (check.wait_ms != 0) return check;
  bool failed = false;
  for (std::string_view word : words) {
    int rights = word_rights(site, section, word);
    check.rights |= rights;
    if (rights != 0) continue;
    failed = true;
    if (guess_failed(site, client) != 0) break;
  }
  if (!failed) guess_succeeded(site, client);
  return check;
}

uint64_t guess_wait(const SiteContext& site, uint32_t client) {
  return throttle_wait_ms(site.guesses, client, clock_monotonic_ms());
}

uint64_t guess_failed(const SiteContext& site, uint32_t client) {
  uint64_t wait = throttle_count_failure(site.guesses, client, clock_monotonic_ms());
  if (wait != 0) {
    std::string message = "\nToo many wrong passwords or logins from " + ipv4_text(client) +
                          ": its checks are refused for " +
                          std::to_string(throttle_seconds(wait)) + " s";
    status_log(site.log, message.c_str());
  }
  return wait;
}

void guess_succeeded(const SiteContext& site, uint32_t client) {
  throttle_forget(site.guesses, client);
}

void throttled_page(OutputSink* sink, uint64_t wait_ms) {
  uint64_t seconds = throttle_seconds(wait_ms);
  std::string header = "Retry-After: " + std::to_string(seconds) +
                       "\r\nContent-type: text/html; charset=utf-8\r\n\r\n";
  write_status_headers(sink, kTooManyRequestsStatus, header.c_str());
  out_text(sink, "<HTML><HEAD><TITLE>Too many attempts</TITLE></HEAD><BODY>\n");
  throttled_message(sink, wait_ms);
  out_text(sink, "</BODY></HTML>\n");
}

void throttled_message(OutputSink* sink, uint64_t wait_ms) {
  uint64_t seconds = throttle_seconds(wait_ms);
  out_text(sink, "<H3>Too many attempts</H3>\n<P>Too many wrong passwords or logins came from ");
  out_text(sink, "your address. Please try again in ");
  if (seconds < 120) {
    out_text(sink, (std::to_string(seconds) + " seconds.").c_str());
  } else {
    out_text(sink, (std::to_string((seconds + 59) / 60) + " minutes.").c_str());
  }
  out_text(sink, "\n");
}

int permission_denied_page(OutputSink* sink, const ParamList* request, const char* form_name,
                           const char* action, int kind) {
  out_text(sink, "<H3>Permission denied</H3>\n");
  out_text(sink, "<P>Please enter your password to ");
  out_text(sink, access_kind_text(kind));
  out_text(sink, " this file.\n");
  out_text(sink, "<P><FORM ACTION=/fwk METHOD=POST ACCEPT-CHARSET=\"UTF-8\">");
  out_text(sink, "\n<INPUT TYPE=HIDDEN NAME=DATABASE VALUE=\"");
  out_html(sink, form_name);
  out_text(sink, "\">\n<INPUT TYPE=HIDDEN NAME=_ACTION VALUE=\"");
  out_html(sink, action);
  out_text(sink, "\">\n");
  // The whole list: every parameter of the refused request is posted again.
  plist_each(request, [&](const Pair& entry) {
    if (entry.name->empty() || text_compare_nocase(entry.name->c_str(), "_PASSWORD") == 0) return;
    out_text(sink, "<INPUT TYPE=HIDDEN NAME=\"");
    out_html(sink, entry.name->c_str());
    out_text(sink, "\" VALUE=\"");
    out_html(sink, entry.value ? entry.value->c_str() : "");
    out_text(sink, "\">\n");
  });
  out_text(sink,
           "<INPUT TYPE=PASSWORD NAME=_PASSWORD> <INPUT TYPE=SUBMIT VALUE=\"Login\"></FORM><HR>");
  return kAccessDenied;
}

void rights_summary(OutputSink* sink, int rights) {
  if (rights == 0) {
    out_text(sink, "<P>You are not permitted to use this server.");
    return;
  }
  out_text(sink, "<P>With this database, you may:<UL>");
  if (rights & kRightRead) out_text(sink, "<LI>Read data\n");
  if (rights & kRightEdit) out_text(sink, "<LI>Edit records\n");
  if (rights & kRightUpdate) out_text(sink, "<LI>Update existing records\n");
  if (rights & kRightAppend) out_text(sink, "<LI>Append new records\n");
  if (rights & kRightAdmin) out_text(sink, "<LI>Administer the database\n");
  if (rights & kRightDelete) out_text(sink, "<LI>Delete records\n");
  out_text(sink, "</UL>");
}

}  // namespace fwk
