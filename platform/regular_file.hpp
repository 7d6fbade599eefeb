// Opening files that are certainly regular files. A name in a request, a
// template or a configuration may point at a FIFO (whose open blocks until a
// writer comes), a device such as /dev/zero (endless) or a socket: those are
// refused without blocking, like directories.
#pragma once

#include "platform/file_ptr.hpp"

namespace fwk {

// Why an open failed: the process or the system is out of file handles or
// memory (the file may well be there), or anything else.
enum class OpenFailure { none, no_resources, other };

// fopen with the same mode ("r", "rb", "rt", "w", "ab", "r+" ...), but only
// for a regular file (after symbolic links). The open itself never waits.
// None when the path is absent, does not open, or is not a regular file
// (an existing non-regular file is never truncated or created over); the
// reason goes to *failure when given.
FilePtr file_open_regular(const char* path, const char* mode, OpenFailure* failure = nullptr);

}  // namespace fwk
