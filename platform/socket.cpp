#include "platform/socket.hpp"

#include <algorithm>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace fwk {

namespace {

long monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ListenFailure failure_from_errno(int error) {
  if (error == EADDRINUSE) return ListenFailure::in_use;
  if (error == EACCES || error == EPERM) return ListenFailure::permission;
  if (error == EADDRNOTAVAIL) return ListenFailure::not_local;
  return ListenFailure::other;
}

// Waits for readability; -1 error, 0 timeout, 1 ready. Retries on signals
// with the time that is left.
int wait_readable_ms(int socket, long timeout_ms) {
  long deadline = monotonic_ms() + timeout_ms;
  for (;;) {
    pollfd entry{socket, POLLIN, 0};
    long left = deadline - monotonic_ms();
    if (left < 0) left = 0;
    int result = poll(&entry, 1, static_cast<int>(left));
    if (result >= 0) return result > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

void set_send_timeout(int socket) {
  timeval timeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

void set_cork(int socket, int on) {
  setsockopt(socket, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

}  // namespace

void socket_push(int socket) {
  if (socket < 0) return;
  set_cork(socket, 0);
  set_cork(socket, 1);
}

int socket_listen_tcp(int port, int backlog, ListenFailure* failure, uint32_t bind_address) {
  *failure = ListenFailure::none;
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    *failure = ListenFailure::other;
    return -1;
  }
  // Lets a restarted server reuse its port while old connections linger in
  // TIME_WAIT; a port another program listens on still counts as in use.
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // Accepted sockets inherit these two, which saves two calls per
  // connection. A response is written in many small sends; gathering them
  // into full packets saves the client a wake-up per send, and closing
  // sends the rest.
  set_send_timeout(s);
  set_cork(s, 1);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = bind_address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, backlog) != 0) {
    *failure = failure_from_errno(errno);
    close(s);
    return -1;
  }
  return s;
}

int socket_accept(int listen_socket, uint32_t* peer_address) {
  *peer_address = 0;
  if (listen_socket < 0) return -1;
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int s;
  do {
    s = accept4(listen_socket, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  } while (s < 0 && errno == EINTR);
  if (s < 0) return -1;
  if (peer.sin_family == AF_INET) *peer_address = peer.sin_addr.s_addr;
  return s;
}

namespace {

AcceptFailure accept_failure_of(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return AcceptFailure::nothing_pending;
    // The connection died in the backlog, or a network error that Linux
    // reports on the new connection: the next one may be fine.
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return AcceptFailure::retry;
    default:  // EMFILE, ENFILE, ENOBUFS, ENOMEM and anything unforeseen
      return AcceptFailure::no_resources;
  }
}

}  // namespace

int socket_accept_nonblocking(int listen_socket, uint32_t* peer_address, AcceptFailure* failure) {
  *peer_address = 0;
  AcceptFailure ignored = AcceptFailure::none;
  if (failure == nullptr) failure = &ignored;
  *failure = AcceptFailure::none;
  if (listen_socket < 0) {
    *failure = AcceptFailure::no_resources;
    return -1;
  }
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int s;
  do {
    s = accept4(listen_socket, reinterpret_cast<sockaddr*>(&peer), &length,
                SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (s < 0 && errno == EINTR);
  if (s < 0) {
    *failure = accept_failure_of(errno);
    return -1;
  }
  if (peer.sin_family == AF_INET) *peer_address = peer.sin_addr.s_addr;
  return s;
}

bool socket_set_nonblocking(int socket) {
  if (socket < 0) return false;
  int flags = fcntl(socket, F_GETFL);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

int socket_connect_tcp(uint32_t address, int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr.s_addr = address;
  if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    close(s);
    return -1;
  }
  set_send_timeout(s);
  return s;
}

int socket_create_tcp() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return s < 0 ? -1 : s;
}

bool socket_connect(int socket, uint32_t address, int port, int timeout_ms) {
  if (socket < 0) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr.s_addr = address;
  // A non-blocking connect waited for with poll, so an unreachable host
  // costs at most the timeout.
  int flags = fcntl(socket, F_GETFL, 0);
  if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int result = connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
  bool connected = result == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
    long deadline = monotonic_ms() + timeout_ms;
    for (;;) {
      pollfd entry{socket, POLLOUT, 0};
      long left = deadline - monotonic_ms();
      int ready = poll(&entry, 1, static_cast<int>(left < 0 ? 0 : left));
      if (ready < 0 && errno == EINTR) continue;
      int error = 0;
      socklen_t length = sizeof error;
      connected =
          ready > 0 && getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
      break;
    }
  }
  if (fcntl(socket, F_SETFL, flags) != 0) return false;
  if (connected) set_send_timeout(socket);
  return connected;
}

bool socket_wait_readable(int socket, long timeout_us) {
  if (socket < 0) return false;
  // poll counts in milliseconds: round a partial millisecond up.
  return wait_readable_ms(socket, (timeout_us + 999) / 1000) > 0;
}

long socket_receive(int socket, char* buffer, size_t size) {
  if (socket < 0) return -1;
  for (;;) {
    ssize_t got = recv(socket, buffer, size, 0);
    if (got >= 0) return static_cast<long>(got);
    if (errno != EINTR) return -1;
  }
}

long socket_send(int socket, const char* bytes, size_t n) {
  if (socket < 0 || bytes == nullptr) return -1;
  // A blocking send returns early only when its timeout ran out (or a signal
  // came): the whole call gets no more than one timeout.
  long started = monotonic_ms();
  size_t sent = 0;
  while (sent < n) {
    ssize_t put = send(socket, bytes + sent, n - sent, MSG_NOSIGNAL);
    if (put > 0) sent += static_cast<size_t>(put);
    bool stalled = put < 0 ? (errno == EAGAIN || errno == EWOULDBLOCK)
                           : monotonic_ms() - started >= kSendTimeoutMs;
    if (stalled && sent < n) {
      shutdown(socket, SHUT_WR);
      return -1;
    }
    if (put < 0 && errno != EINTR) return -1;
  }
  return static_cast<long>(sent);
}

long socket_receive_waiting(int socket, char* buffer, size_t size) {
  if (socket < 0) return -1;
  for (;;) {
    ssize_t got = recv(socket, buffer, size, MSG_DONTWAIT);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kNothingWaiting;
    if (errno != EINTR) return -1;
  }
}

long socket_send_some(int socket, const char* bytes, size_t n) {
  if (socket < 0 || bytes == nullptr) return -1;
  for (;;) {
    ssize_t put = send(socket, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put >= 0) return static_cast<long>(put);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kNothingWaiting;
    if (errno != EINTR) return -1;
  }
}

long socket_send_file(int socket, std::FILE* file, long long* offset, size_t max) {
  if (socket < 0 || file == nullptr) return -1;
  off_t at = static_cast<off_t>(*offset);
  for (;;) {
    ssize_t put = sendfile(socket, fileno(file), &at, max);
    if (put >= 0) {
      *offset = static_cast<long long>(at);
      return static_cast<long>(put);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kNothingWaiting;
    if (errno != EINTR) return -1;
  }
}

void socket_shutdown_send(int socket) {
  if (socket >= 0) shutdown(socket, SHUT_WR);
}

void socket_shutdown(int socket) {
  if (socket >= 0) shutdown(socket, SHUT_RDWR);
}

void socket_close(int socket) {
  if (socket >= 0) close(socket);
}

bool host_name(std::string* name) {
  name->clear();
  std::string area(256, '\0');
  if (gethostname(area.data(), area.size() - 1) != 0) return false;
  name->assign(area.c_str());
  return !name->empty();
}

bool host_lookup_address(uint32_t address, std::string* name) {
  name->clear();
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  std::string host(NI_MAXHOST, '\0');
  if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), sizeof peer, host.data(),
                  static_cast<socklen_t>(host.size()), nullptr, 0, NI_NAMEREQD) != 0) {
    return false;
  }
  name->assign(host.c_str());
  return true;
}

bool host_lookup_name(const char* name, uint32_t* address) {
  *address = 0;
  if (name == nullptr || *name == '\0') return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

bool ipv4_is_loopback(uint32_t address) {
  return (ntohl(address) >> 24) == 127;
}

std::vector<uint32_t> ipv4_interface_addresses() {
  std::vector<uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    uint32_t address = reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    if (ipv4_is_loopback(address)) continue;
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(address);
  }
  freeifaddrs(list);
  return addresses;
}

bool network_present() {
  const char* forced = std::getenv("FORMWICK_ONLINE");
  if (forced != nullptr && std::strcmp(forced, "1") == 0) return true;
  if (forced != nullptr && std::strcmp(forced, "0") == 0) return false;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool present = false;
  for (ifaddrs* entry = list; entry != nullptr && !present; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    uint32_t host_order = ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    present = (host_order >> 24) != 127;
  }
  freeifaddrs(list);
  return present;
}

bool ipv4_parse(const char* text, uint32_t* address) {
  in_addr parsed{};
  if (!text || inet_pton(AF_INET, text, &parsed) != 1) return false;
  *address = parsed.s_addr;
  return true;
}

std::string ipv4_text(uint32_t address) {
  in_addr value{};
  value.s_addr = address;
  std::array<char, INET_ADDRSTRLEN> text{};
  if (!inet_ntop(AF_INET, &value, text.data(), text.size())) return "";
  return text.data();
}

}  // namespace fwk
