// The records of a data file as an export takes them, one at a time: the
// live records (retired earlier saves left out, or included and marked as
// such), those that satisfy the record browser's query, with the values of
// the header's named columns in order. Only one record is held at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/connection.hpp"
#include "core/plist.hpp"

namespace fwk {

// The name of the column added when retired records are included: "1" for
// a retired record, "0" for a live one.
inline constexpr const char* kRetiredColumn = "_RETIRED";

struct ExportSelection {
  // A condition in the record browser's query language; "" takes every
  // record. As in the browser's list, the names it uses are the column
  // names cut at their first "_".
  std::string query;
  bool include_retired = false;
};

struct RecordSource {
  FilePtr file;
  ParamListPtr record;      // the header list; each read fills its values
  ParamListPtr query_view;  // the same columns under the names the query sees
  ExportSelection selection;
  std::vector<size_t> columns;           // the header's named columns, in order
  std::vector<std::string> names;        // their names (and kRetiredColumn)
  std::vector<std::string_view> values;  // the current record, one per name
  std::string restored;                  // the first value of a retired record, as it was saved
  int64_t size = 0;                      // of the data file when it was opened
  int64_t records = 0;                   // records taken so far
};

enum class SourceOpened {
  ok,
  missing,     // the data file does not exist
  unreadable,  // it cannot be read, or its header row is not whole
};

// Opens the data file at `path` (as the record browser does: with ".asc"
// added when the path itself does not open).
SourceOpened record_source_open(RecordSource& source, const char* path, ExportSelection selection);

// Reads up to the next record that belongs to the export and points
// `values` at its values (valid until the next call). False at the end.
bool record_source_next(RecordSource& source);

// How far into the data file the reading has come, in bytes.
int64_t record_source_position(const RecordSource& source);

}  // namespace fwk
