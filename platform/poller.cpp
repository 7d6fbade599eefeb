#include "platform/poller.hpp"

#include <errno.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace fwk {

namespace {

constexpr int kEventsPerWait = 64;

uint32_t interest(bool read, bool write) {
  return (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
}

void drain_wake(int wake) {
  uint64_t count = 0;
  ssize_t ignored = read(wake, &count, sizeof count);
  (void)ignored;
}

}  // namespace

bool poller_open(Poller& poller) {
  poller.handle = epoll_create1(EPOLL_CLOEXEC);
  if (poller.handle < 0) return false;
  poller.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (poller.wake < 0 || !poller_watch(poller, poller.wake, true, false)) {
    poller_close(poller);
    return false;
  }
  return true;
}

void poller_close(Poller& poller) {
  if (poller.wake >= 0) close(poller.wake);
  if (poller.handle >= 0) close(poller.handle);
  poller.wake = -1;
  poller.handle = -1;
}

bool poller_watch(Poller& poller, int socket, bool read, bool write) {
  if (poller.handle < 0 || socket < 0) return false;
  epoll_event entry{};
  entry.events = interest(read, write);
  entry.data.fd = socket;
  if (epoll_ctl(poller.handle, EPOLL_CTL_MOD, socket, &entry) == 0) return true;
  return errno == ENOENT && epoll_ctl(poller.handle, EPOLL_CTL_ADD, socket, &entry) == 0;
}

void poller_forget(Poller& poller, int socket) {
  if (poller.handle < 0 || socket < 0) return;
  epoll_event unused{};
  epoll_ctl(poller.handle, EPOLL_CTL_DEL, socket, &unused);
}

void poller_wait(Poller& poller, int timeout_ms, std::vector<PollEvent>* events) {
  events->clear();
  if (poller.handle < 0) return;
  std::array<epoll_event, kEventsPerWait> ready{};
  int count = epoll_wait(poller.handle, ready.data(), kEventsPerWait, timeout_ms);
  for (int i = 0; i < count; ++i) {
    const epoll_event& entry = ready[static_cast<size_t>(i)];
    if (entry.data.fd == poller.wake) {
      drain_wake(poller.wake);
      continue;
    }
    PollEvent event;
    event.socket = entry.data.fd;
    event.readable = (entry.events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
    event.writable = (entry.events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) != 0;
    events->push_back(event);
  }
}

void poller_wake(const Poller& poller) {
  if (poller.wake < 0) return;
  uint64_t one = 1;
  ssize_t ignored = write(poller.wake, &one, sizeof one);
  (void)ignored;
}

}  // namespace fwk
