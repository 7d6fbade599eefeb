#include "platform/environment.hpp"

#include <stdlib.h>

namespace fwk {

std::optional<std::string> env_get(const char* name) {
  const char* value = name ? getenv(name) : nullptr;
  if (!value) return std::nullopt;
  return std::string(value);
}

void env_set(const char* name, const char* value) {
  if (!name) return;
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace fwk
