#include "forms/form_mail.hpp"

#include "mail/outbox.hpp"

namespace fwk {

FormMailRoute form_mail_route(const FormConfig& form) {
  return FormMailRoute{form.name, form.email_server, form.email_name};
}

MailResult form_queue_mail(const SiteContext& site, const FormMailRoute& route,
                           const char* address, const char* subject, const std::string& body,
                           const std::string& message_id) {
  MailRequest request;
  request.address = address != nullptr ? address : "";
  request.subject = subject != nullptr ? subject : "";
  request.body = body;
  request.relay = route.relay;
  request.user = route.user;
  request.form = route.form;
  request.message_id = message_id;
  return queue_mail(site, request);
}

std::string form_mail_password(const std::string& root, const std::string& form_name,
                               const std::string& user) {
  // The name comes from an outbox record: form_config_read reads nothing
  // for a name that could point outside the root.
  if (user.empty()) return "";
  FormConfig form = form_config_read(root, form_name);
  return form.email_name == user ? form.email_password : "";
}

}  // namespace fwk
