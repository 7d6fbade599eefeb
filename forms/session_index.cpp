#include "forms/session_index.hpp"

#include <cstdio>

#include "core/paths.hpp"
#include "store/datafile.hpp"
#include "store/record_query.hpp"

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

}  // namespace

int session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                         const ParamList* request) {
  FilePtr file = file_open(path, "r+b");
  if (file == nullptr) return 0;
  ParamListPtr header = datafile_read_header(file.get(), 0);
  DataFileSessions& entry = entry_for(index, path);
  if (header == nullptr) {
    entry = DataFileSessions{};
    entry.path = path;
    return 0;
  }

  const bool known = entry.info.exists && file_info_same(entry.info, before);
  if (!known) {
    entry.live.clear();
    // Room for a session per record of a typical size, so that reading a
    // large file does not rehash over and over.
    entry.live.reserve(static_cast<size_t>(before.size / 256));
    entry.has_session_column = plist_find(header.get(), kSessionField) != nullptr;
  } else if (std::fseek(file.get(), static_cast<long>(entry.info.size), SEEK_SET) != 0) {
    entry.info = FileInfo{};
    return 1;
  }
  int result = 0;
  if (entry.has_session_column) {
    learn_records(file.get(), header.get(), entry);
    const char* session = plist_get(request, kSessionField, "");
    if (*session != '\0') {
      auto found = entry.live.find(session);
      if (found != entry.live.end()) result = mark_earlier(file.get(), found->second);
    }
  }
  // Closed (and flushed) before the file is looked at again.
  file.reset();
  entry.info = result == 0 ? file_info(path) : FileInfo{};
  return result;
}

}  // namespace fwk
