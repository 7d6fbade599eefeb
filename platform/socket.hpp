// TCP sockets, readiness waits, name lookups and the network-presence test.
// Sockets are plain integer handles; -1 means none. Addresses are IPv4 in
// network byte order. Every function here is safe to call with a socket
// of -1 (it then does nothing, or reports failure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fwk {

// Why opening a listening socket failed.
// not_local: the address is not one of this machine's.
enum class ListenFailure { none, in_use, permission, not_local, other };

// Creates an IPv4 stream socket bound to address:port (network byte order;
// 0 is every interface) and listening with the given backlog. Returns the
// socket, or -1 with the reason in *failure. Sockets accepted on it get the
// send timeout and packet gathering described at socket_accept.
int socket_listen_tcp(int port, int backlog, ListenFailure* failure, uint32_t address = 0);

// Reads a dotted IPv4 address ("127.0.0.1") into network byte order. False
// for anything else.
bool ipv4_parse(const char* text, uint32_t* address);

// The dotted text of an IPv4 address in network byte order.
std::string ipv4_text(uint32_t address);

// True for an address of 127.0.0.0/8 (network byte order).
bool ipv4_is_loopback(uint32_t address);

// The IPv4 addresses of this machine's interfaces that are up, loopback
// addresses left out, in network byte order, each once, in the order the
// system lists them.
std::vector<uint32_t> ipv4_interface_addresses();

// Accepts one pending connection: the new socket (or -1) and the peer's
// IPv4 address. A client that stops reading holds a send for at most
// kSendTimeoutMs (see socket_send). What is sent on the socket is gathered
// into full packets; it leaves when a packet is full, at socket_push, or
// when the sending side is shut down.
int socket_accept(int listen_socket, uint32_t* peer_address);

// Why socket_accept_nonblocking returned -1. `retry`: that connection was
// lost before it was taken (or a signal came), try again at once.
// `no_resources`: the process or system is out of descriptors or memory
// (or the listener is unusable); the connection stays pending, and trying
// again at once would only fail again.
enum class AcceptFailure { none, nothing_pending, retry, no_resources };

// The same for an event loop: the listening socket must have been made
// non-blocking (socket_set_nonblocking); -1 also when nothing is pending.
// The accepted socket does not block either. The reason for -1 goes to
// *failure when given.
int socket_accept_nonblocking(int listen_socket, uint32_t* peer_address,
                              AcceptFailure* failure = nullptr);

// Makes reads, writes and accepts on the socket return at once instead of
// waiting. False when that failed.
bool socket_set_nonblocking(int socket);

// Sends what an accepted socket has gathered now (an interim answer the
// client waits for).
void socket_push(int socket);

constexpr int kSendTimeoutMs = 5000;

// Connects to an IPv4 address (network byte order) and port: the socket, or
// -1. Sends on it get the same timeout as accepted sockets.
int socket_connect_tcp(uint32_t address, int port);

// An unconnected IPv4 stream socket for socket_connect, or -1.
int socket_create_tcp();

// Connects a socket from socket_create_tcp to an IPv4 address (network byte
// order) and port, waiting at most timeout_ms for the connection. Sends on
// it then get the same timeout as accepted sockets. False when the
// connection failed or timed out (the caller still closes the socket).
bool socket_connect(int socket, uint32_t address, int port, int timeout_ms);

// Readiness wait for reading on one socket, with a timeout in microseconds
// (0 polls). A failed wait counts as not ready.
bool socket_wait_readable(int socket, long timeout_us);

// Receives up to `size` bytes: the count, 0 when the peer has closed, -1 on
// an error.
long socket_receive(int socket, char* buffer, size_t size);

// The same without waiting: kNothingWaiting when no byte has arrived yet.
constexpr long kNothingWaiting = -2;
long socket_receive_waiting(int socket, char* buffer, size_t size);

// Sends n bytes (retrying partial sends): the count sent, or -1 when the
// peer has gone or the send timed out. Never raises SIGPIPE. After a timeout
// the sending side is shut down, so later sends to the same client fail at
// once instead of each waiting kSendTimeoutMs.
long socket_send(int socket, const char* bytes, size_t n);

// Sends what the socket takes now without waiting: the count (possibly fewer
// than n), kNothingWaiting when it takes nothing yet, or -1 when the peer has
// gone. Never raises SIGPIPE.
long socket_send_some(int socket, const char* bytes, size_t n);

// Sends up to `max` bytes of an open file from *offset on without waiting and
// without copying them through this program; *offset advances by the count.
// The count, 0 at the end of the file, kNothingWaiting when the socket takes
// nothing yet, or -1 on an error.
long socket_send_file(int socket, std::FILE* file, long long* offset, size_t max);

// Shuts down the sending side only: the client sees the end of the response.
void socket_shutdown_send(int socket);

// Shuts the socket down in both directions (no-op for -1).
void socket_shutdown(int socket);

// Closes the socket (no-op for -1).
void socket_close(int socket);

// This machine's host name; false (and "") when it cannot be had.
bool host_name(std::string* name);

// Reverse lookup of an IPv4 address: its official host name, or false.
bool host_lookup_address(uint32_t address, std::string* name);

// Forward lookup: the first IPv4 address of a host name, or false.
bool host_lookup_name(const char* name, uint32_t* address);

// True when an interface that is up has an IPv4 address outside
// 127.0.0.0/8; FORMWICK_ONLINE=1 or =0 in the environment forces the answer.
bool network_present();

}  // namespace fwk
