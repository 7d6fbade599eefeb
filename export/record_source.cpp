#include "export/record_source.hpp"

#include <cstdio>
#include <cstring>

#include "expr/expr.hpp"
#include "platform/file_info.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

bool data_file_exists(const char* path) {
  if (file_info(path).exists) return true;
  return std::strlen(path) <= kFallbackPathLimit &&
         file_info((std::string(path) + ".asc").c_str()).exists;
}

int64_t file_size(std::FILE* file) {
  long at = std::ftell(file);
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  long end = std::ftell(file);
  std::fseek(file, at, SEEK_SET);
  return end > 0 ? end : 0;
}

// The columns under the names the record browser's query sees: each name cut
// at its first "_" (Q1_a and Q1_b are both Q1 there).
ParamListPtr make_query_view(const ParamList& header, size_t count) {
  ParamListPtr view = plist_alloc(count);
  for (size_t i = 0; i < count; ++i) {
    std::string name = *plist_at(&header, i)->name;
    size_t cut = name.find('_');
    if (cut != std::string::npos) name.resize(cut);
    pair_set_name(*plist_at(view.get(), i), name.c_str());
  }
  return view;
}

void swap_values(RecordSource& source) {
  size_t count = plist_used_count(source.record.get());
  for (size_t i = 0; i < count; ++i) {
    plist_at(source.record.get(), i)->value.swap(plist_at(source.query_view.get(), i)->value);
  }
}

// As the list shows a line: a condition that does not hold leaves it out;
// one that cannot be evaluated lets it through.
bool passes_query(RecordSource& source) {
  if (source.selection.query.empty()) return true;
  swap_values(source);
  int result = expr_condition(source.selection.query.c_str(), source.query_view.get(), nullptr);
  swap_values(source);
  return result != 0;
}

// A retired record's first non-empty field had its opening quote replaced by
// the "#" mark; undoes that (a field saved without quotes only loses the
// mark).
void restore_retired_value(RecordSource& source) {
  plist_each_in_first_block(source.record.get(), [](Pair& entry) {
    if (!entry.value || entry.value->empty()) return true;
    std::string& value = *entry.value;
    if (value[0] != '#') return false;
    if (value.size() >= 2 && value.back() == '"') {
      value[0] = '"';
      value = datafile_unquote(value);
    } else {
      value.erase(0, 1);
    }
    return false;
  });
}

void point_at_values(RecordSource& source, bool retired) {
  size_t n = 0;
  for (size_t column : source.columns) {
    const Pair* entry = plist_at(source.record.get(), column);
    source.values[n++] = entry->value ? std::string_view(*entry->value) : std::string_view();
  }
  if (source.selection.include_retired) source.values[n] = retired ? "1" : "0";
}

}  // namespace

SourceOpened record_source_open(RecordSource& source, const char* path, ExportSelection selection) {
  std::FILE* file = nullptr;
  ParamListPtr header;
  if (!datafile_open(path, &file, &header, 0)) {
    return data_file_exists(path) ? SourceOpened::unreadable : SourceOpened::missing;
  }
  source.file.reset(file);
  source.size = file_size(file);
  size_t count = plist_used_count(header.get());
  source.query_view = make_query_view(*header, count);
  source.columns.clear();
  source.names.clear();
  for (size_t i = 0; i < count; ++i) {
    const std::string& name = *plist_at(header.get(), i)->name;
    if (name.empty()) continue;  // a column without a name holds nothing
    source.columns.push_back(i);
    source.names.push_back(name);
  }
  if (selection.include_retired) source.names.push_back(kRetiredColumn);
  source.values.assign(source.names.size(), std::string_view());
  source.record = std::move(header);
  source.selection = std::move(selection);
  source.records = 0;
  return SourceOpened::ok;
}

bool record_source_next(RecordSource& source) {
  std::FILE* file = source.file.get();
  if (file == nullptr) return false;
  for (;;) {
    int kind = kRecordEmpty;
    datafile_read_record(file, source.record.get(), &kind);
    bool wanted =
        kind == kRecordPlain || (kind == kRecordMarked && source.selection.include_retired);
    if (wanted) {
      if (kind == kRecordMarked) restore_retired_value(source);
      if (passes_query(source)) {
        point_at_values(source, kind == kRecordMarked);
        ++source.records;
        return true;
      }
    }
    if (std::feof(file) || std::ferror(file)) return false;
  }
}

int64_t record_source_position(const RecordSource& source) {
  long at = source.file ? std::ftell(source.file.get()) : 0;
  return at > 0 ? at : 0;
}

}  // namespace fwk
