#include "forms/session_index.hpp"

#include <cstdio>

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "platform/durable_file.hpp"
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

void forget(DataFileSessions& entry) {
  std::string path = entry.path;
  entry = DataFileSessions{};
  entry.path = path;
}

// Reads the records from the file's position to its end and notes where
// each session's undeleted records start.
void learn_records(std::FILE* file, ParamList* header, DataFileSessions& entry) {
  int64_t position = 0;
  while (record_next_equal(file, header, nullptr, &position)) {
    ++entry.live_records;
    if (!entry.has_session_column) continue;
    const char* session = plist_get(header, kSessionField, "");
    if (*session == '\0') continue;
    LiveRecords& records = entry.live[session];
    if (records.last >= 0) records.earlier.push_back(records.last);
    records.last = position;
  }
}

// Brings the entry up to date with the file: only what was appended since
// the last look when `before` matches it, else the whole file. False when
// the file or its header cannot be read (the entry is then forgotten).
bool bring_up_to_date(DataFileSessions& entry, const FileInfo& before) {
  FilePtr file(file_open(entry.path.c_str(), "rb"));
  ParamListPtr header = file ? datafile_read_header(file.get(), 0) : nullptr;
  if (header == nullptr) {
    forget(entry);
    return false;
  }
  const bool known = entry.info.exists && file_info_same(entry.info, before);
  if (!known) {
    forget(entry);
    // Room for a session per record of a typical size, so that reading a
    // large file does not rehash over and over.
    entry.live.reserve(static_cast<size_t>(before.size / 256));
    entry.has_session_column = plist_find(header.get(), kSessionField) != nullptr;
  } else if (std::fseek(file.get(), static_cast<long>(entry.info.size), SEEK_SET) != 0) {
    forget(entry);
    return false;
  }
  learn_records(file.get(), header.get(), entry);
  return true;
}

// Marks the records at `starts` deleted; false when a mark failed (the
// entry must then be read again, as the file may hold some of the marks).
bool mark_deleted(DataFileSessions& entry, const std::vector<int64_t>& starts) {
  if (starts.empty()) return true;
  if (durable_put_bytes(entry.path.c_str(), starts, '#') != DurableResult::ok) return false;
  entry.live_records -= static_cast<int64_t>(starts.size());
  return true;
}

// Takes the earlier records of one session off the list once marked.
bool retire_session(DataFileSessions& entry, LiveRecords& records) {
  if (!mark_deleted(entry, records.earlier)) return false;
  records.earlier.clear();
  return true;
}

void note_file_state(DataFileSessions& entry, bool marked) {
  entry.info = marked ? file_info(entry.path.c_str()) : FileInfo{};
}

}  // namespace

Retirement session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                                const ParamList* request) {
  Retirement retirement;
  DataFileSessions& entry = entry_for(index, path);
  if (!bring_up_to_date(entry, before)) return retirement;
  const char* session = plist_get(request, kSessionField, "");
  if (entry.has_session_column && *session != '\0') {
    auto found = entry.live.find(session);
    if (found != entry.live.end()) {
      retirement.earlier = static_cast<int64_t>(found->second.earlier.size());
      retirement.marked = retire_session(entry, found->second);
    }
  }
  note_file_state(entry, retirement.marked);
  return retirement;
}

int64_t session_index_live_record(SessionIndex& index, const char* path,
                                  const std::string& session) {
  if (session.empty()) return -1;
  DataFileSessions& entry = entry_for(index, path);
  if (!bring_up_to_date(entry, file_info(path))) return -1;
  note_file_state(entry, true);
  auto found = entry.live.find(session);
  return found == entry.live.end() ? -1 : found->second.last;
}

void session_index_note_mailed(SessionIndex& index, const char* path, const std::string& session,
                               int64_t position) {
  if (session.empty()) return;
  DataFileSessions& entry = entry_for(index, path);
  auto found = entry.live.find(session);
  if (found != entry.live.end()) found->second.mailed = position;
}

bool session_index_mailed(SessionIndex& index, const char* path, const std::string& session,
                          int64_t position) {
  DataFileSessions& entry = entry_for(index, path);
  auto found = entry.live.find(session);
  return found != entry.live.end() && found->second.mailed == position;
}

Repair session_index_repair(SessionIndex& index, const char* path) {
  Repair repair;
  DataFileSessions& entry = entry_for(index, path);
  repair.readable = bring_up_to_date(entry, file_info(path));
  if (!repair.readable) return repair;
  std::vector<int64_t> starts;
  for (auto& [session, records] : entry.live)
    starts.insert(starts.end(), records.earlier.begin(), records.earlier.end());
  repair.marked = mark_deleted(entry, starts);
  if (repair.marked) {
    repair.retired = static_cast<int64_t>(starts.size());
    for (auto& [session, records] : entry.live) records.earlier.clear();
  }
  repair.live = entry.live_records;
  note_file_state(entry, repair.marked);
  return repair;
}

}  // namespace fwk
