#include "mail/relay_address.hpp"

namespace fwk {

namespace {

constexpr std::string_view kStarttlsScheme = "smtp://";
constexpr std::string_view kTlsScheme = "smtps://";
// A DNS name has at most 253 characters.
constexpr size_t kHostLimit = 253;

bool host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool usable_host(std::string_view host) {
  if (host.empty() || host.size() > kHostLimit || host.front() == '.' || host.front() == '-') {
    return false;
  }
  for (char c : host) {
    if (!host_char(c)) return false;
  }
  return true;
}

// 1..65535 written with at most five digits; 0 when it is not one.
int port_number(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return 0;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

int default_port(RelaySecurity security) {
  switch (security) {
    case RelaySecurity::plain:
      return kPlainRelayPort;
    case RelaySecurity::starttls:
      return kStarttlsRelayPort;
    case RelaySecurity::tls:
      return kTlsRelayPort;
  }
  return kPlainRelayPort;
}

}  // namespace

std::optional<RelayAddress> relay_parse(std::string_view text) {
  RelayAddress relay;
  if (starts_with_nocase(text, kTlsScheme)) {
    relay.security = RelaySecurity::tls;
    text.remove_prefix(kTlsScheme.size());
  } else if (starts_with_nocase(text, kStarttlsScheme)) {
    relay.security = RelaySecurity::starttls;
    text.remove_prefix(kStarttlsScheme.size());
  }
  // A trailing "/" after the address is harmless: "smtp://host:587/".
  if (relay.security != RelaySecurity::plain && !text.empty() && text.back() == '/') {
    text.remove_suffix(1);
  }
  size_t colon = text.find(':');
  relay.host = std::string(text.substr(0, colon));
  relay.port = default_port(relay.security);
  if (colon != std::string_view::npos) relay.port = port_number(text.substr(colon + 1));
  if (!usable_host(relay.host) || relay.port == 0) return std::nullopt;
  return relay;
}

std::string relay_text(const RelayAddress& relay) {
  std::string text;
  if (relay.security == RelaySecurity::starttls) text = kStarttlsScheme;
  if (relay.security == RelaySecurity::tls) text = kTlsScheme;
  return text + relay.host + ":" + std::to_string(relay.port);
}

std::string relay_url(const RelayAddress& relay) {
  std::string scheme(relay.security == RelaySecurity::tls ? kTlsScheme : kStarttlsScheme);
  return scheme + relay.host + ":" + std::to_string(relay.port);
}

}  // namespace fwk
