// The older name of the tests' scratch directory; new tests include
// platform/test_temp_dir.hpp and use TempDir directly.
#pragma once

#include "platform/test_temp_dir.hpp"

namespace fwk {

using TestDir = TempDir;

}  // namespace fwk
