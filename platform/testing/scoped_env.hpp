// Test support: an environment variable set for the lifetime of a test
// (tests isolate the registry hives and the runtime directory this way).
#pragma once

#include <optional>
#include <string>

#include "platform/environment.hpp"

namespace fwk {

// Sets a variable for the lifetime of the object, then restores it.
struct ScopedEnv {
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  std::string name;
  std::optional<std::string> saved;
};

}  // namespace fwk
