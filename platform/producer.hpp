// Bytes made on a thread of their own and read, as they come, from the other
// end of a pipe: a response body that takes long to make (an export of a
// large data file) is sent by the event loop while it is being made, and the
// loop never waits for it.
//
// The maker's writes wait while the pipe is full, so a slow reader slows the
// maker down instead of letting its output pile up in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace fwk {

// What the two ends share.
struct ProducerState;

// The making end, handed to the maker on its thread.
struct ProducerOutput {
  std::shared_ptr<ProducerState> state;
};

// Writes all n bytes, waiting while the pipe is full. False once the reading
// end has gone: the maker should stop. n == 0 writes nothing and only tells.
bool producer_put(ProducerOutput& output, const char* bytes, size_t n);

// The reading end. Destroying it closes the pipe's reading end, so that the
// maker's next write fails and it stops; it never waits for the maker.
struct Producer {
  int descriptor = -1;  // the pipe's reading end, non-blocking
  std::shared_ptr<ProducerState> state;

  Producer() = default;
  Producer(const Producer&) = delete;
  Producer& operator=(const Producer&) = delete;
  ~Producer();
};
using ProducerPtr = std::unique_ptr<Producer>;

// Runs `make` on a new thread, writing into the pipe; the reading end sees
// the end of the bytes when it returns (true: everything was made). None
// when no pipe or thread could be had (nothing has run then).
ProducerPtr producer_start(std::function<bool(ProducerOutput&)> make);

// Reads what has been made: the count, 0 at the end, kNothingWaiting (see
// socket.hpp) when nothing is ready yet, -1 on an error.
long producer_read(Producer& producer, char* buffer, size_t size);

// After the end was read: true when the maker reported that it made
// everything.
bool producer_succeeded(const Producer& producer);

}  // namespace fwk
