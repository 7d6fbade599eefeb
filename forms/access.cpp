#include "forms/access.hpp"

#include <cstring>
#include <string>

#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"

namespace fwk {

namespace {

// The bit one key grants: "(allow)" grants it to everybody, "(deny)" and an
// empty value grant nothing, any other value is a password that must be one
// of the offered words exactly.
int key_rights(const ParamList* section, const AccessKey& key, const char* password) {
  const char* value = plist_get(section, key.name, "");
  if (*value == '\0') return 0;
  if (text_compare_nocase(value, "(allow)") == 0) return key.bit;
  if (text_compare_nocase(value, "(deny)") == 0) return 0;
  return list_contains_exact(password, value) ? key.bit : 0;
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
  if (!form_name_safe(form.name) || std::strlen(password) > kAccessValueLimit) {
    status_log(site.log, "\nBuffer overrun attempt\tHOST=");
    status_log(site.log, host != nullptr ? host : "");
    return 0;
  }
  if (form.access == nullptr) return 0;
  int rights = 0;
  for (const AccessKey& key : kAccessKeys) rights |= key_rights(form.access.get(), key, password);
  return rights;
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
