// Single instance: a lock file in the runtime directory, held while the
// server runs, that holds the running instance's URL.
#pragma once

#include <string>

namespace fwk {

struct InstanceLock {
  int fd = -1;       // the open, locked lock file; -1 when not held
  std::string path;  // its path
};

enum class InstanceState {
  acquired,       // this process is the only instance
  other_running,  // another instance holds the lock
  unavailable,    // no lock file could be made; run without the check
};

// Name of the lock file in the runtime directory.
constexpr const char* kInstanceLockName = "fwkhttpd.lock";

// Tries to become the only instance. When another one runs, `running_url`
// receives the URL it published (waiting up to `wait_ms` for it to do so;
// "" when it has not).
InstanceState instance_acquire(InstanceLock& lock, std::string& running_url, int wait_ms);

// Publishes the URL of this instance in the held lock file.
void instance_publish_url(InstanceLock& lock, const std::string& url);

// Removes the lock file and releases the lock (nothing when not held).
void instance_release(InstanceLock& lock);

}  // namespace fwk
