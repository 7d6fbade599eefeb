// An open descriptor of the operating system (a socket, the poller, a lock
// file, a pipe, a file being made durable, the signal reader), owned: it is
// closed when its owner goes, and only here.
#pragma once

#include <utility>

namespace fwk {

struct Descriptor {
  int fd = -1;  // -1: none

  Descriptor() = default;
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd, -1));
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }

  int get() const { return fd; }
  explicit operator bool() const { return fd >= 0; }
  // Closes the held descriptor (if any) and holds `descriptor` instead.
  void reset(int descriptor = -1);
  // Gives the descriptor up to a new owner (a stdio stream made on it).
  int release() { return std::exchange(fd, -1); }
  // Closes now and says whether the system reported no error (a write
  // still on its way to the device can fail only here). True for none.
  bool close_checked();
};

}  // namespace fwk
