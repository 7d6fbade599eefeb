#include "platform/peer_name.hpp"

#include <signal.h>

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

struct Answer {
  bool found = false;
  std::string name;
  Clock::time_point at;
};

struct Resolver {
  std::mutex lock;
  std::condition_variable answered;  // an answer has been stored
  std::condition_variable queued;    // an address waits for the thread
  std::deque<uint32_t> waiting;
  std::unordered_map<uint32_t, Answer> answers;
  ReverseLookup lookup = host_lookup_address;
  bool thread_started = false;
};

// The resolver thread may still sit in a lookup when the program ends, so
// its state is never destroyed.
Resolver& resolver() {
  static Resolver* state = std::make_unique<Resolver>().release();
  return *state;
}

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

void resolve_forever(Resolver& r) {
  std::unique_lock<std::mutex> hold(r.lock);
  for (;;) {
    r.queued.wait(hold, [&r] { return !r.waiting.empty(); });
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

// Started on first use with the shut-down signals blocked, so that they
// keep reaching the thread that waits for them.
bool start_thread(Resolver& r) {
  sigset_t block, previous;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  bool started = true;
  try {
    std::thread(resolve_forever, std::ref(r)).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

bool is_waiting(const Resolver& r, uint32_t address) {
  for (uint32_t queued : r.waiting) {
    if (queued == address) return true;
  }
  return false;
}

}  // namespace

bool peer_name_lookup(uint32_t address, int timeout_ms, std::string* name) {
  name->clear();
  Resolver& r = resolver();
  std::unique_lock<std::mutex> hold(r.lock);
  auto have = [&r, address] {
    auto it = r.answers.find(address);
    return it != r.answers.end() && is_fresh(it->second, Clock::now());
  };
  if (!have()) {
    if (!r.thread_started) r.thread_started = start_thread(r);
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

void peer_name_set_lookup(ReverseLookup lookup) {
  Resolver& r = resolver();
  std::lock_guard<std::mutex> hold(r.lock);
  r.lookup = lookup != nullptr ? lookup : host_lookup_address;
  r.answers.clear();
}

}  // namespace fwk
