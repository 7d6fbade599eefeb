#include "cgi/fwk/session_index.hpp"

#include <cstdio>

#include "core/paths.hpp"
#include "script/record_query.hpp"
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
    if (*session != '\0') entry.live[session].push_back(position);
  }
}

// Marks every record start but the last; 1 when a mark failed.
int mark_all_but_last(std::FILE* file, std::vector<int64_t>& starts) {
  int result = 0;
  for (size_t i = 0; i + 1 < starts.size(); ++i) {
    if (std::fseek(file, static_cast<long>(starts[i]), SEEK_SET) != 0 ||
        std::fputc('#', file) == EOF)
      result = 1;
  }
  if (starts.size() > 1) starts.erase(starts.begin(), starts.end() - 1);
  if (std::fflush(file) != 0) result = 1;
  return result;
}

}  // namespace

int session_index_retire(SessionIndex& index, const char* path, const FileInfo& before,
                         const ParamList* request) {
  std::FILE* file = file_open(path, "r+b");
  if (file == nullptr) return 0;
  ParamListPtr header = datafile_read_header(file, 0);
  DataFileSessions& entry = entry_for(index, path);
  if (header == nullptr) {
    entry = DataFileSessions{};
    entry.path = path;
    std::fclose(file);
    return 0;
  }

  const bool known = entry.info.exists && file_info_same(entry.info, before);
  if (!known) {
    entry.live.clear();
    entry.has_session_column = plist_find(header.get(), kSessionField) != nullptr;
  } else if (std::fseek(file, static_cast<long>(entry.info.size), SEEK_SET) != 0) {
    entry.info = FileInfo{};
    std::fclose(file);
    return 1;
  }
  int result = 0;
  if (entry.has_session_column) {
    learn_records(file, header.get(), entry);
    const char* session = plist_get(request, kSessionField, "");
    if (*session != '\0') {
      auto found = entry.live.find(session);
      if (found != entry.live.end()) result = mark_all_but_last(file, found->second);
    }
  }
  std::fclose(file);
  entry.info = result == 0 ? file_info(path) : FileInfo{};
  return result;
}

}  // namespace fwk
