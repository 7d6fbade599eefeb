// The host name of a peer address without stalling the caller: the reverse
// lookup runs on a resolver thread of its own, the caller waits for it only
// up to a deadline, and answers are kept per address for a few minutes (a
// late answer is kept too, for the next request from that address).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fwk {

// How long an answer (a name, or "none") is kept.
constexpr int kPeerNameKeepMs = 5 * 60 * 1000;
// Lookups waiting for the resolver at most; beyond that a caller gets ""
// at once.
constexpr size_t kPeerNameQueueLimit = 64;

// A lookup as the resolver thread makes it: true with the official name of
// `address`, or false.
using ReverseLookup = bool (*)(uint32_t address, std::string* name);

struct PeerNameState;

// The kept answers and the resolver thread, started on the first lookup.
// When the owner goes, the thread ends after the lookup it is making (a
// lookup cannot be cut short); what it shares with its owner lives until
// then.
struct PeerNames {
  std::shared_ptr<PeerNameState> state;

  // `lookup`: the lookup the thread makes (host_lookup_address unless a
  // test gives another).
  explicit PeerNames(ReverseLookup lookup = nullptr);
  PeerNames(const PeerNames&) = delete;
  PeerNames& operator=(const PeerNames&) = delete;
  ~PeerNames();
};

// The official name of `address` (IPv4, network byte order): true with the
// name, or false with "" when there is none or it did not come within
// timeout_ms. While a lookup that has already cost a caller its deadline
// still runs, asking for the same address again answers "" at once.
bool peer_name_lookup(PeerNames& names, uint32_t address, int timeout_ms, std::string* name);

}  // namespace fwk
