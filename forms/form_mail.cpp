#include "forms/form_mail.hpp"

#include "core/ini.hpp"
#include "core/paths.hpp"
#include "mail/outbox.hpp"

namespace fwk {

MailResult form_queue_mail(const SiteContext& site, const ParamList* config,
                           const std::string& form_name, const char* address,
                           const char* subject, const std::string& body,
                           const std::string& message_id) {
  MailRequest request;
  request.address = address != nullptr ? address : "";
  request.subject = subject != nullptr ? subject : "";
  request.body = body;
  request.relay = plist_get(config, "EMAILSERVER", "");
  request.user = plist_get(config, "EMAILNAME", "");
  request.form = form_name;
  request.message_id = message_id;
  return queue_mail(site, request);
}

std::string form_mail_password(const std::string& root, const std::string& form_name,
                               const std::string& user) {
  // The name comes from an outbox record: only a form name can name a file.
  if (form_name.empty() || user.empty() ||
      form_name.find_first_of("/.\\*?$|'\"") != std::string::npos) {
    return "";
  }
  std::string path;
  path_join(root.c_str(), path, form_name.c_str(), ".ini");
  ParamListPtr section = ini_read_section(path.c_str(), "DATABASE", 0);
  if (!section || user != plist_get(section.get(), "EMAILNAME", "")) return "";
  return plist_get(section.get(), "EMAILPWD", "");
}

}  // namespace fwk
