// Single instance: a lock file in the runtime directory, held while the
// server runs, that holds the running instance's URL, its server root and
// the first port it was asked to try (so that a second start can say which
// of its own options were not applied).
#pragma once

#include <string>

#include "platform/descriptor.hpp"

namespace fwk {

struct InstanceLock {
  Descriptor file;   // the open, locked lock file; none when not held
  std::string path;  // its path
};

// What a running instance publishes.
struct InstanceInfo {
  std::string url;     // "" until published
  std::string root;    // its server root
  int first_port = 0;  // the first port it was asked to try; 0 when unknown
};

enum class InstanceState {
  acquired,       // this process is the only instance
  other_running,  // another instance holds the lock
  unavailable,    // no lock file could be made; run without the check
};

// Name of the lock file in the runtime directory.
constexpr const char* kInstanceLockName = "fwkhttpd.lock";

// Tries to become the only instance. When another one runs, `running`
// receives what it published (waiting up to `wait_ms` for it to do so; all
// empty when it has not).
InstanceState instance_acquire(InstanceLock& lock, InstanceInfo& running, int wait_ms);

// Publishes this instance's URL, root and first port in the held lock file.
void instance_publish(InstanceLock& lock, const InstanceInfo& info);

// Removes the lock file and releases the lock (nothing when not held).
void instance_release(InstanceLock& lock);

}  // namespace fwk
