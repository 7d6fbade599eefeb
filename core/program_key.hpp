// The program's registry key, in both hives: the machine hive holds the
// server root (ServerRoot), the user hive the identifier counter (RANDOM).
#pragma once

namespace fwk {

inline constexpr const char* kProgramKey = "SOFTWARE\\Veltrix\\Formwick";

}  // namespace fwk
