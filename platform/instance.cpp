#include "platform/instance.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/named_mutex.hpp"

namespace fwk {

namespace {

constexpr size_t kUrlLimit = 1023;

std::string read_all(int fd) {
  std::string text;
  std::string chunk(256, '\0');
  off_t offset = 0;
  for (;;) {
    ssize_t n = pread(fd, chunk.data(), chunk.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk.data(), static_cast<size_t>(n));
    offset += n;
    if (text.size() > kUrlLimit) break;
  }
  if (text.size() > kUrlLimit) text.resize(kUrlLimit);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// True when the open file is still the one at `path` (a releasing instance
// may have removed it between our open and our lock).
bool still_linked(int fd, const std::string& path) {
  struct stat open_file {
  }, named{};
  if (fstat(fd, &open_file) != 0 || stat(path.c_str(), &named) != 0) return false;
  return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Reads the other instance's URL, waiting a little for it to be published.
std::string wait_for_url(const std::string& path, int wait_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string url;
    if (fd >= 0) {
      url = read_all(fd);
      close(fd);
    }
    if (!url.empty() || std::chrono::steady_clock::now() >= deadline) return url;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

}  // namespace

InstanceState instance_acquire(InstanceLock& lock, std::string& running_url, int wait_ms) {
  running_url.clear();
  std::string path = runtime_directory() + kInstanceLockName;
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return InstanceState::unavailable;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      close(fd);
      if (error != EWOULDBLOCK) return InstanceState::unavailable;
      running_url = wait_for_url(path, wait_ms);
      return InstanceState::other_running;
    }
    if (!still_linked(fd, path)) {
      close(fd);
      continue;
    }
    if (ftruncate(fd, 0) != 0) {
      // An old URL left in the file would mislead a second start; carry on
      // with the lock anyway, the URL is rewritten once known.
    }
    lock.fd = fd;
    lock.path = path;
    return InstanceState::acquired;
  }
  return InstanceState::unavailable;
}

void instance_publish_url(InstanceLock& lock, const std::string& url) {
  if (lock.fd < 0) return;
  std::string text = url + "\n";
  if (ftruncate(lock.fd, 0) != 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = pwrite(lock.fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void instance_release(InstanceLock& lock) {
  if (lock.fd < 0) return;
  // Remove the name while still holding the lock, so a starting instance
  // either sees our lock or creates a fresh file.
  unlink(lock.path.c_str());
  close(lock.fd);
  lock.fd = -1;
}

}  // namespace fwk
