// Retiring a session's earlier records without reading the whole data file
// at every save. The server is the only writer of its data files, so what
// one save learned of a file (its size and time, and where each session's
// undeleted records start) still holds at the next save unless the file
// changed behind the server's back; then the file is read in full again.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/plist.hpp"
#include "platform/file_info.hpp"

namespace fwk {

// Where one session's undeleted records start: normally one record, so the
// earlier ones (only in files written elsewhere) are kept apart.
struct LiveRecords {
  std::vector<int64_t> earlier;  // in file order
  int64_t last = -1;
};

// What is known of one data file.
struct DataFileSessions {
  std::string path;
  // The file as it was after the last save that looked at it.
  FileInfo info;
  // The header has a _SESSION column (without one nothing is retired).
  bool has_session_column = false;
  // For each session, where its undeleted records start.
  std::unordered_map<std::string, LiveRecords> live;
};

// What the server knows of the data files it saves into.
struct SessionIndex {
  std::vector<DataFileSessions> files;
};

// Marks deleted every undeleted record of the request's session in the data
// file at `path` except the last one. `before` is what file_info said of
// the file before the save appended its record: when it matches what the
// index holds, only the bytes appended since are read. Returns 1 when a
// mark could not be written, else 0.
int session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                         const ParamList* request);

// Where the last undeleted record of `session` starts in the data file at
// `path`, -1 when there is none (or the file cannot be read). What the
// index knows of the file is brought up to date on the way.
int64_t session_index_live_record(SessionIndex& index, const char* path,
                                  const std::string& session);

}  // namespace fwk
