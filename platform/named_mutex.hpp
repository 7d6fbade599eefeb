// Named mutexes shared between processes and threads: an advisory lock on a
// file named after the mutex in the runtime directory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/descriptor.hpp"

namespace fwk {

// $XDG_RUNTIME_DIR/formwick/ when set, else /tmp/formwick-<uid>/; created
// (mode 0700) when missing. When the /tmp name is taken by something that is
// not our own private directory, $HOME/.cache/formwick/run/ instead. Always
// ends in "/".
std::string runtime_directory();

// True when dir is a real directory (not a link) owned by us that no one
// else may write to.
bool is_private_directory(const std::string& dir);

// One handle on a named mutex; each handle locks independently, so two
// handles in one process exclude each other too.
struct NamedMutex {
  Descriptor file;  // the mutex's lock file; none when it could not be opened
  bool held = false;
};

// Creates or opens the mutex's lock file; none when that fails.
NamedMutex named_mutex_open(const char* name);

// Waits up to timeout_ms for the lock; true when it is held.
bool named_mutex_wait(NamedMutex& mutex, uint32_t timeout_ms);

// Releases the lock when held.
void named_mutex_release(NamedMutex& mutex);

// Releases and closes the handle.
void named_mutex_close(NamedMutex& mutex);

}  // namespace fwk
