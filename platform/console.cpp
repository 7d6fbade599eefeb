#include "platform/console.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/clock.hpp"
#include "platform/signals.hpp"

namespace fwk {

namespace {

constexpr size_t kLineLimit = 1023;

std::mutex output_lock;

// Bytes read from standard input that do not yet form a complete line.
std::string pending_input;
bool input_ended = false;

void write_locked(std::FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> guard(output_lock);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Moves the first complete line of `pending_input` into `line`.
bool take_line(std::string& line) {
  size_t end = pending_input.find('\n');
  if (end == std::string::npos) return false;
  line.assign(pending_input, 0, end);
  pending_input.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kLineLimit) line.resize(kLineLimit);
  return true;
}

// Reads what standard input has; false at its end or on an error.
bool read_input_chunk() {
  std::string chunk(512, '\0');
  ssize_t n = read(STDIN_FILENO, chunk.data(), chunk.size());
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  pending_input.append(chunk.data(), static_cast<size_t>(n));
  // A line that never ends is cut, not kept growing.
  if (pending_input.find('\n') == std::string::npos && pending_input.size() > kLineLimit) {
    pending_input.resize(kLineLimit);
  }
  return true;
}

}  // namespace

void console_write(const std::string& text) {
  write_locked(stdout, text);
}

void console_write_error(const std::string& text) {
  write_locked(stderr, text);
}

bool console_input_is_terminal() {
  if (isatty(STDIN_FILENO) != 1) return false;
  // A background job that reads its controlling terminal is stopped by
  // SIGTTIN, server thread and all. A terminal that controls no session of
  // ours has no foreground group to ask about (tcgetpgrp fails): read it.
  pid_t foreground = tcgetpgrp(STDIN_FILENO);
  return foreground < 0 || foreground == getpgrp();
}

bool console_output_is_terminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool console_error_is_terminal() {
  return isatty(STDERR_FILENO) == 1;
}

ConsoleEvent console_wait(bool read_input, std::string& line, int timeout_ms) {
  const uint32_t start = clock_tick_ms();
  for (;;) {
    if (signals_shutdown_requested()) return ConsoleEvent::shutdown;
    bool watch_input = read_input && !input_ended;
    if (watch_input && take_line(line)) return ConsoleEvent::line;

    std::array<pollfd, 2> fds{};
    int count = 0;
    int wake = signals_wake_descriptor();
    if (wake >= 0) fds[count++] = {wake, POLLIN, 0};
    int input_slot = -1;
    if (watch_input) {
      input_slot = count;
      fds[count++] = {STDIN_FILENO, POLLIN, 0};
    }
    // Without the wake pipe, poll in short steps so a signal is still seen.
    int timeout = wake >= 0 ? -1 : 200;
    if (timeout_ms >= 0) {
      const uint32_t waited = clock_tick_ms() - start;
      if (waited >= static_cast<uint32_t>(timeout_ms)) return ConsoleEvent::tick;
      const int left = timeout_ms - static_cast<int>(waited);
      timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    int ready = poll(fds.data(), static_cast<nfds_t>(count), timeout);
    if (ready < 0 && errno != EINTR) return ConsoleEvent::shutdown;
    if (ready <= 0) continue;
    if (signals_shutdown_requested()) return ConsoleEvent::shutdown;
    if (input_slot >= 0 && fds[input_slot].revents != 0) {
      if (!read_input_chunk()) {
        input_ended = true;
        if (!pending_input.empty()) {
          line = pending_input;
          pending_input.clear();
          return ConsoleEvent::line;
        }
        return ConsoleEvent::input_closed;
      }
    }
  }
}

}  // namespace fwk
