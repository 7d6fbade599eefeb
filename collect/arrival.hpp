// A response on its way into a store, and what the store made of it.
#pragma once

#include <cstdint>
#include <string>

#include "collect/response_order.hpp"
#include "mail/response_record.hpp"

namespace fwk {

struct Arrival {
  std::string message_id;  // "" when the mail had none
  ResponseRecord record;
  int64_t received_us = 0;  // when the mail arrived, microseconds since 1970 (UTC)
};

struct StoreOutcome {
  Verdict verdict = Verdict::failed;
  std::string problem;  // for a failure: what went wrong
};

}  // namespace fwk
