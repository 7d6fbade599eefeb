// Appending records to tab-delimited data files (and lines to index files).
//
// A record is written in the columns of the file's header row: each column
// as a double quote, the text, a double quote and a TAB (the last column
// too), the line ending with CR LF. Inside the text a double quote is
// doubled, and each line break (CR LF, LF or CR) and each TAB becomes one
// space, so every record stays on one line with its columns in place and
// the lines of an answer do not run together. When
// the record holds several non-empty values for one column (check boxes),
// they are joined with ",". Columns without a name get an empty field when
// a named column follows them (so the columns stay aligned) and nothing at
// the end of the line.
//
// The whole line is written at once and flushed to stable storage before
// success is reported; a failed write leaves the file as it was.
#pragma once

#include <cstdint>
#include <string>

#include "core/plist.hpp"
#include "core/results.hpp"

namespace fwk {

// The record line (CR LF included) that datafile_append_record writes for
// `record` under `header`.
std::string datafile_record_line(const ParamList& header, const ParamList* record);

// Appends `record` to the data file at `path` (which must exist; the header
// is read as datafile_open does, with its ".asc" fallback, but the append
// itself uses `path` as given). `position_out` (may be null) receives the
// byte offset where the record starts. Returns kStoreOk,
// kStoreHeaderUnreadable or kStoreNotWritable.
int datafile_append_record(const char* path, const ParamList* record, int64_t* position_out);

// Appends a ready line to a file (created when missing), durably. Used for
// index lines. Returns kStoreOk or kStoreNotWritable.
int datafile_append_line(const char* path, const std::string& line);

}  // namespace fwk
