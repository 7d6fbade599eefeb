#include "platform/instance.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/named_mutex.hpp"

namespace fwk {

namespace {

// The lock file holds the URL, then "root=" and "port=" lines.
constexpr size_t kInfoLimit = 4095;
constexpr const char* kRootLine = "root=";
constexpr const char* kPortLine = "port=";

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
    if (text.size() > kInfoLimit) break;
  }
  if (text.size() > kInfoLimit) text.resize(kInfoLimit);
  return text;
}

InstanceInfo parse_info(const std::string& text) {
  InstanceInfo info;
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      info.url = line;
    } else if (line.rfind(kRootLine, 0) == 0) {
      info.root = line.substr(std::strlen(kRootLine));
    } else if (line.rfind(kPortLine, 0) == 0) {
      info.first_port = std::atoi(line.c_str() + std::strlen(kPortLine));
    }
    first = false;
    start = end + 1;
  }
  return info;
}

// True when the open file is still the one at `path` (a releasing instance
// may have removed it between our open and our lock).
bool still_linked(int fd, const std::string& path) {
  struct stat open_file {
  }, named{};
  if (fstat(fd, &open_file) != 0 || stat(path.c_str(), &named) != 0) return false;
  return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Reads what the other instance published, waiting a little for it.
InstanceInfo wait_for_info(const std::string& path, int wait_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    InstanceInfo info;
    if (file) info = parse_info(read_all(file.get()));
    if (!info.url.empty() || std::chrono::steady_clock::now() >= deadline) return info;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

}  // namespace

InstanceState instance_acquire(InstanceLock& lock, InstanceInfo& running, int wait_ms) {
  running = InstanceInfo{};
  std::string path = runtime_directory() + kInstanceLockName;
  for (int attempt = 0; attempt < 5; ++attempt) {
    Descriptor file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file) return InstanceState::unavailable;
    if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      file.reset();
      if (error != EWOULDBLOCK) return InstanceState::unavailable;
      running = wait_for_info(path, wait_ms);
      return InstanceState::other_running;
    }
    if (!still_linked(file.get(), path)) continue;
    if (ftruncate(file.get(), 0) != 0) {
      // An old URL left in the file would mislead a second start; carry on
      // with the lock anyway, the URL is rewritten once known.
    }
    lock.file = std::move(file);
    lock.path = path;
    return InstanceState::acquired;
  }
  return InstanceState::unavailable;
}

void instance_publish(InstanceLock& lock, const InstanceInfo& info) {
  if (!lock.file) return;
  std::string text = info.url + "\n" + kRootLine + info.root + "\n" + kPortLine +
                     std::to_string(info.first_port) + "\n";
  if (ftruncate(lock.file.get(), 0) != 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n =
        pwrite(lock.file.get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void instance_release(InstanceLock& lock) {
  if (!lock.file) return;
  // Remove the name while still holding the lock, so a starting instance
  // either sees our lock or creates a fresh file.
  unlink(lock.path.c_str());
  lock.file.reset();
}

}  // namespace fwk
