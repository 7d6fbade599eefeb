// `fwkhttpd outbox [--root DIR] [--retry | --drop ID]`: the operator's view
// of the mail queue, safe beside a running server.
#pragma once

#include "platform/cmdline.hpp"

namespace fwk {

// Lists the queue (and retries or drops first when asked). Exit code: 0, or
// 1 when the outbox cannot be read or the message to drop is not found.
int outbox_command(const CommandLine& options);

}  // namespace fwk
