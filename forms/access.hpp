// Access control: what a requester may do with a form, worked out from the
// section "access" of its configuration and the password offered, and the
// pages written when a right is missing.
#pragma once

#include <cstdint>

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
// A password key grants its right to a word that equals its value or, for
// a value written as a crypt(3) hash (password_hash.hpp), a word that
// hashes to it. `host` (may be absent) only names the requester in the log
// line written when the form name is unsafe (form_name_safe) or the
// password longer than kAccessValueLimit; such a request has no rights. A
// form without a configuration file or an "access" section has no rights.
// Counts no guesses (see access_check).
int access_rights(const SiteContext& site, const char* host, const FormConfig& form,
                  const char* password);

// The outcome of a password check made for a client.
struct AccessCheck {
  int rights = 0;
  // Not 0: the client's address is throttled for this long (guess_throttle.hpp)
  // and the request is to be answered with throttled_page.
  uint64_t wait_ms = 0;
};

// access_rights for a request from `client` (an IPv4 address, network byte
// order): when the request offers a password to a form that has password
// keys, each offered word that matches none of them is a failed guess of
// the client's address, and a check in which every word matched forgets
// the address's failures. A throttled address is not checked at all: it
// gets only what "(allow)" grants, and the wait. Words after the failure
// that throttles the address are not checked (the request itself is
// answered with what the words before it granted).
AccessCheck access_check(const SiteContext& site, const char* host, uint32_t client,
                         const FormConfig& form, const char* password);

// The same bookkeeping for the other checks of who a requester is (ID
// field logins, password files): the wait before `client` may be checked
// (0: now), a failed check (returns the wait it causes, and logs when the
// address becomes throttled), a successful one.
uint64_t guess_wait(const SiteContext& site, uint32_t client);
uint64_t guess_failed(const SiteContext& site, uint32_t client);
void guess_succeeded(const SiteContext& site, uint32_t client);

// Answers a throttled request: status 429 with a Retry-After header (whole
// seconds of `wait_ms`, rounded up) and throttled_message as its page.
// Writes the header.
void throttled_page(OutputSink* sink, uint64_t wait_ms);

// Says that the client must wait (for a page whose header is out).
void throttled_message(OutputSink* sink, uint64_t wait_ms);

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
