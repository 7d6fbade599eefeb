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
  Poller opened;
  opened.handle.reset(epoll_create1(EPOLL_CLOEXEC));
  if (!opened.handle) return false;
  opened.wake.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!opened.wake || !poller_watch(opened, opened.wake.get(), true, false)) return false;
  poller = std::move(opened);
  return true;
}

bool poller_watch(Poller& poller, int socket, bool read, bool write) {
  if (!poller.handle || socket < 0) return false;
  epoll_event entry{};
  entry.events = interest(read, write);
  entry.data.fd = socket;
  if (epoll_ctl(poller.handle.get(), EPOLL_CTL_MOD, socket, &entry) == 0) return true;
  return errno == ENOENT && epoll_ctl(poller.handle.get(), EPOLL_CTL_ADD, socket, &entry) == 0;
}

void poller_forget(Poller& poller, int socket) {
  if (!poller.handle || socket < 0) return;
  epoll_event unused{};
  epoll_ctl(poller.handle.get(), EPOLL_CTL_DEL, socket, &unused);
}

void poller_wait(Poller& poller, int timeout_ms, std::vector<PollEvent>* events) {
  events->clear();
  if (!poller.handle) return;
  std::array<epoll_event, kEventsPerWait> ready{};
  int count = epoll_wait(poller.handle.get(), ready.data(), kEventsPerWait, timeout_ms);
  for (int i = 0; i < count; ++i) {
    const epoll_event& entry = ready[static_cast<size_t>(i)];
    if (entry.data.fd == poller.wake.get()) {
      drain_wake(poller.wake.get());
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
  if (!poller.wake) return;
  uint64_t one = 1;
  ssize_t ignored = write(poller.wake.get(), &one, sizeof one);
  (void)ignored;
}

}  // namespace fwk
