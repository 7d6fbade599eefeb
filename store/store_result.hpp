// What writing a data, index or XML file answers. A save that fails reports
// the number to the page and to the server's note (forms/handler_result.hpp).
#pragma once

namespace fwk {

enum class StoreResult {
  ok = 0,
  header_unreadable = 2,  // the data file or its header row cannot be read
  not_writable = 6,       // the file cannot be opened for writing, or written
};

// The number a page or a log shows for the result.
constexpr int result_number(StoreResult result) {
  return static_cast<int>(result);
}

}  // namespace fwk
