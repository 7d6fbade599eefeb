#include "platform/testing/scoped_env.hpp"

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

ScopedEnv::ScopedEnv(const char* name_, const char* value) : name(name_), saved(env_get(name_)) {
  env_set(name_, value);
}

ScopedEnv::~ScopedEnv() {
  env_set(name.c_str(), saved ? saved->c_str() : nullptr);
}

}  // namespace fwk
