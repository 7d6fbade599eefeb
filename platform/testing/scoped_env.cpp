#include "platform/testing/scoped_env.hpp"

namespace fwk {

ScopedEnv::ScopedEnv(const char* name_, const char* value) : name(name_), saved(env_get(name_)) {
  env_set(name_, value);
}

ScopedEnv::~ScopedEnv() {
  env_set(name.c_str(), saved ? saved->c_str() : nullptr);
}

}  // namespace fwk
