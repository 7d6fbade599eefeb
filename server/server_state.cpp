#include "server/server_state.hpp"

namespace fwk {

std::atomic<int> stop_flag{0};
int outbox_pending = 0;

}  // namespace fwk
