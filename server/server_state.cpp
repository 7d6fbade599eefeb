#include "server/server_state.hpp"

namespace fwk {

std::atomic<int> stop_flag{0};

}  // namespace fwk
