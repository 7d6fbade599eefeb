#include "store/datafile_append.hpp"

#include "core/plist.hpp"
#include "platform/durable_file.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

void append_field_text(std::string& line, const std::string& value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;  // CR LF: one break
    if (c == '\r' || c == '\n' || c == '\t') {
      line.push_back(' ');
      continue;
    }
    if (c == '"') line.push_back('"');
    line.push_back(c);
  }
}

// Every non-empty value the record holds for `column`, in any of its
// blocks, joined with ",".
void append_column(std::string& line, const std::string& column, const ParamList* record) {
  line.push_back('"');
  bool written = false;
  plist_each(record, [&](const Pair& entry) {
    if (!entry.value || entry.value->empty()) return;
    if (text_compare_nocase(entry.name->c_str(), column.c_str()) != 0) return;
    if (written) line.push_back(',');
    append_field_text(line, *entry.value);
    written = true;
  });
  line += "\"\t";
}

}  // namespace

std::string datafile_record_line(const ParamList& header, const ParamList* record) {
  std::string line;
  // A column without a name gets no value, but it still takes its place
  // when a named column follows, so that later columns stay aligned.
  // The columns are the header's first block.
  size_t pending_empty = 0;
  plist_each_in_first_block(&header, [&](const Pair& column) {
    if (column.name->empty()) {
      ++pending_empty;
      return;
    }
    for (; pending_empty > 0; --pending_empty) line += "\"\"\t";
    append_column(line, *column.name, record);
  });
  line += "\r\n";
  return line;
}

int datafile_append_record(const char* path, const ParamList* record, int64_t* position_out) {
  if (position_out) *position_out = 0;
  ParamListPtr header;
  if (!datafile_open(path, nullptr, &header, 0)) return kStoreHeaderUnreadable;
  std::string line = datafile_record_line(*header, record);
  int64_t position = 0;
  DurableResult result = durable_append_existing(path, line.data(), line.size(), &position);
  if (result != DurableResult::ok) return kStoreNotWritable;
  if (position_out) *position_out = position;
  return kStoreOk;
}

int datafile_append_line(const char* path, const std::string& line) {
  return durable_append(path, line.data(), line.size()) == DurableResult::ok ? kStoreOk
                                                                             : kStoreNotWritable;
}

}  // namespace fwk
