#include "platform/named_mutex.hpp"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/clock.hpp"

namespace fwk {

namespace {

void sleep_ms(long ms) {
  struct timespec ts {};
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = (ms % 1000) * 1000000L;
  nanosleep(&ts, nullptr);
}

// A mutex name becomes a file name: anything but letters, digits, "." and
// "-" is written as "_".
std::string lock_file_name(const char* name) {
  std::string file;
  for (const char* p = name ? name : ""; *p; ++p) {
    char c = *p;
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '-';
    file += plain ? c : '_';
  }
  return file + ".lock";
}

// $HOME/.cache/formwick/run/, created level by level (mode 0700).
std::string home_runtime_directory() {
  const char* home = getenv("HOME");
  std::string dir = home && *home ? home : "/";
  if (dir.back() != '/') dir += '/';
  for (const char* part : {".cache/", "formwick/", "run/"}) {
    dir += part;
    mkdir(dir.c_str(), 0700);
  }
  return dir;
}

}  // namespace

// /tmp is shared: another user may have made the name first and planted
// lock files (or an instance URL for a second start to open) in it.
bool is_private_directory(const std::string& dir) {
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string runtime_directory() {
  std::string dir;
  const char* xdg = getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg) {
    dir = xdg;
    if (dir.back() != '/') dir += '/';
    dir += "formwick/";
    mkdir(dir.c_str(), 0700);
    return dir;
  }
  dir = "/tmp/formwick-" + std::to_string(getuid()) + "/";
  mkdir(dir.c_str(), 0700);
  return is_private_directory(dir) ? dir : home_runtime_directory();
}

NamedMutex named_mutex_open(const char* name) {
  NamedMutex mutex;
  std::string path = runtime_directory() + lock_file_name(name);
  mutex.file.reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  return mutex;
}

bool named_mutex_wait(NamedMutex& mutex, uint32_t timeout_ms) {
  if (!mutex.file) return false;
  if (mutex.held) return true;
  // flock has no timeout: poll without blocking, a millisecond apart, and
  // measure the wait on the tick clock (each sleep lasts a little longer).
  uint32_t start = clock_tick_ms();
  for (;;) {
    if (flock(mutex.file.get(), LOCK_EX | LOCK_NB) == 0) {
      mutex.held = true;
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (clock_tick_ms() - start >= timeout_ms) return false;
    sleep_ms(1);
  }
}

void named_mutex_release(NamedMutex& mutex) {
  if (mutex.file && mutex.held) flock(mutex.file.get(), LOCK_UN);
  mutex.held = false;
}

void named_mutex_close(NamedMutex& mutex) {
  named_mutex_release(mutex);
  mutex.file.reset();
}

}  // namespace fwk
