// Test support: reading and changing environment variables (tests isolate
// the registry hives and the runtime directory this way).
#pragma once

#include <optional>
#include <string>

namespace fwk {

// The variable's value; none when it is not set.
std::optional<std::string> env_get(const char* name);

// Sets the variable, or removes it when value is nullptr.
void env_set(const char* name, const char* value);

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
