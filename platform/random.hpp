// Random numbers from the operating system's random source, for what must
// be unguessable (session identifiers).
#pragma once

#include <cstdint>

namespace fwk {

// 64 bits from the kernel's random source (getrandom). Waits only while the
// source is not yet initialised after boot.
uint64_t system_random_u64();

}  // namespace fwk
