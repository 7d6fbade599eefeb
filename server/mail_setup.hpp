// How the server sets up its mail: section "mail" of "cgi.ini" (CAFILE,
// GIVEUPDAYS) and the courier the loop owns.
#pragma once

#include <atomic>
#include <string>

#include "core/site.hpp"
#include "mail/courier.hpp"

namespace fwk {

// The courier's settings from section "mail" of "cgi.ini" in the root:
//   CAFILE      a PEM file of further trusted authorities for relays
//               (relative names from the server root)
//   GIVEUPDAYS  days after which a message refused for good moves to
//               outbox.bad (default 7; 0 keeps it for ever)
// For tests, FORMWICK_RELAY_TIMEOUT_MS, FORMWICK_RELAY_RETRY_MS and
// FORMWICK_MAIL_GIVEUP_S override the timeout, the retry pause and the
// give-up time.
CourierSettings load_mail_settings(const std::string& root);

// The courier's password look-up: a form's EMAILPWD for its EMAILNAME.
PasswordLookup form_password_lookup(const std::string& root);

// Readies `courier` to send the site's outbox; `stop` is the server's stop
// request, which a transmission heeds between messages.
void courier_prepare(Courier& courier, const SiteContext& site, const std::atomic<int>& stop);

}  // namespace fwk
