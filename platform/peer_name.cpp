#include "platform/peer_name.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/socket.hpp"

namespace fwk {

namespace {

using Clock = std::chrono::steady_clock;

// Answers kept at most; the oldest go first.
constexpr size_t kKeptAnswers = 512;

}  // namespace

struct PeerNameState {
  struct Answer {
    bool found = false;
    std::string name;
    Clock::time_point at;
  };
  std::mutex lock;
  std::condition_variable answered;  // an answer has been stored
  std::condition_variable queued;    // an address waits for the thread, or the owner has gone
  std::deque<uint32_t> waiting;
  std::unordered_map<uint32_t, Answer> answers;
  ReverseLookup lookup = host_lookup_address;
  bool thread_started = false;
  bool owner_gone = false;
};

namespace {

using Resolver = PeerNameState;
using Answer = PeerNameState::Answer;

bool is_fresh(const Answer& answer, Clock::time_point now) {
  return now - answer.at < std::chrono::milliseconds(kPeerNameKeepMs);
}

void forget_oldest(Resolver& r) {
  auto oldest = r.answers.begin();
  for (auto it = r.answers.begin(); it != r.answers.end(); ++it) {
    if (it->second.at < oldest->second.at) oldest = it;
  }
  if (oldest != r.answers.end()) r.answers.erase(oldest);
}

// The thread holds its own share of the state, so that a lookup still
// running when the owner goes has somewhere to put its answer.
void resolve_until_owner_goes(std::shared_ptr<Resolver> state) {
  Resolver& r = *state;
  std::unique_lock<std::mutex> hold(r.lock);
  for (;;) {
    r.queued.wait(hold, [&r] { return !r.waiting.empty() || r.owner_gone; });
    if (r.owner_gone) return;
    uint32_t address = r.waiting.front();
    ReverseLookup lookup = r.lookup;
    hold.unlock();
    Answer answer;
    answer.found = lookup(address, &answer.name);
    if (!answer.found) answer.name.clear();
    answer.at = Clock::now();
    hold.lock();
    r.waiting.pop_front();
    if (r.answers.size() >= kKeptAnswers) forget_oldest(r);
    r.answers[address] = std::move(answer);
    r.answered.notify_all();
  }
}

bool start_thread(const std::shared_ptr<Resolver>& state) {
  try {
    std::thread(resolve_until_owner_goes, state).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool is_waiting(const Resolver& r, uint32_t address) {
  for (uint32_t queued : r.waiting) {
    if (queued == address) return true;
  }
  return false;
}

}  // namespace

PeerNames::PeerNames(ReverseLookup lookup) : state(std::make_shared<PeerNameState>()) {
  if (lookup != nullptr) state->lookup = lookup;
}

PeerNames::~PeerNames() {
  std::lock_guard<std::mutex> hold(state->lock);
  state->owner_gone = true;
  state->queued.notify_all();
}

bool peer_name_lookup(PeerNames& names, uint32_t address, int timeout_ms, std::string* name) {
  name->clear();
  Resolver& r = *names.state;
  std::unique_lock<std::mutex> hold(r.lock);
  auto have = [&r, address] {
    auto it = r.answers.find(address);
    return it != r.answers.end() && is_fresh(it->second, Clock::now());
  };
  if (!have()) {
    if (!r.thread_started) r.thread_started = start_thread(names.state);
    if (!r.thread_started) return false;
    // Lookups are asked for one after another: when this address already
    // waits, an earlier caller has waited its deadline for it in vain.
    if (is_waiting(r, address) || r.waiting.size() >= kPeerNameQueueLimit) return false;
    r.waiting.push_back(address);
    r.queued.notify_one();
    if (!r.answered.wait_for(hold, std::chrono::milliseconds(timeout_ms), have)) return false;
  }
  const Answer& answer = r.answers[address];
  *name = answer.name;
  return answer.found;
}

}  // namespace fwk
