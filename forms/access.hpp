// Access control: what a requester may do with a form, worked out from the
// section "access" of its configuration and the password offered, and the
// pages written when a right is missing.
#pragma once

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// The rights bit set.
constexpr int kRightRead = 1;
constexpr int kRightUpdate = 2;
constexpr int kRightAppend = 4;
constexpr int kRightDelete = 8;
constexpr int kRightEdit = 16;
constexpr int kRightAdmin = 32;
constexpr int kRightReport = 64;
constexpr int kRightAll = 127;

// The keys of section "access" and the rights they grant, in the order
// they are evaluated; PWD grants every right at once.
struct AccessKey {
  const char* name;
  int bit;
};
inline constexpr AccessKey kAccessKeys[] = {
    {"PWDREAD", kRightRead},     {"PWDUPDATE", kRightUpdate}, {"PWDAPPEND", kRightAppend},
    {"PWDDELETE", kRightDelete}, {"PWDWRITE", kRightEdit},    {"PWDADMIN", kRightAdmin},
    {"PWDREPORT", kRightReport}, {"PWD", kRightAll},
};

// The result of a refusal for want of a right.
constexpr int kAccessDenied = 101;

// The rights of a requester for `form` (read for the request's DATABASE)
// offering `password` (_PASSWORD, words separated by commas or spaces).
// `host` (may be absent) only names the requester in the log line written
// when the form name is unsafe (form_name_safe) or the password longer than
// kAccessValueLimit; such a request has no rights. A form without a
// configuration file or an "access" section has no rights.
int access_rights(const SiteContext& site, const char* host, const FormConfig& form,
                  const char* password);

// Writes the "Permission denied" page: a form that posts the refused
// request again (form name, action and every request entry but _PASSWORD as
// hidden fields) with a password field. `kind` is the right wanted
// (kRightUpdate, kRightAppend, kRightReport, anything else: "use").
// The caller writes the response header. Returns kAccessDenied.
int permission_denied_page(OutputSink* sink, const ParamList* request, const char* form_name,
                           const char* action, int kind);

// Writes what the rights allow, one line per right held (report has none).
void rights_summary(OutputSink* sink, int rights);

}  // namespace fwk
