// Mail of a form: queued through the relay and login its section DATABASE
// names (EMAILSERVER, EMAILNAME), and the password the courier looks up at
// sending time (EMAILPWD, never stored in the outbox).
#pragma once

#include <string>

#include "core/site.hpp"
#include "forms/form_config.hpp"
#include "mail/mail_result.hpp"

namespace fwk {

// Where a form's mail goes.
struct FormMailRoute {
  std::string form;   // the form whose EMAILPWD holds the password
  std::string relay;  // EMAILSERVER
  std::string user;   // EMAILNAME
};

FormMailRoute form_mail_route(const FormConfig& form);

// Queues a message from and to `address` along the form's route.
// `message_id` "" gives a fresh identifier.
MailResult form_queue_mail(const SiteContext& site, const FormMailRoute& route,
                           const char* address, const char* subject, const std::string& body,
                           const std::string& message_id = "");

// The password of `user` for the mail of form `form_name` in the server
// root: the form's EMAILPWD when its EMAILNAME is that user, else "".
std::string form_mail_password(const std::string& root, const std::string& form_name,
                               const std::string& user);

}  // namespace fwk
