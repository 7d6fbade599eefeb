// How many files (sockets included) the process may have open.
#pragma once

#include <cstddef>

namespace fwk {

// Raises the soft limit on open files as far as the hard limit allows (at
// most `ceiling`) and returns the limit now in force.
size_t file_limit_raise(size_t ceiling);

}  // namespace fwk
