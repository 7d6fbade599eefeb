// Reading and changing environment variables.
#pragma once

#include <optional>
#include <string>

namespace fwk {

// The variable's value; none when it is not set.
std::optional<std::string> env_get(const char* name);

// Sets the variable, or removes it when value is nullptr.
void env_set(const char* name, const char* value);

}  // namespace fwk
