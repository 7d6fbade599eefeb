// Retiring a session's earlier records without reading the whole data file
// at every save. The server is the only writer of its data files, so what
// one save learned of a file (its size and time, and where each session's
// undeleted records start) still holds at the next save unless the file
// changed behind the server's back; then the file is read in full again.
//
// A session normally has one undeleted record: each save appends the new
// one and then retires the one before. A crash between the two leaves both;
// the next save of the session, and the repair at start-up, retire all but
// the last, which is the response.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/plist.hpp"
#include "platform/file_info.hpp"

namespace fwk {

// Where one session's undeleted records start: normally one record.
struct LiveRecords {
  std::vector<int64_t> earlier;  // in file order; to be retired
  int64_t last = -1;
  // The record whose whole save (mail, index line, XML) this run of the
  // server finished (-1: none). A record stored before a crash may lack
  // some of it.
  int64_t mailed = -1;
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
  // Undeleted records, with or without a session.
  int64_t live_records = 0;
};

// What the server knows of the data files it saves into.
struct SessionIndex {
  std::vector<DataFileSessions> files;
};

// What retiring a session's earlier records found and did.
struct Retirement {
  int64_t earlier = 0;  // undeleted records of the session before the last one
  bool marked = true;   // every one of them is now marked deleted
};

// Marks deleted every undeleted record of the request's session in the data
// file at `path` except the last one. `before` is what file_info said of
// the file before the save appended its record: when it matches what the
// index holds, only the bytes appended since are read.
Retirement session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                                const ParamList* request);

// Where the last undeleted record of `session` starts in the data file at
// `path`, -1 when there is none (or the file cannot be read). What the
// index knows of the file is brought up to date on the way.
int64_t session_index_live_record(SessionIndex& index, const char* path,
                                  const std::string& session);

// Notes that the whole save of the session's record at `position` (its
// mail, index line and XML) is done, and tells whether it was (both as far
// as this run of the server knows).
void session_index_note_mailed(SessionIndex& index, const char* path, const std::string& session,
                               int64_t position);
bool session_index_mailed(SessionIndex& index, const char* path, const std::string& session,
                          int64_t position);

// What the repair of a whole data file found and did.
struct Repair {
  bool readable = false;  // the file and its header could be read
  int64_t retired = 0;    // earlier records of sessions now marked deleted
  bool marked = true;     // every mark was written
  int64_t live = 0;       // undeleted records left: the stored responses
};

// Retires, for every session of the data file, all undeleted records but
// the last, and counts the undeleted records left.
Repair session_index_repair(SessionIndex& index, const char* path);

}  // namespace fwk
