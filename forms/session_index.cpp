#include "forms/session_index.hpp"

#include <cstdio>

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "store/record_query.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

constexpr const char* kSessionField = "_SESSION";

DataFileSessions& entry_for(SessionIndex& index, const char* path) {
  for (DataFileSessions& entry : index.files)
    if (entry.path == path) return entry;
  index.files.emplace_back();
  index.files.back().path = path;
  return index.files.back();
}

// Reads the records from the file's position to its end and notes where
// each session's undeleted records start.
void learn_records(std::FILE* file, ParamList* header, DataFileSessions& entry) {
  int64_t position = 0;
  while (record_next_equal(file, header, nullptr, &position)) {
    const char* session = plist_get(header, kSessionField, "");
    if (*session == '\0') continue;
    LiveRecords& records = entry.live[session];
    if (records.last >= 0) records.earlier.push_back(records.last);
    records.last = position;
  }
}

// Marks every record of the session but the last; 1 when a mark failed.
int mark_earlier(std::FILE* file, LiveRecords& records) {
  if (records.earlier.empty()) return 0;
  int result = 0;
  for (int64_t start : records.earlier) {
    if (std::fseek(file, static_cast<long>(start), SEEK_SET) != 0 || std::fputc('#', file) == EOF)
      result = 1;
  }
  records.earlier.clear();
  if (std::fflush(file) != 0) result = 1;
  return result;
}


// Brings what the index holds of the file up to date with `before` (what
// file_info said of it): reads only the bytes appended since the last look,
// or the whole file when it changed otherwise. The file is positioned just
// after its header. False when it cannot be read.
bool bring_up_to_date(DataFileSessions& entry, std::FILE* file, ParamList* header,
                      const FileInfo& before) {
  const bool known = entry.info.exists && file_info_same(entry.info, before);
  if (!known) {
    entry.live.clear();
    // Room for a session per record of a typical size, so that reading a
    // large file does not rehash over and over.
    entry.live.reserve(static_cast<size_t>(before.size / 256));
    entry.has_session_column = plist_find(header, kSessionField) != nullptr;
  } else if (std::fseek(file, static_cast<long>(entry.info.size), SEEK_SET) != 0) {
    entry.info = FileInfo{};
    return false;
  }
  if (entry.has_session_column) learn_records(file, header, entry);
  return true;
}

}  // namespace

int session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                         const ParamList* request) {
  FilePtr file(file_open(path, "r+b"));
  if (!file) return 0;
  ParamListPtr header = datafile_read_header(file.get(), 0);
  DataFileSessions& entry = entry_for(index, path);
  if (header == nullptr) {
    entry = DataFileSessions{};
    entry.path = path;
    return 0;
  }
  if (!bring_up_to_date(entry, file.get(), header.get(), before)) return 1;
  int result = 0;
  const char* session = plist_get(request, kSessionField, "");
  if (entry.has_session_column && *session != '\0') {
    auto found = entry.live.find(session);
    if (found != entry.live.end()) result = mark_earlier(file.get(), found->second);
  }
  file.reset();
  entry.info = result == 0 ? file_info(path) : FileInfo{};
  return result;
}

int64_t session_index_live_record(SessionIndex& index, const char* path,
                                  const std::string& session) {
  FileInfo now = file_info(path);
  FilePtr file(file_open(path, "rb"));
  if (!file || session.empty()) return -1;
  ParamListPtr header = datafile_read_header(file.get(), 0);
  DataFileSessions& entry = entry_for(index, path);
  if (header == nullptr || !bring_up_to_date(entry, file.get(), header.get(), now)) return -1;
  entry.info = now;
  auto found = entry.live.find(session);
  return found == entry.live.end() ? -1 : found->second.last;
}

}  // namespace fwk
