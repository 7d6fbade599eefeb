// The collector's default store: a Formwick server root. Each form's
// responses go to the form's data file (FORM.asc in the root unless the
// form's configuration names another), in the device's tab-delimited
// format, one live record per session: a later save appends its record and
// marks the earlier one retired, as the device does. Besides the form's own
// columns the file has _SESSION, DEVICE (the sending device), SAVED (when
// the device saved the response, UTC) and RECEIVED (when its mail arrived,
// UTC). A column that first appears in a later response is added at the
// end of the header row; earlier rows read it as empty. A form's FORM.ini
// is written when missing (no access section: nothing is readable over
// HTTP until the operator sets passwords) and never changed.
//
// One collector at a time works on a root (a lock in collect.lock). A batch
// of responses is appended with one write and one flush, then the earlier
// records are marked; only after that does the caller mark the mails
// processed. A collector stopped anywhere in between finds, when it starts
// again, every stored response in the data file (a mail read again is then
// a copy), and retires what a stop left live twice.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "collect/arrival.hpp"
#include "platform/file_lock.hpp"

namespace fwk {

// The collector's own columns.
inline constexpr const char* kSessionColumn = "_SESSION";
inline constexpr const char* kDeviceColumn = "DEVICE";
inline constexpr const char* kSavedColumn = "SAVED";
inline constexpr const char* kReceivedColumn = "RECEIVED";

struct RootLive {
  int64_t position = 0;  // where the record's line starts
  ResponseVersion version;
};

// What is known of one form's data file during a pass.
struct RootForm {
  std::string path;
  std::vector<std::string> columns;
  bool exists = false;
  int64_t size = 0;
  std::unordered_map<std::string, RootLive> live;
  // Records found live beside a later one of their session (a stop between
  // an append and its marks): retired with the next marks.
  std::vector<int64_t> repairs;
};

struct RootStore {
  std::string root;  // ends in "/"
  FileLock lock;
  std::map<std::string, RootForm> forms;
};

// Opens the root (a directory) and takes its lock, waiting while another
// collector holds it. False with `error` when it cannot.
bool root_store_open(const std::string& root, RootStore* store, std::string* error);

// Stores a batch; one outcome per arrival, in order.
std::vector<StoreOutcome> root_store_put(RootStore& store, const std::vector<Arrival>& batch);

// Forgets what was read of the data files (the next pass reads them again)
// and gives the lock back.
void root_store_close(RootStore& store);

// The FORM.ini the collector writes for a form it has no configuration for.
std::string root_form_ini_text(const std::string& form);

}  // namespace fwk
