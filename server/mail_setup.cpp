#include "server/mail_setup.hpp"

#include <cstdlib>
#include <optional>

#include "core/ini.hpp"
#include "core/paths.hpp"
#include "forms/form_mail.hpp"
#include "platform/environment.hpp"

namespace fwk {

namespace {

constexpr int64_t kSecondsPerDay = 24 * 3600;

// A whole number from the environment; none when unset or not a number.
std::optional<long long> env_number(const char* name) {
  std::optional<std::string> value = env_get(name);
  if (!value || value->empty()) return std::nullopt;
  char* end = nullptr;
  long long number = std::strtoll(value->c_str(), &end, 10);
  if (*end != '\0' || number < 0) return std::nullopt;
  return number;
}

}  // namespace

CourierSettings load_mail_settings(const std::string& root) {
  CourierSettings settings;
  std::string ini;
  ParamListPtr section;
  if (path_join(root.c_str(), ini, "cgi.ini")) section = ini_read_section(ini.c_str(), "mail", 0);
  const char* ca_file = plist_get(section.get(), "CAFILE", "");
  if (*ca_file != '\0') path_join(root.c_str(), settings.transport.ca_file, ca_file);
  const char* days = plist_get(section.get(), "GIVEUPDAYS", "");
  if (*days != '\0') settings.give_up_seconds = std::atoll(days) * kSecondsPerDay;

  if (auto ms = env_number("FORMWICK_RELAY_TIMEOUT_MS"); ms && *ms > 0) {
    settings.transport.timeout_ms = static_cast<int>(*ms);
  }
  if (auto ms = env_number("FORMWICK_RELAY_RETRY_MS")) {
    settings.retry_pause_ms = static_cast<uint32_t>(*ms);
  }
  if (auto seconds = env_number("FORMWICK_MAIL_GIVEUP_S")) settings.give_up_seconds = *seconds;
  return settings;
}

PasswordLookup form_password_lookup(const std::string& root) {
  return [root](const std::string& form, const std::string& user) {
    return form_mail_password(root, form, user);
  };
}

void courier_prepare(Courier& courier, const SiteContext& site, const std::atomic<int>& stop) {
  courier.root = site.root;
  courier.log = site.log;
  courier.stop = &stop;
  courier.settings = load_mail_settings(site.root);
  courier.password_for = form_password_lookup(site.root);
}

}  // namespace fwk
