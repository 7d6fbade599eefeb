#include "platform/file_limit.hpp"

#include <sys/resource.h>

#include <algorithm>

namespace fwk {

size_t file_limit_raise(size_t ceiling) {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? static_cast<rlim_t>(ceiling)
                                                 : std::min<rlim_t>(limit.rlim_max, ceiling);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) {
    return limit.rlim_cur == RLIM_INFINITY ? ceiling : static_cast<size_t>(limit.rlim_cur);
  }
  struct rlimit raised = limit;
  raised.rlim_cur = wanted;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return static_cast<size_t>(limit.rlim_cur);
  return static_cast<size_t>(wanted);
}

}  // namespace fwk
