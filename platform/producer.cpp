#include "platform/producer.hpp"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>

#include "platform/socket.hpp"
#include "platform/thread.hpp"

namespace fwk {

// The pipe holds this much, so that the maker and the reader take turns in
// large pieces rather than small ones.
constexpr int kPipeBytes = 256 * 1024;

struct ProducerState {
  int write_end = -1;  // closed when the maker is done: the reader sees the end
  std::atomic<bool> succeeded{false};
  std::atomic<bool> abandoned{false};  // the reading end has gone

  ProducerState() = default;
  ProducerState(const ProducerState&) = delete;
  ProducerState& operator=(const ProducerState&) = delete;
  ~ProducerState() { close_write_end(); }

  void close_write_end() {
    if (write_end >= 0) close(write_end);
    write_end = -1;
  }
};

bool producer_put(ProducerOutput& output, const char* bytes, size_t n) {
  ProducerState& state = *output.state;
  if (state.abandoned.load(std::memory_order_relaxed)) return false;
  while (n > 0) {
    ssize_t put = write(state.write_end, bytes, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;  // EPIPE: the reading end is closed
    bytes += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

Producer::~Producer() {
  if (state) state->abandoned.store(true, std::memory_order_relaxed);
  if (descriptor >= 0) close(descriptor);
}

ProducerPtr producer_start(std::function<bool(ProducerOutput&)> make) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
  fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
  fcntl(ends[1], F_SETPIPE_SZ, kPipeBytes);  // a smaller pipe only costs turns
  auto producer = std::make_unique<Producer>();
  producer->descriptor = ends[0];
  producer->state = std::make_shared<ProducerState>();
  producer->state->write_end = ends[1];
  ProducerOutput output{producer->state};
  bool started = thread_start_detached([output, make = std::move(make)]() mutable {
    bool made = make(output);
    output.state->succeeded.store(made);
    output.state->close_write_end();
  });
  // Without a thread both ends close with the producer and its state.
  return started ? std::move(producer) : nullptr;
}

long producer_read(Producer& producer, char* buffer, size_t size) {
  for (;;) {
    ssize_t got = read(producer.descriptor, buffer, size);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kNothingWaiting : -1;
  }
}

bool producer_succeeded(const Producer& producer) {
  return producer.state && producer.state->succeeded.load();
}

}  // namespace fwk
