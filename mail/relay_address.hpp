// Relay addresses, as a form names them in EMAILSERVER and as the open line
// of an outbox record keeps them:
//   "host" or "host:port"        plain SMTP, port 25 by default
//   "smtp://host[:port]"         STARTTLS required, port 587 by default
//   "smtps://host[:port]"        TLS from the first byte, port 465 by default
// A host is a DNS name or a dotted IPv4 address (letters, digits, ".", "-",
// "_"); a port is a number from 1 to 65535.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fwk {

enum class RelaySecurity { plain, starttls, tls };

struct RelayAddress {
  RelaySecurity security = RelaySecurity::plain;
  std::string host;
  int port = 0;
};

inline constexpr int kPlainRelayPort = 25;
inline constexpr int kStarttlsRelayPort = 587;
inline constexpr int kTlsRelayPort = 465;

// The address in `text`, or none when it is not one of the forms above.
std::optional<RelayAddress> relay_parse(std::string_view text);

// The address written out with its port ("host:25", "smtp://host:587" ...);
// relay_parse reads it back unchanged.
std::string relay_text(const RelayAddress& relay);

// The URL libcurl is given for the relay: "smtp://" (plain and STARTTLS)
// or "smtps://", the host and the port.
std::string relay_url(const RelayAddress& relay);

}  // namespace fwk
