#include "mail/mail_result.hpp"

#include <array>
#include <utility>

namespace fwk {

namespace {

constexpr std::array<std::pair<MailResult, int>, 9> kNumbers = {{
    {MailResult::ok, 0},
    {MailResult::no_relay, 1},
    {MailResult::relay_broken, 3},
    {MailResult::relay_unresolved, 62},
    {MailResult::relay_unreachable, 64},
    {MailResult::relay_refused, 65},
    {MailResult::relay_insecure, 66},
    {MailResult::outbox_not_writable, 67},
    {MailResult::relay_login_failed, 68},
}};

}  // namespace

int mail_result_number(MailResult result) {
  for (const auto& [known, number] : kNumbers) {
    if (known == result) return number;
  }
  return 0;
}

std::optional<MailResult> mail_result_from_number(int number) {
  for (const auto& [known, known_number] : kNumbers) {
    if (known_number == number) return known;
  }
  return std::nullopt;
}

}  // namespace fwk
